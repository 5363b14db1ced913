#include "listing.h"

#include <cinttypes>
#include <cmath>
#include <cstdio>

#include "engine/utf8.h"

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

}  // namespace extractor::cli
