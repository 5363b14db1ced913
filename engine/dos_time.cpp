#include "engine/dos_time.h"

namespace extractor {
namespace {

constexpr int32_t kDaysBeforeMonth[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};

bool isLeapYear(int32_t year) {
  return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

bool isCalendarTime(int32_t year, int32_t month, int32_t day, int32_t hour, int32_t minute,
                    int32_t second) {
  static constexpr int32_t kMonthDays[12] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12 || day < 1 || day > kMonthDays[month - 1]) return false;
  if (month == 2 && day == 29 && !isLeapYear(year)) return false;
  return hour < 24 && minute < 60 && second < 60;
}

}  // namespace

double DosTimeToDate(int32_t year, int32_t month, int32_t day, int32_t hour, int32_t minute,
                     int32_t second, int32_t milliseconds) {
  // Every fourth year is a leap year here, with no century exception.
  int32_t days = year * 365 + (year - 1900) / 4 + kDaysBeforeMonth[month - 1] + day - 693499;
  double fraction =
      (((milliseconds * 0.001 + second) * 0.016666666666666666 + minute) * 0.016666666666666666 +
       hour) *
      0.041666666666666664;
  double value = days + fraction;
  if (month <= 2 && year % 4 == 0) value -= 1.0;
  return value;
}

double DosFieldsToDate(uint16_t dosDate, uint16_t dosTime) {
  int32_t year = 1980 + (dosDate >> 9);
  int32_t month = (dosDate >> 5) & 15;
  int32_t day = dosDate & 31;
  int32_t hour = dosTime >> 11;
  int32_t minute = (dosTime >> 5) & 63;
  int32_t second = 2 * (dosTime & 31);
  if (!isCalendarTime(year, month, day, hour, minute, second))
    return DosTimeToDate(1601, 1, 1, 0, 0, 0, 0);
  return DosTimeToDate(year, month, day, hour, minute, second, 0);
}

uint64_t DateToFileTime(double date) {
  // 109,205 days lie between 1601-01-01 and 1899-12-30. The stand-in time of
  // an invalid DOS date lies two days before 1601, which no file time holds.
  double ticks = (date + 109209.75 - 4.75) * 864000000000.0;
  if (ticks < 0) return 0;
  // A date keeps its time of day in the binary fraction of a double, a few
  // dozen ticks off the exact second; truncating would give 21.9999999 s for
  // a stored 22 s. Dates are made to the millisecond, so round to that.
  constexpr uint64_t kTicksPerMillisecond = 10000;
  return (static_cast<uint64_t>(ticks) + kTicksPerMillisecond / 2) / kTicksPerMillisecond *
         kTicksPerMillisecond;
}

}  // namespace extractor
