// The download mark: an archive whose Zone.Identifier names the internet or
// an untrusted zone passes it on to every file extracted from it.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "engine/zone_mark.h"
#include "extract_fixture.h"

namespace extractor::test {
namespace {

namespace fs = std::filesystem;

TEST(CarriedZoneMark, KeepsInternetAndUntrustedZonesWithTheirAddresses) {
  struct Case {
    const char* identifier;
    const char* carried;
  } cases[] = {
      {"[ZoneTransfer]\r\nZoneId=3\r\n", "[ZoneTransfer]\r\nZoneId=3\r\n"},
      {"[ZoneTransfer]\nZoneId=4\nReferrerUrl=https://example.org/\nHostUrl=https://example.org/"
       "setup.exe\nLastWriterPackageFamilyName=Some.Browser\n",
       "[ZoneTransfer]\r\nZoneId=4\r\nReferrerUrl=https://example.org/\r\nHostUrl=https://"
       "example.org/setup.exe\r\n"},
      // Key case and blanks differ between writers.
      {"[zonetransfer]\r\n zoneid = 3 \r\nhosturl=about:internet\r\n",
       "[ZoneTransfer]\r\nZoneId=3\r\nHostUrl=about:internet\r\n"},
      {"\xEF\xBB\xBF[ZoneTransfer]\r\nZoneId=3\r\n", ""},  // the section is not found
      {"[ZoneTransfer]\r\nZoneId=2\r\nHostUrl=http://intranet/\r\n", ""},  // trusted sites
      {"[ZoneTransfer]\r\nZoneId=1\r\n", ""},
      {"[ZoneTransfer]\r\nZoneId=0\r\n", ""},
      {"[ZoneTransfer]\r\nZoneId=33\r\n", ""},
      {"[Other]\r\nZoneId=3\r\n[ZoneTransfer]\r\nHostUrl=x\r\n", ""},
      {"ZoneId=3\r\n", ""},
      {"", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CarriedZoneMark(c.identifier), c.carried) << c.identifier;
  }
}

std::string readText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void writeText(const fs::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

// The stream "name:Zone.Identifier", which Linux and Wine keep as a file of
// that name beside name.
fs::path streamOf(const fs::path& file) {
  return file.parent_path() / fs::u8path(file.filename().u8string() + ":Zone.Identifier");
}

class ZoneMarkTest : public ExtractTest {
 protected:
  ZipBuilder archive() const {
    ZipBuilder b;
    b.entries.push_back(storedEntry("a.txt", bytesOf("alpha")));
    b.entries.push_back(storedEntry("sub/", bytesOf("")));
    b.entries.push_back(storedEntry("sub/b.txt", bytesOf("beta")));
    // A colon in a name is mended, never taken as a stream to write.
    b.entries.push_back(
        storedEntry("c.txt:Zone.Identifier", bytesOf("[ZoneTransfer]\r\nZoneId=0\r\n")));
    return b;
  }

  // Writes the archive with the given stream (none when empty) and extracts it.
  void extractMarked(const std::string& identifier) {
    writeBytes(dir.path() / "setup.exe", archive().build());
    if (!identifier.empty()) writeText(streamOf(dir.path() / "setup.exe"), identifier);
    ASSERT_EQ(zip.ReadDirectory(dir.wide("setup.exe")), 0);
    ASSERT_EQ(run(), 0);
    EXPECT_EQ(extracted("c.txt_Zone.Identifier"), bytesOf("[ZoneTransfer]\r\nZoneId=0\r\n"));
    EXPECT_FALSE(fs::exists(streamOf(out("c.txt"))));
  }
};

TEST_F(ZoneMarkTest, DownloadedArchiveMarksEveryExtractedFile) {
  extractMarked("[ZoneTransfer]\r\nZoneId=3\r\nReferrerUrl=https://example.org/\r\n");
  const std::string mark = "[ZoneTransfer]\r\nZoneId=3\r\nReferrerUrl=https://example.org/\r\n";
  for (const char* name : {"a.txt", "sub/b.txt", "c.txt_Zone.Identifier"}) {
    EXPECT_EQ(readText(streamOf(out(name))), mark) << name;
  }
  EXPECT_EQ(extracted("a.txt"), bytesOf("alpha"));
  // The mark does not move the entry's time.
  EXPECT_EQ(fs::last_write_time(out("a.txt")), fs::last_write_time(out("sub/b.txt")));
}

TEST_F(ZoneMarkTest, LocalOrUnmarkedArchiveMarksNothing) {
  for (const std::string identifier : {"", "[ZoneTransfer]\r\nZoneId=2\r\n"}) {
    fs::remove_all(out(""));
    extractMarked(identifier);
    for (const char* name : {"a.txt", "sub/b.txt", "c.txt_Zone.Identifier"}) {
      EXPECT_FALSE(fs::exists(streamOf(out(name)))) << name;
    }
  }
}

}  // namespace
}  // namespace extractor::test
