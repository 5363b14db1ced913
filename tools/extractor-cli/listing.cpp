#include "listing.h"

#include <algorithm>
#include <array>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <string_view>

#include "engine/utf8.h"
#include "engine/zip_format.h"

namespace extractor::cli {
namespace {

constexpr int64_t kSecondsPerDay = 86400;
constexpr int64_t kDaysPer400Years = 146097;
// Day 0 of an OLE date, 1899-12-30, counted from 0000-03-01.
constexpr int64_t kOleEpochFromMarch0 = 693899;

struct CivilDate {
  int64_t year;
  int month;
  int day;
};

bool isLeapYear(int64_t year) {
  return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

int64_t floorDiv(int64_t a, int64_t b) {
  int64_t q = a / b;
  return q * b > a ? q - 1 : q;
}

// Proleptic Gregorian calendar. Years are counted from March, so that the
// leap day closes each year and falls at the end of the month table.
CivilDate civilFromOleDay(int64_t oleDay) {
  int64_t n = oleDay + kOleEpochFromMarch0;
  int64_t cycles = floorDiv(n, kDaysPer400Years);
  int64_t rest = n - cycles * kDaysPer400Years;
  int64_t year = cycles * 400;
  for (;;) {
    int64_t length = isLeapYear(year + 1) ? 366 : 365;
    if (rest < length) break;
    rest -= length;
    year++;
  }
  static constexpr int kMonthDays[12] = {31, 30, 31, 30, 31, 31, 30, 31, 30, 31, 31, 29};
  int month = 0;
  while (month < 11 && rest >= kMonthDays[month]) rest -= kMonthDays[month++];
  // Months from March: 0..9 are March to December, 10 and 11 January and February.
  if (month >= 10) return {year + 1, month - 9, static_cast<int>(rest) + 1};
  return {year, month + 3, static_cast<int>(rest) + 1};
}

}  // namespace

std::string formatDate(double date) {
  // Before day 0 the fraction still counts forward from the day's midnight:
  // -1.25 is 1899-12-29 06:00.
  double whole = std::trunc(date);
  auto day = static_cast<int64_t>(whole);
  int64_t seconds = std::llround(std::fabs(date - whole) * kSecondsPerDay);
  if (seconds >= kSecondsPerDay) {
    seconds -= kSecondsPerDay;
    day++;
  }
  CivilDate civil = civilFromOleDay(day);
  char text[48];
  std::snprintf(text, sizeof text, "%04" PRId64 "-%02d-%02d %02d:%02d:%02d", civil.year,
                civil.month, civil.day, static_cast<int>(seconds / 3600),
                static_cast<int>(seconds / 60 % 60), static_cast<int>(seconds % 60));
  return text;
}

std::string listingLine(const ZipEntry& entry) {
  char fields[128];
  std::snprintf(fields, sizeof fields, "\t%u\t%" PRIu64 "\t%" PRIu64 "\t%08" PRIx32 "\t%s\t%d\t%d",
                unsigned{entry.method}, entry.compressedSize, entry.uncompressedSize, entry.crc,
                formatDate(entry.dateTime).c_str(), static_cast<int>(entry.encryptionKind),
                static_cast<int>(entry.firstDisk));
  return encodeUtf8(entry.directoryName + entry.fileName) + fields;
}

namespace {

constexpr size_t kColumns = 8;

std::string methodName(uint16_t method) {
  switch (method) {
    case kMethodStored:
      return "stored";
    case kMethodDeflated:
      return "deflate";
    case kMethodDeflate64:
      return "deflate64";
    case kMethodBzip2:
      return "bzip2";
    case kMethodLzma:
      return "lzma";
  }
  return std::to_string(method);
}

std::string cipherName(const ZipEntry& entry) {
  if (entry.encryptionKind == 0) return "-";
  if (entry.encryptionKind == 1) return "traditional";
  if (entry.encryptionKind == kWinZipAesKind) {
    return "aes-" + std::to_string(64 + 64 * entry.aesStrength);
  }
  return "legacy-aes-" + std::to_string(entry.encryptionKind);
}

// Control characters would move the terminal's cursor.
std::string shownName(const ZipEntry& entry) {
  std::string name = encodeUtf8(entry.directoryName + entry.fileName);
  for (char& c : name) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  }
  return name;
}

std::array<std::string, kColumns> tableRow(const ZipEntry& entry) {
  char crc[16];
  std::snprintf(crc, sizeof crc, "%08" PRIx32, entry.crc);
  return {std::to_string(entry.uncompressedSize),
          std::to_string(entry.compressedSize),
          methodName(entry.method),
          crc,
          formatDate(entry.dateTime),
          cipherName(entry),
          entry.firstDisk ? std::to_string(entry.firstDisk) : "-",
          shownName(entry)};
}

}  // namespace

std::string listingTable(const std::vector<ZipEntry>& entries) {
  std::vector<std::array<std::string, kColumns>> rows = {
      {"Size", "Packed", "Method", "CRC-32", "Modified", "Encryption", "Volume", "Name"}};
  for (const ZipEntry& entry : entries) rows.push_back(tableRow(entry));
  std::array<size_t, kColumns> width{};
  for (const auto& row : rows) {
    for (size_t i = 0; i + 1 < kColumns; i++) width[i] = std::max(width[i], row[i].size());
  }
  // Sizes and the volume to the right, words to the left.
  const bool right[kColumns] = {true, true, false, false, false, false, true, false};
  std::string out;
  for (const auto& row : rows) {
    for (size_t i = 0; i < kColumns; i++) {
      std::string pad(i + 1 < kColumns ? width[i] - row[i].size() : 0, ' ');
      out += right[i] ? pad + row[i] : row[i] + (i + 1 < kColumns ? pad : "");
      out += i + 1 < kColumns ? "  " : "\n";
    }
  }
  return out;
}

}  // namespace extractor::cli
