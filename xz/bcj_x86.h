// The x86 branch filter of .xz blocks, decoding side. The encoder turned
// the 32-bit displacements of CALL (E8) and JMP (E9) instructions into
// absolute addresses, which repeat more and compress better; this turns
// them back. Which E8/E9 bytes were converted depends on the bytes before
// them, so the state carries over from one call to the next.
#pragma once

#include <cstddef>
#include <cstdint>

namespace extractor::xz {

class BcjX86 {
 public:
  // startOffset: the address of the data's first byte (the filter's
  // properties, 0 unless given).
  void reset(uint32_t startOffset);

  // Converts data[0..size) in place and returns how many bytes are final;
  // the rest (at most four) may begin an instruction that runs past size,
  // and come again at the start of the next call. At the end of the data
  // the rest stays as it is.
  size_t decode(uint8_t* data, size_t size);

 private:
  uint32_t position_ = 0;  // address of data[0]
  uint32_t previous_ = 0;  // address of the last E8/E9 looked at
  // Bit k set: the E8/E9 k bytes before the last one was left alone (bit
  // k + 4: and its fourth byte after was 0x00 or 0xFF).
  uint32_t mask_ = 0;
};

}  // namespace extractor::xz
