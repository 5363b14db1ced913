// The entry pipeline: one entry's data read chunk by chunk, volume by
// volume, decrypted, decoded, checked and written to its output file.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "crypto/aes.h"
#include "crypto/winzip_aes.h"
#include "crypto/zip_crypto.h"
#include "engine/methods.h"
#include "engine/zip_entry.h"
#include "fileio/zip_stream.h"
#include "inflate/inflate.h"

namespace extractor {

// The pipeline's buffers and decoder state. An extraction run keeps one
// for all its entries, so that small entries cost no allocation.
struct EntryBuffers {
  std::vector<uint8_t> input;   // chunks read; pending bytes at the start
  std::vector<uint8_t> output;  // 64 KiB of history, then the output area
  std::unique_ptr<InflateState> inflate = std::make_unique<InflateState>();
  // The stream decoder of the last entry that had one, kept while the
  // entries' method stays the same: its memory serves them all.
  std::unique_ptr<StreamDecoder> decoder;
  uint16_t decoderMethod = 0;
  // The volume file read last. Entries that follow each other on a volume
  // share its stream, so that a split archive keeps one open volume and one
  // read-ahead block however many entries it holds.
  std::shared_ptr<ZipStream> volume;
};

// 0, or -1 after reporting. A failure once the data have begun to be
// written leaves the output stream gone and its file deleted; one before
// (a refusal, an abort at a password prompt, a missing first volume)
// leaves the stream and its file as they were bound.
int32_t ExtractEntry(ZipEntry& entry, std::unique_ptr<ZipStream>& output,
                     EntryBuffers* buffers = nullptr);

// The password loops: 0 once a password is accepted, -1 after an abort.
int32_t CheckTraditionalPassword(ZipEntry& entry, ZipCryptKeys& keys, uint64_t& dataLength,
                                 uint8_t* scratch);
int32_t CheckAesPassword(ZipEntry& entry, AesKey& key);
// Reads the salt and verifier of a WinZip AES entry at the source's position
// (scratch holds them) and keys data once a password matches.
int32_t CheckWinZipAesPassword(ZipEntry& entry, WinZipAesData& data, uint8_t* scratch);

}  // namespace extractor
