// The texts the shell composes: the command-line tail it skips to, the
// caption, the default destination and the status line. Plain functions on
// fixed buffers, as the window keeps its texts in buffers of fixed size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace extractor::app {

constexpr size_t kTitleCapacity = 100;   // characters, terminator included
constexpr size_t kPathCapacity = 260;    // a full path, terminator included
constexpr size_t kStatusCapacity = 512;  // the status line, terminator included

// What follows the program name and the blanks after it. A program name
// that begins with a double quote runs to the closing quote, otherwise to
// the first blank.
const wchar_t* CommandLineTail(const wchar_t* commandLine);

// The part of a path after its last backslash.
std::wstring_view FileNameOf(std::wstring_view path);

// Appends text to the terminated string in buffer, cutting it where the
// buffer of capacity characters is full. The result stays terminated.
void AppendTruncated(wchar_t* buffer, size_t capacity, std::wstring_view text);

// prefix, the file name of programPath and "]", cut at the title buffer's
// 99 characters.
void ComposeTitle(wchar_t (&title)[kTitleCapacity], std::wstring_view programPath);

// The default destination from what reading "TEMP" into a buffer of
// kPathCapacity returned: 0 (unset or empty) or a length that does not fit
// leave "c:\Temp".
std::wstring_view DefaultDestination(const wchar_t* temp, uint32_t readResult);

struct StatusInput {
  bool busy;
  const wchar_t* currentName;  // null when there is none
  uint64_t lastShownDone;
  int32_t fileCount;
  bool stopRequested;  // the user asked the run to stop
};

// "Unzipping: " and the name while busy, the success text after a run that
// showed progress and was not stopped, otherwise one space.
void ComposeStatus(wchar_t (&status)[kStatusCapacity], const StatusInput& input);

// The bar position for bytesDone of bytesTotal on a range of 0 to 65535.
uint32_t ProgressPosition(uint64_t bytesDone, uint64_t bytesTotal);

}  // namespace extractor::app
