// One entry's data pass by pass: a chunk is read behind the bytes still
// pending, decrypted, decoded up to a consumption limit, checked, written,
// and the decoded bytes become the history of the next pass.
#include "engine/extract_entry.h"

#include <algorithm>
#include <cstring>

#include "crypto/aes_entry.h"
#include "crypto/crc32.h"
#include "engine/dos_time.h"
#include "engine/little_endian.h"
#include "engine/report_error.h"
#include "engine/volumes.h"
#include "engine/zip.h"
#include "platform/file.h"

namespace extractor {
namespace {

constexpr uint32_t kHistory = 32768;
constexpr uint32_t kLocalHeaderSize = 30;
constexpr uint32_t kLocalHeaderSignature = 0x04034b50;
// The history, and the room the decoder may write beyond its limit.
constexpr uint32_t kOutputSlack = kHistory + kOutputRoom;

enum class Cipher { None, Traditional, Aes };

bool knownMethod(const ZipEntry& entry) {
  return entry.method == 0 || entry.method == 8;
}

// Bytes beyond a traditional encryption header.
bool holdsData(const ZipEntry& entry) {
  return entry.compressedSize > (entry.encryptionKind == 1 ? uint32_t{kCryptHeaderSize} : 0u);
}

// The state of one ExtractEntry call.
class EntryReader {
 public:
  EntryReader(ZipEntry& entry, std::unique_ptr<ZipStream>& output, EntryBuffers& buffers)
      : entry_(entry), zip_(*entry.owner), output_(output), buffers_(buffers) {}

  int32_t run();

 private:
  int32_t fail(int32_t code) { return FailEntry(zip_, code, output_); }
  int32_t openVolume(int32_t volume);
  int32_t readVolume();
  int32_t decodePass(uint32_t n, uint32_t& consumed, uint32_t& produced);
  int32_t deliver(uint32_t produced);
  void setFileTime();
  uint32_t locateData();

  bool spanned() const { return entry_.firstDisk != 0; }

  ZipEntry& entry_;
  Zip& zip_;
  std::unique_ptr<ZipStream>& output_;
  EntryBuffers& buffers_;
  std::u16string archiveName_;

  Cipher cipher_ = Cipher::None;
  ZipCryptKeys keys_;
  AesKey aes_{};

  uint8_t* in_ = nullptr;
  uint8_t* area_ = nullptr;  // the output area, behind the history
  uint32_t O_ = 0;           // usable input size
  uint32_t F_ = 0;           // pending input bytes
  uint32_t L_ = 0;           // compressed bytes to read
  uint32_t S_ = 0;           // bytes on the volumes already finished
  uint32_t M_ = 0;           // bytes on this volume
  uint32_t R_ = 0;           // bytes still to read from this volume
  uint32_t K_ = 0;           // free room behind the pending bytes
  int32_t V_ = 0;            // volume being read
  uint32_t W_ = 0;           // where the entry's data start in this volume
  uint32_t crc_ = 0;
  uint32_t written_ = 0;
};

int32_t EntryReader::openVolume(int32_t volume) {
  if (volume > zip_.diskCount) return fail(zipErrEndOfFile);
  if (!zip_.splitFiles) {
    // Removable media: wait until the disk in the drive carries the number.
    for (;;) {
      zip_.ReadVolumeLabel(archiveName_);
      zip_.DiskFromLabel();
      if (zip_.currentDisk == volume) return 0;
      if (zip_.abortRequest) return fail(zipErrAborted);
    }
  }
  auto next = std::make_shared<ZipStream>();
  next->SetOpenMode(ZipStream::kOpenExisting);
  std::u16string name = VolumeFileName(entry_.source->FileName(), volume, zip_.diskCount);
  if (next->SetFileName(name, ZipStream::NameForm::Volume) != 0) {
    return fail(zipErrOpenForReading);
  }
  entry_.source = std::move(next);
  return 0;
}

int32_t EntryReader::run() {
  archiveName_ = entry_.source->FileName();
  if (!zip_.batchRunning) zip_.bytesDone = 0;

  uint32_t capacity = (static_cast<uint32_t>(zip_.bufferKiB) + 2) * 1024;
  buffers_.input.resize(capacity);
  buffers_.output.resize(capacity + kOutputSlack);
  in_ = buffers_.input.data();
  area_ = buffers_.output.data() + kHistory;
  std::memset(buffers_.output.data(), 0, kHistory);
  *buffers_.inflate = InflateState();
  O_ = capacity;
  L_ = entry_.compressedSize;
  V_ = entry_.firstDisk;

  // No password makes the data of an unknown method readable, so none is
  // asked for (tools that encrypt their own way also set the flag).
  if (holdsData(entry_) && !knownMethod(entry_)) return fail(zipErrUnknownAlgorithm);

  // The data of a spanned entry start on its first volume, which has to be
  // at hand before an encryption header can be read from it.
  if (spanned() && openVolume(V_) != 0) return -1;
  uint32_t dataStart = locateData();
  W_ = dataStart;
  entry_.source->Seek(dataStart);
  output_->Truncate();

  if (entry_.encryptionKind == 1 && L_ >= kCryptHeaderSize) {
    if (CheckTraditionalPassword(entry_, keys_, L_, in_) != 0) return -1;
    cipher_ = Cipher::Traditional;
    W_ += kCryptHeaderSize;
  } else if (entry_.encryptionKind == 1) {
    L_ = 0;  // too short to hold the header: nothing to decrypt
  } else if (entry_.encryptionKind >= 2) {
    if (CheckAesPassword(entry_, aes_) != 0) return -1;
    cipher_ = Cipher::Aes;
  }

  while (S_ < L_) {
    if (readVolume() != 0) return -1;
    V_++;
    S_ += M_;
    if (S_ >= L_) break;
    if (openVolume(V_) != 0) return -1;
    entry_.source->Seek(0);
    W_ = 0;
  }

  if (crc_ != entry_.crc) entry_.warnings.Add(u"CRC Does Not Match");
  if (written_ != entry_.uncompressedSize) entry_.warnings.Add(u"Incorrect File Size");
  setFileTime();
  return 0;
}

int32_t EntryReader::readVolume() {
  uint32_t size = entry_.source->Size();
  uint32_t available = size > W_ ? size - W_ : 0;
  M_ = std::min(L_ - S_, available);
  // A plain archive holds all of an entry's data.
  if (!spanned() && M_ < L_ - S_) return fail(zipErrEndOfFile);
  R_ = M_;
  K_ = O_ - F_;

  while (R_ != 0 || (F_ > 0 && M_ == L_ - S_)) {
    uint32_t n = R_;
    bool cut = R_ > K_;
    if (cut) n = K_ & ~15u;
    if (entry_.source->Read(in_ + (O_ - K_), n) != 0) return fail(zipErrOpenForReading);

    if (cipher_ == Cipher::Traditional) {
      decryptBuffer(keys_, in_ + (O_ - K_), n);
    } else if (cipher_ == Cipher::Aes) {
      if (n == R_ && M_ + S_ == L_) {
        int32_t plain = static_cast<int32_t>(n);
        if (!decryptAesFinal(aes_, in_ + (O_ - K_), plain)) return fail(zipErrNotZipFile);
        R_ = n = static_cast<uint32_t>(plain);
      } else {
        decryptAesChunk(aes_, in_ + (O_ - K_), n);
      }
    }

    F_ += n;
    if (cut) O_ -= K_ % 16;

    uint32_t consumed = 0;
    uint32_t produced = 0;
    if (decodePass(n, consumed, produced) != 0) return -1;
    // A full buffer the decoder cannot take from never drains.
    if (n == 0 && R_ != 0 && consumed == 0 && produced == 0) return fail(zipErrNotZipFile);
    std::memmove(in_, in_ + consumed, F_ - consumed);
    if (deliver(produced) != 0) return -1;

    R_ -= n;
    F_ -= consumed;
    K_ = consumed;
  }
  return 0;
}

int32_t EntryReader::decodePass(uint32_t n, uint32_t& I, uint32_t& T) {
  // While more compressed data follow, 32 KiB stay unconsumed so that a
  // symbol is never cut off at the end of the buffer.
  bool moreToCome = M_ < L_ && (R_ != 0 || L_ - S_ > M_);
  uint32_t U = O_;
  if (moreToCome) U = F_ >= 65536 ? F_ - 32768 : 0;
  if (U == 0) return 0;
  bool moreOnVolume = R_ != n;
  InflateState& state = *buffers_.inflate;

  while (T < U - 2048 && I < F_) {
    if (F_ - I <= 65536 && I != 0 && moreOnVolume) break;  // refill first
    if (entry_.method == 8) {
      state.inPos = I;
      state.outPos = T;
      int32_t blockState = state.blockState;
      uint8_t bitCount = state.bitCount;
      ZipError result = inflateStep(state, in_, F_, area_, U);
      if (result != zipErrNone) return fail(result);
      bool progress = state.inPos != I || state.outPos != T || state.blockState != blockState ||
                      state.bitCount != bitCount;
      I = state.inPos;
      T = state.outPos;
      if (!progress) {
        // The decoder needs bytes that are not buffered: wait for them, or
        // give up when none will come.
        if (moreOnVolume || moreToCome) break;
        return fail(zipErrNotZipFile);
      }
    } else if (entry_.method == 0) {
      std::memcpy(area_, in_, F_);
      I = T = F_;
    } else {
      return fail(zipErrUnknownAlgorithm);
    }
    if (zip_.abortRequest) return fail(zipErrAborted);
  }
  return 0;
}

int32_t EntryReader::deliver(uint32_t T) {
  written_ += T;
  zip_.bytesDone += T;
  zip_.Refresh();
  zip_.PumpMessages();
  crc_ = crc32Update(crc_, area_, static_cast<int32_t>(T));
  if (T && output_->Write(area_, T) != 0) return fail(zipErrWriteFailed);
  // The newest 32 KiB of output become the history in front of the area.
  std::memmove(buffers_.output.data(), buffers_.output.data() + T, kHistory);
  return 0;
}

// Writers need not repeat the central extra field in the local header (one
// commonly writes a longer local one), so the data start is taken from the
// local header's own lengths where that header is found.
uint32_t EntryReader::locateData() {
  uint8_t header[kLocalHeaderSize] = {};
  ZipStream& source = *entry_.source;
  source.Seek(entry_.localHeaderOffset);
  if (source.Position() != entry_.localHeaderOffset || source.Read(header, kLocalHeaderSize) != 0 ||
      load32(header) != kLocalHeaderSignature) {
    return entry_.dataOffset;
  }
  return entry_.localHeaderOffset + kLocalHeaderSize + load16(header + 26) + load16(header + 28);
}

void EntryReader::setFileTime() {
  platform::setLastWriteTime(output_->FileName(), DateToFileTime(entry_.dateTime));
}

}  // namespace

int32_t ExtractEntry(ZipEntry& entry, std::unique_ptr<ZipStream>& output, EntryBuffers* buffers) {
  EntryBuffers own;
  EntryReader reader(entry, output, buffers ? *buffers : own);
  return reader.run();
}

}  // namespace extractor
