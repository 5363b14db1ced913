// The ZIP format's record signatures, fixed record sizes and the field
// values that both the extractor and the packer name.
#pragma once

#include <cstdint>

namespace extractor {

constexpr uint32_t kLocalHeaderSignature = 0x04034b50;
constexpr uint32_t kCentralHeaderSignature = 0x02014b50;
constexpr uint32_t kEndRecordSignature = 0x06054b50;
constexpr uint32_t kZip64EndSignature = 0x06064b50;
constexpr uint32_t kZip64LocatorSignature = 0x07064b50;
constexpr uint32_t kDataDescriptorSignature = 0x08074b50;

constexpr uint32_t kLocalHeaderSize = 30;
constexpr uint32_t kCentralHeaderSize = 46;
constexpr uint32_t kEndRecordSize = 22;
constexpr uint32_t kZip64EndSize = 56;
constexpr uint32_t kZip64LocatorSize = 20;
// The longest end record: its comment holds at most 65,535 bytes.
constexpr uint32_t kEndRecordWindow = 65535 + kEndRecordSize;

constexpr uint16_t kZip64ExtraId = 0x0001;

constexpr uint16_t kMethodStored = 0;
constexpr uint16_t kMethodDeflated = 8;
constexpr uint16_t kMethodDeflate64 = 9;
constexpr uint16_t kMethodBzip2 = 12;
constexpr uint16_t kMethodLzma = 14;
constexpr uint16_t kMethodZstd = 93;  // one or more Zstandard frames
constexpr uint16_t kMethodXz = 95;    // a complete .xz stream
constexpr uint16_t kMethodPpmd = 98;  // PPMd variant I revision 1

constexpr uint16_t kEncryptedFlag = 1 << 0;
constexpr uint16_t kDataDescriptorFlag = 1 << 3;
constexpr uint16_t kUtf8NameFlag = 1 << 11;

}  // namespace extractor
