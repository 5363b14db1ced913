// A Zstandard frame's header, after its magic number: the descriptor byte,
// then the window descriptor, dictionary ID and content size it announces.
#pragma once

#include <cstdint>

#include "decode/decode_status.h"

namespace extractor::zstd {

constexpr uint32_t kFrameMagic = 0xFD2FB528;
// Skippable frames: any of 16 magic numbers, a 4-byte size, that many bytes.
constexpr uint32_t kSkippableMagic = 0x184D2A50;
constexpr uint32_t kSkippableMask = 0xFFFFFFF0;
// No frame may ask for a larger window.
constexpr uint64_t kMaxWindow = uint64_t{1} << 31;

struct FrameHeader {
  uint64_t windowSize = 0;
  uint64_t contentSize = 0;
  bool hasContentSize = false;
  bool hasChecksum = false;
};

// The header's size in bytes, descriptor included, from the descriptor.
unsigned frameHeaderSize(uint8_t descriptor);

// Reads a header of frameHeaderSize(p[0]) bytes. kDone, kDamaged for
// reserved bits or a window over kMaxWindow, kUnsupported for a
// dictionary.
DecodeStatus readFrameHeader(const uint8_t* p, FrameHeader& header);

}  // namespace extractor::zstd
