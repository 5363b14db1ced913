#include "engine/report_error.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "engine/zip.h"
#include "fake_window.h"
#include "temp_dir.h"

namespace extractor::test {
namespace {

TEST(ReportError, StoresTheMessageClearsProgressAndRefreshes) {
  Zip zip;
  FakeWindow window(zip);
  zip.bytesDone = 77;
  zip.busy = true;
  zip.abortRequest = 1;
  EXPECT_EQ(ReportError(zip, zipErrNotZipFile), -1);
  EXPECT_EQ(zip.lastErrorText, u"The file is not identified as a compliant zip file");
  EXPECT_EQ(zip.bytesDone, 0u);
  EXPECT_EQ(window.refreshes, 1);
  // Only an abort hands control back.
  EXPECT_TRUE(zip.busy);
  EXPECT_EQ(zip.abortRequest, 1);
  ReportError(zip, zipErrAborted);
  EXPECT_EQ(zip.lastErrorText, u"Unzip Operation Aborted");
  EXPECT_FALSE(zip.busy);
  EXPECT_EQ(zip.abortRequest, 0);
}

TEST(ReportError, UnknownCodesAreUnresolved) {
  Zip zip;
  for (int32_t code : {0, 1, 11102, 12005, 13011, 13500, 13502, -1}) {
    ReportError(zip, code);
    EXPECT_EQ(zip.lastErrorText, u"Unresolved Error") << code;
  }
  ReportError(zip, zipErrTooLarge);
  EXPECT_EQ(zip.lastErrorText, u"Zip File is larger than 4GB");
  ReportError(zip, zipErrPasswordMissing);
  EXPECT_EQ(zip.lastErrorText,
            u"The Encryption property has a value other than zipNoEncryption and an operation "
            u"was conducted without providing a password");
}

TEST(ReportError, WarningsAreComposedAndShownOnce) {
  Zip zip;
  FakeWindow window(zip);
  for (auto name : {u"a.txt", u"quiet.txt", u"", u"b.txt"}) {
    ZipEntry& e = zip.entries.emplace_back();
    e.fileName = name;
  }
  zip.entries[0].warnings.Add(u"CRC Does Not Match");
  zip.entries[0].warnings.Add(u"Incorrect File Size");
  zip.entries[2].warnings.Add(u"File Exists");
  zip.entries[3].warnings.Add(u"File Exists");
  EXPECT_EQ(ReportError(zip, zipErrWarnings), -1);
  EXPECT_EQ(window.warningsDialogs, 1);
  EXPECT_EQ(window.shownWarnings,
            u"a.txt: CRC Does Not MatchIncorrect File Size\r\n: File Exists\r\nb.txt: File Exists");
  EXPECT_EQ(zip.lastErrorText, u"Error not identified");
  for (const ZipEntry& e : zip.entries) EXPECT_EQ(e.warnings.Count(), 0);
  EXPECT_EQ(ComposeWarnings(zip).Count(), 0);
}

TEST(FailEntry, DeletesThePartialFileThenReports) {
  TempDir dir;
  Zip zip;
  auto out = std::make_unique<ZipStream>();
  out->SetFileName(dir.wide("partial.bin"), ZipStream::NameForm::Output);
  ASSERT_TRUE(std::filesystem::exists(dir.path() / "partial.bin"));
  EXPECT_EQ(FailEntry(zip, zipErrWriteFailed, out), -1);
  EXPECT_EQ(out, nullptr);
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "partial.bin"));
  EXPECT_EQ(zip.lastErrorText, u"Write failed");
  std::unique_ptr<ZipStream> none;
  EXPECT_EQ(FailEntry(zip, zipErrOpenForReading, none), -1);
  EXPECT_EQ(zip.lastErrorText, u"Could not open file for reading");
}

TEST(ZipObject, ResetIsRefusedWhileBusyAndKeepsThePassword) {
  Zip zip;
  zip.entries.emplace_back();
  zip.bytesTotal = 10;
  zip.Encryption = -1;
  zip.password = u"secret";
  zip.busy = true;
  EXPECT_EQ(zip.Reset(), -1);
  EXPECT_EQ(zip.lastErrorText,
            u"The current instance of the Zip object is already running an operation");
  EXPECT_EQ(zip.entries.size(), 1u);
  EXPECT_EQ(zip.bytesTotal, 10u);
  zip.busy = false;
  zip.abortRequest = 1;
  EXPECT_EQ(zip.Reset(), 0);
  EXPECT_TRUE(zip.entries.empty());
  EXPECT_EQ(zip.bytesTotal, 0u);
  EXPECT_EQ(zip.abortRequest, 0);
  EXPECT_EQ(zip.Encryption, zipNoEncryption);
  EXPECT_EQ(zip.password, u"secret");
}

}  // namespace
}  // namespace extractor::test
