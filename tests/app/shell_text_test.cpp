#include "app/shell_text.h"

#include <gtest/gtest.h>

#include <string>

namespace extractor::app {
namespace {

TEST(CommandLineTail, SkipsTheProgramNameAndTheBlanksAfterIt) {
  struct Case {
    const wchar_t* line;
    const wchar_t* tail;
  };
  const Case cases[] = {
      {L"setup.exe", L""},
      {L"setup.exe /s x", L"/s x"},
      {L"setup.exe \t  -a", L"-a"},
      {L"\"C:\\My Files\\setup.exe\" /q", L"/q"},
      {L"\"C:\\My Files\\setup.exe\"/q", L"/q"},
      {L"\"C:\\unclosed quote", L""},
      {L"", L""},
  };
  for (const Case& c : cases) EXPECT_EQ(std::wstring(CommandLineTail(c.line)), c.tail) << c.line;
}

TEST(ComposeTitle, AppendsTheFileNameAndCutsAtTheBuffer) {
  const std::wstring prefix = L"Corvane Self-Extractor [";
  const std::wstring longName(90, L'n');
  struct Case {
    std::wstring path;
    std::wstring title;
  };
  const Case cases[] = {
      {L"C:\\Users\\me\\Downloads\\setup.exe", prefix + L"setup.exe]"},
      {L"setup.exe", prefix + L"setup.exe]"},
      {L"C:\\dir\\" + longName, (prefix + longName).substr(0, 99)},
      {L"C:\\dir\\" + std::wstring(74, L'x'), prefix + std::wstring(74, L'x') + L"]"},
  };
  for (const Case& c : cases) {
    wchar_t title[kTitleCapacity] = {};
    prefix.copy(title, prefix.size());
    ComposeTitle(title, c.path);
    EXPECT_EQ(std::wstring(title), c.title) << c.path;
  }
}

TEST(DefaultDestination, TakesTempOnlyWhenItFits) {
  const std::wstring fits(259, L't');
  EXPECT_EQ(DefaultDestination(L"", 0), L"c:\\Temp");
  EXPECT_EQ(DefaultDestination(L"D:\\tmp", 6), L"D:\\tmp");
  EXPECT_EQ(DefaultDestination(fits.c_str(), 259), fits);
  // Too long for the buffer, the read returns the length it would need.
  EXPECT_EQ(DefaultDestination(L"", 261), L"c:\\Temp");
  EXPECT_EQ(DefaultDestination(L"", 260), L"c:\\Temp");
}

TEST(ComposeStatus, NamesTheEntryWhileBusyAndCountsAfterASuccess) {
  const std::wstring longName(600, L'z');
  struct Case {
    StatusInput input;
    std::wstring status;
  };
  const Case cases[] = {
      {{true, L"readme.txt", 0, 3, false}, L"Unzipping: readme.txt"},
      {{true, nullptr, 5, 3, false}, L"Unzipping: "},
      {{false, nullptr, 1, 3, false}, L"Successfully Unzipped 3 files"},
      {{false, L"last.bin", 7, 1, false}, L"Successfully Unzipped 1 file"},
      {{false, nullptr, 7, 0, false}, L"Successfully Unzipped 0 files"},
      {{false, L"last.bin", 0, 3, false}, L" "},
      // Aborted: busy is cleared before the last refresh, progress was shown.
      {{false, L"large.bin", 7, 3, true}, L" "},
      {{true, L"large.bin", 7, 3, true}, L"Unzipping: large.bin"},
      {{true, longName.c_str(), 0, 1, false}, (L"Unzipping: " + longName).substr(0, 511)},
  };
  for (const Case& c : cases) {
    wchar_t status[kStatusCapacity];
    ComposeStatus(status, c.input);
    EXPECT_EQ(std::wstring(status), c.status);
  }
}

TEST(ProgressPosition, ScalesToTheBarRange) {
  EXPECT_EQ(ProgressPosition(0, 0), 0u);
  EXPECT_EQ(ProgressPosition(0, 100), 0u);
  EXPECT_EQ(ProgressPosition(50, 100), 32767u);
  EXPECT_EQ(ProgressPosition(100, 100), 65535u);
  EXPECT_EQ(ProgressPosition(150, 100), 65535u);
  // 65535 archives of 4 GiB entries: the product must not wrap.
  const uint64_t total = uint64_t{0xFFFFFFFF} * 65535;
  EXPECT_EQ(ProgressPosition(total / 2, total), 32767u);
}

}  // namespace
}  // namespace extractor::app
