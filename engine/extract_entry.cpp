// One entry's data pass by pass: a chunk is read behind the bytes still
// pending, decrypted, decoded up to a consumption limit, checked, written,
// and the decoded bytes become the history of the next pass.
#include "engine/extract_entry.h"

#include <algorithm>
#include <cstring>

#include "crypto/aes_entry.h"
#include "crypto/crc32.h"
#include "engine/dos_time.h"
#include "engine/entry_support.h"
#include "engine/little_endian.h"
#include "engine/report_error.h"
#include "engine/volumes.h"
#include "engine/zip.h"
#include "engine/zip_format.h"
#include "platform/zone.h"

namespace extractor {
namespace {

// Room for the largest window a method reads back into.
constexpr uint32_t kHistory = [] {
  uint32_t most = 0;
  for (const MethodRow& row : kMethods) most = std::max(most, HistoryOf(row));
  return most;
}();
// The history, and the room the decoder may write beyond its limit.
constexpr uint32_t kOutputSlack = kHistory + kOutputRoom;
// The input buffer's size in usable windows.
constexpr size_t kWindowsPerInputBuffer = 4;

enum class Cipher { None, Traditional, Aes, WinZipAes };

// The state of one ExtractEntry call.
class EntryReader {
 public:
  EntryReader(ZipEntry& entry, std::unique_ptr<ZipStream>& output, EntryBuffers& buffers)
      : entry_(entry), zip_(*entry.owner), output_(output), buffers_(buffers) {}

  int32_t run();

 private:
  // The output file goes only once the entry's data have begun to replace
  // its content; until then it is as the driver bound it.
  int32_t fail(int32_t code) {
    return outputStarted_ ? FailEntry(zip_, code, output_) : ReportError(zip_, code);
  }
  int32_t dataError(int32_t code);
  int32_t startWinZipAes();
  int32_t authenticate();
  void discardOutput();
  int32_t openVolume(int32_t volume);
  int32_t readVolume();
  void makeRoomForChunk();
  int32_t decodePass(uint32_t chunk, uint32_t& consumed, uint32_t& produced);
  void startStreamDecoder();
  bool streamHasOutput() const;
  bool streamFinished() const;
  int32_t deliver(uint32_t produced);
  void markOrigin();
  void setFileTime();
  bool locateData();

  bool spanned() const { return entry_.firstDisk != 0; }

  ZipEntry& entry_;
  Zip& zip_;
  std::unique_ptr<ZipStream>& output_;
  EntryBuffers& buffers_;
  std::u16string archiveName_;

  bool outputStarted_ = false;
  const MethodRow* method_ = nullptr;  // nullptr: a method the pipeline does not decode
  StreamDecoder* stream_ = nullptr;    // for kStream methods
  uint32_t history_ = 0;               // output bytes kept in front of the area
  Cipher cipher_ = Cipher::None;
  ZipCryptKeys keys_;
  AesKey aes_{};
  WinZipAesData winZipAes_;
  // After bad data in a WinZip AES entry the rest of the ciphertext is
  // still read, without decoding, so that its code tells whether the data
  // were damaged (a warning) or the entry is bad (this error).
  bool draining_ = false;
  int32_t deferredError_ = 0;

  // The input buffer holds several chunks' worth, so that the pending
  // bytes need moving to its start only now and then rather than every
  // pass: they sit at window_, and the decoder sees window_ as its input.
  uint8_t* in_ = nullptr;
  uint8_t* window_ = nullptr;
  uint8_t* area_ = nullptr;           // the output area, behind the history
  uint32_t usableInput_ = 0;          // the part of the window in use
  uint32_t pending_ = 0;              // input bytes at window_ not yet consumed
  uint64_t dataLength_ = 0;           // compressed bytes of the entry to read
  uint64_t earlierVolumesShare_ = 0;  // of them, bytes on the volumes already finished
  uint64_t volumeShare_ = 0;          // bytes of the entry on this volume
  uint64_t volumeRemaining_ = 0;      // bytes still to read from this volume
  uint32_t freeRoom_ = 0;             // room in the window behind the pending bytes
  int32_t volume_ = 0;                // volume being read
  uint64_t dataStart_ = 0;            // where the entry's data start in this volume
  uint32_t crc_ = 0;
  uint64_t written_ = 0;
};

int32_t EntryReader::openVolume(int32_t volume) {
  if (volume > zip_.diskCount) return fail(zipErrEndOfFile);
  if (!zip_.splitFiles) {
    // Removable media: wait until the disk in the drive carries the number.
    // The handle of the disk read so far goes first: the disk may be
    // exchanged, and the stream opens its file anew on the next one.
    entry_.source->Close();
    for (;;) {
      zip_.ReadVolumeLabel(archiveName_);
      zip_.DiskFromLabel();
      if (zip_.currentDisk == volume) return 0;
      if (zip_.abortRequest) return fail(zipErrAborted);
    }
  }
  std::u16string name = VolumeFileName(entry_.source->FileName(), volume, zip_.diskCount);
  std::shared_ptr<ZipStream>& held = buffers_.volume;
  if (!held || held->FileName() != name) {
    auto next = std::make_shared<ZipStream>();
    next->SetOpenMode(ZipStream::kOpenExisting);
    if (next->SetFileName(name, ZipStream::NameForm::Volume) != 0) {
      return fail(zipErrOpenForReading);
    }
    // Only the volume being read stays open; entries that ended on the
    // others keep a closed stream of a few bytes.
    if (held) held->Close();
    held = std::move(next);
  }
  if (entry_.source != held) entry_.source->Close();
  entry_.source = held;
  return 0;
}

int32_t EntryReader::run() {
  archiveName_ = entry_.source->FileName();
  if (!zip_.batchRunning) zip_.bytesDone = 0;

  uint32_t capacity = (static_cast<uint32_t>(zip_.bufferKiB) + 2) * 1024;
  buffers_.input.resize(size_t{capacity} * kWindowsPerInputBuffer);
  buffers_.output.resize(capacity + kOutputSlack);
  in_ = window_ = buffers_.input.data();
  area_ = buffers_.output.data() + kHistory;
  std::memset(buffers_.output.data(), 0, kHistory);
  method_ = FindMethod(entry_.method);
  *buffers_.inflate = InflateState();
  if (method_) {
    buffers_.inflate->format = method_->inflateFormat;
    history_ = HistoryOf(*method_);
  }
  startStreamDecoder();
  usableInput_ = capacity;
  dataLength_ = entry_.compressedSize;
  volume_ = entry_.firstDisk;

  // No password makes the data of an unknown method readable, so none is
  // asked for (tools that encrypt their own way also set the flag).
  if (ZipError refusal = EntryRefusal(entry_)) return fail(refusal);

  // The data of a spanned entry start on its first volume, which has to be
  // at hand before an encryption header can be read from it.
  if (spanned() && openVolume(volume_) != 0) return -1;
  if (!locateData()) return fail(zipErrNotZipFile);
  entry_.source->Seek(static_cast<int64_t>(dataStart_));

  if (entry_.encryptionKind == 1 && dataLength_ >= kCryptHeaderSize) {
    if (CheckTraditionalPassword(entry_, keys_, dataLength_, in_) != 0) return -1;
    cipher_ = Cipher::Traditional;
    dataStart_ += kCryptHeaderSize;
  } else if (entry_.encryptionKind == 1) {
    dataLength_ = 0;  // too short to hold the header: nothing to decrypt
  } else if (entry_.encryptionKind == kWinZipAesKind) {
    if (startWinZipAes() != 0) return -1;
  } else if (entry_.encryptionKind >= 2) {
    if (CheckAesPassword(entry_, aes_) != 0) return -1;
    cipher_ = Cipher::Aes;
  }
  // A file being replaced keeps its old content until the password is
  // settled, so that a Cancel there leaves it as it was. One that cannot be
  // emptied (a running program, a file another program locks) is left
  // alone: it still holds its old content.
  if (output_->Truncate() != 0) return fail(WriteFailure());
  outputStarted_ = true;

  while (earlierVolumesShare_ < dataLength_) {
    if (readVolume() != 0) return -1;
    volume_++;
    earlierVolumesShare_ += volumeShare_;
    if (earlierVolumesShare_ >= dataLength_) break;
    if (openVolume(volume_) != 0) return -1;
    // Only the last volume may have the program in front.
    dataStart_ = volume_ == zip_.diskCount ? zip_.lastVolumePrefix : 0;
    entry_.source->Seek(static_cast<int64_t>(dataStart_));
  }

  if (cipher_ == Cipher::WinZipAes) {
    if (authenticate() != 0) return -1;
    if (!output_) return 0;
  }
  // Cut data end the entry as bad data do.
  if (dataLength_ != 0 && !streamFinished()) return fail(zipErrNotZipFile);
  // AE-2 entries leave the CRC-32 at 0: their code stands in for it.
  const bool crcKept = cipher_ != Cipher::WinZipAes || entry_.aesVersion == 1;
  if (crcKept && crc_ != entry_.crc) entry_.warnings.Add(u"CRC Does Not Match");
  if (written_ != entry_.uncompressedSize) entry_.warnings.Add(u"Incorrect File Size");
  markOrigin();
  setFileTime();
  // A run goes on with the next entry on the same volume; the run closes
  // its volumes when it ends.
  if (spanned() && !zip_.batchRunning) entry_.source->Close();
  return 0;
}

// The salt and verifier lie in front of the ciphertext, the code behind it.
int32_t EntryReader::startWinZipAes() {
  const uint64_t overhead = winZipAesOverhead(entry_.aesStrength);
  if (dataLength_ < overhead) return fail(zipErrNotZipFile);
  if (CheckWinZipAesPassword(entry_, winZipAes_, in_) != 0) return -1;
  cipher_ = Cipher::WinZipAes;
  dataStart_ += overhead - kWinZipAesCodeSize;
  dataLength_ -= overhead;
  return 0;
}

// The code follows the ciphertext on its volume or starts the next one.
// A code that does not match means the data cannot be trusted: the file
// goes, and the entry is marked as one whose check failed.
int32_t EntryReader::authenticate() {
  uint8_t stored[kWinZipAesCodeSize];
  uint32_t have = 0;
  // The data loop leaves volume_ one past the volume it read last.
  int32_t next = dataLength_ > 0 ? volume_ : volume_ + 1;
  while (have < kWinZipAesCodeSize) {
    ZipStream& source = *entry_.source;
    const uint64_t size = source.Size();
    const uint64_t position = source.Position();
    const uint32_t take = static_cast<uint32_t>(
        std::min<uint64_t>(size > position ? size - position : 0, kWinZipAesCodeSize - have));
    if (take > 0 && source.Read(stored + have, take) != 0) return fail(zipErrOpenForReading);
    have += take;
    if (have == kWinZipAesCodeSize) break;
    if (!spanned()) return fail(zipErrEndOfFile);
    if (openVolume(next++) != 0) return -1;
    entry_.source->Seek(0);
  }
  if (!winZipAes_.codeMatches(stored)) {
    entry_.warnings.Add(u"CRC Does Not Match");
    discardOutput();
    return 0;
  }
  if (draining_) return fail(deferredError_);
  return 0;
}

void EntryReader::discardOutput() {
  if (!output_) return;
  output_->SetDeleteOnClose(true);
  output_.reset();
}

int32_t EntryReader::dataError(int32_t code) {
  if (cipher_ != Cipher::WinZipAes) return fail(code);
  draining_ = true;
  deferredError_ = code;
  return 0;
}

// The window moves on by the bytes each pass consumes; once it would run
// past the buffer, its pending bytes go back to the buffer's start.
void EntryReader::makeRoomForChunk() {
  const size_t windowOffset = static_cast<size_t>(window_ - in_);
  if (windowOffset + usableInput_ <= buffers_.input.size()) return;
  std::memmove(in_, window_, pending_);
  window_ = in_;
}

int32_t EntryReader::readVolume() {
  uint64_t size = entry_.source->Size();
  uint64_t available = size > dataStart_ ? size - dataStart_ : 0;
  const uint64_t entryLeft = dataLength_ - earlierVolumesShare_;
  volumeShare_ = std::min(entryLeft, available);
  // A plain archive holds all of an entry's data.
  if (!spanned() && volumeShare_ < entryLeft) return fail(zipErrEndOfFile);
  const bool lastVolume = volumeShare_ == entryLeft;
  volumeRemaining_ = volumeShare_;
  freeRoom_ = usableInput_ - pending_;

  while (volumeRemaining_ != 0 || (lastVolume && (pending_ > 0 || streamHasOutput()))) {
    bool cut = volumeRemaining_ > freeRoom_;
    uint32_t chunk = cut ? freeRoom_ & ~15u : static_cast<uint32_t>(volumeRemaining_);
    // Whenever a chunk has bytes, the free room is exactly what lies
    // behind the pending bytes in the usable window.
    makeRoomForChunk();
    uint8_t* const chunkStart = window_ + pending_;
    if (entry_.source->Read(chunkStart, chunk) != 0) return fail(zipErrOpenForReading);

    if (cipher_ == Cipher::Traditional) {
      decryptBuffer(keys_, chunkStart, chunk);
    } else if (cipher_ == Cipher::WinZipAes) {
      winZipAes_.decrypt(chunkStart, chunk);
    } else if (cipher_ == Cipher::Aes) {
      if (chunk == volumeRemaining_ && lastVolume) {
        int32_t plain = static_cast<int32_t>(chunk);
        if (!decryptAesFinal(aes_, chunkStart, plain)) return fail(zipErrNotZipFile);
        volumeRemaining_ = chunk = static_cast<uint32_t>(plain);
      } else {
        decryptAesChunk(aes_, chunkStart, chunk);
      }
    }

    pending_ += chunk;
    if (cut) usableInput_ -= freeRoom_ % 16;

    uint32_t consumed = 0;
    uint32_t produced = 0;
    if (decodePass(chunk, consumed, produced) != 0) return -1;
    // A full buffer the decoder cannot take from never drains.
    if (chunk == 0 && volumeRemaining_ != 0 && consumed == 0 && produced == 0) {
      return fail(zipErrNotZipFile);
    }
    window_ += consumed;
    if (deliver(produced) != 0) return -1;

    volumeRemaining_ -= chunk;
    pending_ -= consumed;
    freeRoom_ = consumed;
  }
  return 0;
}

int32_t EntryReader::decodePass(uint32_t chunk, uint32_t& consumed, uint32_t& produced) {
  InflateState& state = *buffers_.inflate;
  // Bytes behind the final deflate block within the compressed size are
  // no data; some writers leave a few there.
  if (state.finished) {
    consumed = pending_;
    return 0;
  }
  // While more compressed data follow, 32 KiB stay unconsumed so that a
  // symbol is never cut off at the end of the buffer.
  const bool moreToCome =
      volumeShare_ < dataLength_ &&
      (volumeRemaining_ != 0 || dataLength_ - earlierVolumesShare_ > volumeShare_);
  uint32_t consumeLimit = usableInput_;
  if (moreToCome) consumeLimit = pending_ >= 65536 ? pending_ - 32768 : 0;
  if (consumeLimit == 0) return 0;
  if (draining_) {
    consumed = pending_;
    return 0;
  }
  const bool moreOnVolume = volumeRemaining_ != chunk;
  const bool inputComplete = !moreOnVolume && volumeShare_ == dataLength_ - earlierVolumesShare_;
  if (!method_) return fail(zipErrUnknownAlgorithm);
  const DecoderKind kind = method_->kind;
  // A decoder that makes no progress needs bytes not yet buffered: it
  // waits for them while more may come, otherwise the data are cut.
  const bool mayWait = kind == DecoderKind::kInflate ? moreOnVolume || moreToCome : !inputComplete;

  // Deflate's decoder returns at every block's end; a stream decoder may
  // produce output from input it has already consumed.
  while (produced < consumeLimit - 2048 && (consumed < pending_ || streamHasOutput())) {
    if (pending_ - consumed <= 65536 && consumed != 0 && moreOnVolume) break;  // refill first
    const uint32_t consumedBefore = consumed;
    const uint32_t producedBefore = produced;
    bool progress = false;
    DecodeStatus status = DecodeStatus::kMoreInput;
    if (kind == DecoderKind::kInflate) {
      state.inPos = consumed;
      state.outPos = produced;
      const int32_t blockState = state.blockState;
      const uint8_t bitCount = state.bitCount;
      status = inflateStep(state, window_, pending_, area_, consumeLimit);
      consumed = state.inPos;
      produced = state.outPos;
      progress = state.blockState != blockState || state.bitCount != bitCount;
    } else if (kind == DecoderKind::kStream) {
      status =
          stream_->step(window_, pending_, inputComplete, consumed, area_, consumeLimit, produced);
    } else {
      std::memcpy(area_, window_, pending_);
      consumed = produced = pending_;
    }
    if (decodeFailed(status)) return dataError(DecodeError(status));
    if (state.finished) {  // deflate's final block has ended
      consumed = pending_;
      break;
    }
    if (!progress && consumed == consumedBefore && produced == producedBefore) {
      if (mayWait) break;
      return dataError(zipErrNotZipFile);
    }
    if (zip_.abortRequest) return fail(zipErrAborted);
  }
  return 0;
}

// A run keeps the stream decoder while its entries' method stays the
// same; each entry starts it anew.
void EntryReader::startStreamDecoder() {
  if (!method_ || method_->kind != DecoderKind::kStream) return;
  if (!buffers_.decoder || buffers_.decoderMethod != method_->method) {
    buffers_.decoder.reset();  // its memory goes before the next decoder's comes
    buffers_.decoder = method_->makeDecoder();
    buffers_.decoderMethod = method_->method;
  }
  stream_ = buffers_.decoder.get();
  stream_->reset(StreamStart{entry_.uncompressedSize, entry_.flags});
}

bool EntryReader::streamHasOutput() const {
  return stream_ && !draining_ && stream_->hasOutput();
}

// Methods without a stream decoder end where their data end.
bool EntryReader::streamFinished() const {
  return !stream_ || stream_->finished();
}

int32_t EntryReader::deliver(uint32_t produced) {
  written_ += produced;
  zip_.bytesDone += produced;
  zip_.Refresh();
  zip_.PumpMessages();
  crc_ = crc32Update(crc_, area_, static_cast<int32_t>(produced));
  if (produced && output_->Write(area_, produced) != 0) return fail(WriteFailure());
  // The newest output, as much as the method reads back, becomes the
  // history in front of the area.
  if (history_ != 0) std::memmove(area_ - history_, area_ - history_ + produced, history_);
  return 0;
}

// Writers need not repeat the central extra field in the local header (one
// commonly writes a longer local one), so the data start is taken from the
// local header's own lengths. Without a local header where the directory
// points, the entry's data cannot be found.
bool EntryReader::locateData() {
  uint8_t header[kLocalHeaderSize] = {};
  ZipStream& source = *entry_.source;
  source.Seek(static_cast<int64_t>(entry_.localHeaderOffset));
  if (source.Position() != entry_.localHeaderOffset || source.Read(header, kLocalHeaderSize) != 0 ||
      load32(header) != kLocalHeaderSignature) {
    return false;
  }
  dataStart_ =
      entry_.localHeaderOffset + kLocalHeaderSize + load16(header + 26) + load16(header + 28);
  return true;
}

// The mark goes on before the time, which writing a stream would move. A
// file system without streams takes no mark; that is no failure.
void EntryReader::markOrigin() {
  if (!zip_.zoneMark.empty()) platform::writeZoneIdentifier(output_->FileName(), zip_.zoneMark);
}

void EntryReader::setFileTime() {
  output_->SetLastWriteTime(DateToFileTime(entry_.dateTime));
}

}  // namespace

int32_t ExtractEntry(ZipEntry& entry, std::unique_ptr<ZipStream>& output, EntryBuffers* buffers) {
  EntryBuffers own;
  EntryReader reader(entry, output, buffers ? *buffers : own);
  return reader.run();
}

}  // namespace extractor
