// The engine's error codes. Operations pass one of these to ReportError,
// which turns it into the message the user sees.
#pragma once

#include <cstdint>

namespace extractor {

enum ZipError : int32_t {
  zipErrNone = 0,
  zipErrAborted = 11103,
  zipErrParameter1 = 12001,
  zipErrParameter2 = 12002,
  zipErrParameter3 = 12003,
  zipErrParameter4 = 12004,
  zipErrPropertyAssignment = 12009,
  zipErrFileInUse = 12023,
  zipErrDiskFull = 12025,
  zipErrWriteFailed = 12026,
  zipErrOpenForReading = 12027,
  zipErrFileNotFound = 12028,
  zipErrMediaAccess = 12029,
  zipErrNotZipFile = 13001,
  zipErrBusy = 13002,
  zipErrEndOfFile = 13003,
  zipErrSpanSpace = 13004,
  zipErrPasswordMissing = 13005,
  zipErrNoEncryption = 13006,
  zipErrUnknownAlgorithm = 13007,
  zipErrTooLarge = 13008,
  zipErrPasswordInvalid = 13009,
  zipErrNotRemovable = 13010,
  zipErrWarnings = 13501,
};

}  // namespace extractor
