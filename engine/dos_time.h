// Entry times: DOS date and time to the OLE Automation date the engine
// keeps (days since 1899-12-30, the time of day as the fraction), and on to
// the file time the system sets.
#pragma once

#include <cstdint>

namespace extractor {

double DosTimeToDate(int32_t year, int32_t month, int32_t day, int32_t hour, int32_t minute,
                     int32_t second, int32_t milliseconds);

// The packed fields of a header; a time that is no calendar time counts as
// 1601-01-01 00:00:00.
double DosFieldsToDate(uint16_t dosDate, uint16_t dosTime);

// 100-ns intervals since 1601-01-01, the entry's time taken as UTC.
uint64_t DateToFileTime(double date);

}  // namespace extractor
