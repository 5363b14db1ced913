#include "app/shell_text.h"

#include <cwchar>

namespace extractor::app {
namespace {

struct Decimal {
  wchar_t text[16];
};

// The formatted-output functions would bring a whole printf into the program.
Decimal DecimalText(int32_t value) {
  Decimal out{};
  wchar_t digits[12];
  int count = 0;
  int64_t rest = value < 0 ? -int64_t{value} : value;
  do {
    digits[count++] = static_cast<wchar_t>(L'0' + rest % 10);
    rest /= 10;
  } while (rest != 0);
  int at = 0;
  if (value < 0) out.text[at++] = L'-';
  while (count > 0) out.text[at++] = digits[--count];
  return out;
}

}  // namespace

const wchar_t* CommandLineTail(const wchar_t* commandLine) {
  const wchar_t* at = commandLine;
  if (*at == L'"') {
    at++;
    while (*at != L'\0' && *at != L'"') at++;
    if (*at == L'"') at++;
  } else {
    while (*at != L'\0' && *at != L' ' && *at != L'\t') at++;
  }
  while (*at == L' ' || *at == L'\t') at++;
  return at;
}

std::wstring_view FileNameOf(std::wstring_view path) {
  size_t slash = path.rfind(L'\\');
  return slash == std::wstring_view::npos ? path : path.substr(slash + 1);
}

void AppendTruncated(wchar_t* buffer, size_t capacity, std::wstring_view text) {
  size_t length = std::wcslen(buffer);
  size_t room = capacity - 1 - length;
  size_t count = text.size() < room ? text.size() : room;
  text.copy(buffer + length, count);
  buffer[length + count] = L'\0';
}

void ComposeTitle(wchar_t (&title)[kTitleCapacity], std::wstring_view programPath) {
  AppendTruncated(title, kTitleCapacity, FileNameOf(programPath));
  AppendTruncated(title, kTitleCapacity, L"]");
}

std::wstring_view DefaultDestination(const wchar_t* temp, uint32_t readResult) {
  if (readResult == 0 || readResult >= kPathCapacity) return L"c:\\Temp";
  return std::wstring_view(temp, readResult);
}

void ComposeStatus(wchar_t (&status)[kStatusCapacity], const StatusInput& input) {
  status[0] = L'\0';
  if (input.busy) {
    AppendTruncated(status, kStatusCapacity, L"Unzipping: ");
    if (input.currentName) AppendTruncated(status, kStatusCapacity, input.currentName);
  } else if (input.lastShownDone != 0 && !input.stopRequested) {
    AppendTruncated(status, kStatusCapacity, L"Successfully Unzipped ");
    AppendTruncated(status, kStatusCapacity, DecimalText(input.fileCount).text);
    AppendTruncated(status, kStatusCapacity, input.fileCount == 1 ? L" file" : L" files");
  } else {
    AppendTruncated(status, kStatusCapacity, L" ");
  }
}

uint32_t ProgressPosition(uint64_t bytesDone, uint64_t bytesTotal) {
  if (bytesTotal == 0) return 0;
  // A count past the total (an entry longer than its header said) would
  // only be clamped by the bar; clamping here keeps the product in range.
  if (bytesDone >= bytesTotal) return 65535;
  return static_cast<uint32_t>(bytesDone * 65535 / bytesTotal);
}

}  // namespace extractor::app
