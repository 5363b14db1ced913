#include <gtest/gtest.h>

#include "engine/zip.h"
#include "headless_window.h"
#include "listing.h"
#include "options.h"

namespace extractor::cli {
namespace {

std::optional<Options> parse(std::vector<std::string> args) {
  std::string problem;
  std::optional<Options> options = parseOptions(args, problem);
  EXPECT_EQ(options.has_value(), problem.empty()) << problem;
  return options;
}

TEST(ParseOptions, ReadsBothCommands) {
  std::optional<Options> o = parse({"--overwrite", "--password", "a b", "sfx.exe", "out"});
  ASSERT_TRUE(o);
  EXPECT_FALSE(o->list);
  EXPECT_TRUE(o->overwrite);
  EXPECT_EQ(o->password, "a b");
  EXPECT_EQ(o->archive, "sfx.exe");
  EXPECT_EQ(o->destination, "out");

  o = parse({"--list", "--tsv", "sfx.exe"});
  ASSERT_TRUE(o);
  EXPECT_TRUE(o->list);
  EXPECT_TRUE(o->tsv);
  EXPECT_FALSE(o->password);
  EXPECT_EQ(o->archive, "sfx.exe");
}

TEST(ParseOptions, KeepsAnEmptyPasswordAndOperandsAfterTheEnd) {
  std::optional<Options> o = parse({"--password=", "--", "--list", "-"});
  ASSERT_TRUE(o);
  EXPECT_EQ(o->password, "");
  EXPECT_EQ(o->archive, "--list");
  EXPECT_EQ(o->destination, "-");
}

TEST(ParseOptions, RefusesWhatIsNoCommandLine) {
  std::vector<std::vector<std::string>> bad = {
      {},
      {"a.zip"},
      {"a.zip", "out", "more"},
      {"--list"},
      {"--list", "a.zip", "out"},
      {"--password"},
      {"-x", "a.zip", "out"},
      {"--list", "--overwrite", "a.zip"},
      {"--list", "--password=p", "a.zip"},
      {"--tsv", "a.zip", "out"},
  };
  for (const auto& args : bad) {
    std::string problem;
    EXPECT_FALSE(parseOptions(args, problem)) << ::testing::PrintToString(args);
    EXPECT_FALSE(problem.empty());
  }
}

TEST(FormatDate, RoundsToTheSecondAcrossTheCalendar) {
  EXPECT_EQ(formatDate(0.0), "1899-12-30 00:00:00");
  EXPECT_EQ(formatDate(36586.5), "2000-03-01 12:00:00");
  EXPECT_EQ(formatDate(36585.0), "2000-02-29 00:00:00");
  EXPECT_EQ(formatDate(45292.75), "2024-01-01 18:00:00");
  EXPECT_EQ(formatDate(29221.0), "1980-01-01 00:00:00");
  EXPECT_EQ(formatDate(73415.0), "2100-12-31 00:00:00");
  // A time stored a hair below the full second still shows that second.
  EXPECT_EQ(formatDate(36586.5 + 59.0 / 86400 - 1e-9), "2000-03-01 12:00:59");
  EXPECT_EQ(formatDate(36586.0 - 1e-9), "2000-03-01 00:00:00");
  // Before day 0 the fraction counts forward from the day's midnight.
  EXPECT_EQ(formatDate(-1.25), "1899-12-29 06:00:00");
  EXPECT_EQ(formatDate(-109207.0), "1600-12-30 00:00:00");
}

TEST(ListingLine, JoinsTheFieldsWithTabs) {
  ZipEntry entry;
  entry.directoryName = u"docs/";
  entry.fileName = u"Gr\u00f6\u00dfe.txt";
  entry.method = 8;
  entry.compressedSize = 12;
  entry.uncompressedSize = 6000000000u;
  entry.crc = 0x0a1b2c3d;
  entry.dateTime = 36586.5;
  entry.encryptionKind = 1;
  entry.firstDisk = 2;
  EXPECT_EQ(listingLine(entry),
            "docs/Gr\xc3\xb6\xc3\x9f"
            "e.txt\t8\t12\t6000000000\t0a1b2c3d\t2000-03-01 12:00:00\t1\t2");
}

TEST(ListingTable, AlignsTheColumnsUnderAHeader) {
  std::vector<ZipEntry> entries(2);
  entries[0].fileName = u"big.bin";
  entries[0].uncompressedSize = 6000000000u;
  entries[0].compressedSize = 12345;
  entries[0].dateTime = 36586.5;
  entries[1].directoryName = u"docs/";
  entries[1].fileName = u"tab\there";
  entries[1].method = 0;
  entries[1].encryptionKind = kWinZipAesKind;
  entries[1].aesStrength = 3;
  entries[1].firstDisk = 12;
  EXPECT_EQ(
      listingTable(entries),
      "      Size  Packed  Method   CRC-32    Modified             Encryption  Volume  Name\n"
      "6000000000   12345  deflate  00000000  2000-03-01 12:00:00  -                -  big.bin\n"
      "         0       0  stored   00000000  1899-12-30 00:00:00  aes-256         12  "
      "docs/tab?here\n");
}

TEST(HeadlessWindow, AnswersThePasswordOnceThenCancels) {
  Zip zip;
  HeadlessWindow window(u"secret", "out");
  window.ShowPasswordDialog(zip);
  EXPECT_EQ(zip.password, u"secret");
  EXPECT_EQ(zip.abortRequest, 0);
  window.ShowPasswordDialog(zip);
  EXPECT_EQ(zip.abortRequest, -1);
}

}  // namespace
}  // namespace extractor::cli
