// Archives made to hurt: cut short, with offsets, counts and sizes that
// lie, entries that overlap, data that expands a thousandfold, methods the
// program does not know. Each must end with the right message or warning,
// and nothing may appear outside the destination.
#include <algorithm>
#include <filesystem>

#include "extract_fixture.h"

namespace extractor::test {
namespace {

namespace fs = std::filesystem;

constexpr char16_t kNotZip[] = u"The file is not identified as a compliant zip file";
constexpr char16_t kEndOfFile[] = u"The End-Of-File location does not match the headers";
constexpr char16_t kUnknownMethod[] =
    u"The Encryption Algorithm used is not recognized by this DLL";

void patch32(std::vector<uint8_t>& bytes, size_t at, uint32_t value) {
  for (int i = 0; i < 4; i++) bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

void patch16(std::vector<uint8_t>& bytes, size_t at, uint16_t value) {
  bytes[at] = static_cast<uint8_t>(value);
  bytes[at + 1] = static_cast<uint8_t>(value >> 8);
}

class HostileArchive : public ExtractTest {
 protected:
  // Extracts the bytes as they are; the result of ExtractAll, or that of
  // the directory reading when it fails.
  int32_t extractBytes(const std::vector<uint8_t>& bytes, bool overwrite = false) {
    writeBytes(dir.path() / "setup.exe", bytes);
    int32_t read = zip.ReadDirectory(dir.wide("setup.exe"));
    return read != 0 ? read : run(overwrite);
  }
  // Whatever lies beside the archive other than the destination.
  std::vector<std::string> outside() const {
    std::vector<std::string> names;
    for (const auto& item : fs::recursive_directory_iterator(dir.path())) {
      std::string name = fs::relative(item.path(), dir.path()).generic_string();
      if (name != "setup.exe" && name != "out" && name.rfind("out/", 0) != 0) names.push_back(name);
    }
    return names;
  }
  void TearDown() override { EXPECT_EQ(outside(), std::vector<std::string>{}); }
};

ZipBuilder threeEntries() {
  ZipBuilder b;
  b.prefix.assign(300, 0x90);
  b.entries.push_back(storedEntry("docs/", {}));
  b.entries.push_back(storedEntry("docs/plain.txt", sampleData(700, 1)));
  b.entries.push_back(deflatedEntry("packed.bin", sampleData(5000, 2)));
  return b;
}

// Where each structure of a built archive begins and ends.
std::vector<size_t> structureBoundaries(const ZipBuilder& b) {
  std::vector<size_t> cuts = {0, b.prefix.size()};
  size_t at = b.prefix.size();
  for (const BuiltEntry& e : b.entries) {
    at += 30;
    cuts.push_back(at);
    at += e.name.size() + e.localExtra.size();
    cuts.push_back(at);
    at += e.data.size();
    cuts.push_back(at);
  }
  for (const BuiltEntry& e : b.entries) {
    at += 46;
    cuts.push_back(at);
    at += e.name.size() + e.centralExtra.size() + e.comment.size();
    cuts.push_back(at);
  }
  cuts.push_back(at + 4);   // behind the end record's signature
  cuts.push_back(at + 21);  // one byte short of a whole end record
  return cuts;
}

TEST_F(HostileArchive, CutAtEveryStructureBoundary) {
  ZipBuilder b = threeEntries();
  std::vector<uint8_t> whole = b.build();
  for (size_t cut : structureBoundaries(b)) {
    ASSERT_LT(cut, whole.size());
    zip.Reset();
    std::vector<uint8_t> cutShort(whole.begin(), whole.begin() + cut);
    EXPECT_EQ(extractBytes(cutShort), -1) << cut;
    EXPECT_EQ(zip.lastErrorText, kNotZip) << cut;
    EXPECT_FALSE(fs::exists(dir.path() / "out")) << cut;
  }
}

// The end record survives, the data it points at does not.
TEST_F(HostileArchive, DataCutAwayUnderAnIntactDirectory) {
  ZipBuilder b;
  b.entries.push_back(storedEntry("first.txt", bytesOf("first")));
  b.entries.push_back(storedEntry("cut.bin", sampleData(4000, 3)));
  b.entries.push_back(storedEntry("never.txt", bytesOf("never")));
  std::vector<uint8_t> bytes = b.build();
  size_t cutData = 30 + 9 + 5 + 30 + 7 + 1000;  // inside cut.bin's data
  // Keep the first 1000 bytes of cut.bin, then the directory moved down.
  size_t directoryStart = bytes.size() - 22;
  for (const BuiltEntry& e : b.entries) directoryStart -= 46 + e.name.size();
  std::vector<uint8_t> shortened(cutData + (bytes.size() - directoryStart));
  std::copy(bytes.begin(), bytes.begin() + cutData, shortened.begin());
  std::copy(bytes.begin() + directoryStart, bytes.end(), shortened.begin() + cutData);
  patch32(shortened, shortened.size() - 6, static_cast<uint32_t>(cutData));
  EXPECT_EQ(extractBytes(shortened), -1);
  EXPECT_EQ(zip.lastErrorText, kEndOfFile);
  EXPECT_EQ(extracted("first.txt"), bytesOf("first"));
  EXPECT_FALSE(fs::exists(out("cut.bin")));
  EXPECT_FALSE(fs::exists(out("never.txt")));
}

TEST_F(HostileArchive, DirectoryOffsetOutsideTheFileOrBesideTheDirectory) {
  struct Case {
    const char* what;
    int64_t offsetFromEnd;  // the directory offset as the file size plus this; or absolute below
    std::optional<uint32_t> absolute;
    int32_t result;
    size_t entries;
  };
  const Case cases[] = {
      {"one past the end", 1, std::nullopt, -1, 0},
      {"the largest offset", 0, 0xFFFFFFFFu, -1, 0},
      {"the end of the file", 0, std::nullopt, -1, 0},
      // Taken as an archive appended without adjusting its offsets, whose
      // local headers then lie elsewhere: the first file entry fails.
      {"the program bytes in front", 0, 10u, -1, 3},
      {"the middle of a header", 0, 300u + 30 + 5, -1, 3},
  };
  for (const Case& c : cases) {
    zip.Reset();
    std::vector<uint8_t> bytes = threeEntries().build();
    uint32_t offset = c.absolute.value_or(static_cast<uint32_t>(bytes.size() + c.offsetFromEnd));
    patch32(bytes, bytes.size() - 6, offset);
    EXPECT_EQ(extractBytes(bytes), c.result) << c.what;
    if (c.result != 0) {
      EXPECT_EQ(zip.lastErrorText, kNotZip) << c.what;
    }
    EXPECT_EQ(zip.entries.size(), c.entries) << c.what;
  }
  EXPECT_FALSE(fs::exists(out("docs/plain.txt")));
}

// Counts and a directory size that contradict the headers make the
// directory unusable: nothing is extracted.
TEST_F(HostileArchive, EndRecordCountsAndSizeThatLie) {
  const uint16_t counts[] = {0, 1, 2, 0xFFFF};
  const uint32_t sizes[] = {0, 46, 0xFFFFFFFF};
  ZipBuilder b = threeEntries();
  for (uint16_t count : counts) {
    for (uint32_t size : sizes) {
      zip.Reset();
      std::vector<uint8_t> bytes = b.build();
      patch16(bytes, bytes.size() - 14, count);
      patch16(bytes, bytes.size() - 12, count);
      patch32(bytes, bytes.size() - 10, size);
      ASSERT_EQ(extractBytes(bytes, true), -1) << count << " " << size;
      EXPECT_EQ(zip.lastErrorText, kNotZip);
      EXPECT_TRUE(zip.entries.empty());
      EXPECT_FALSE(fs::exists(out("docs")));
    }
  }
}

TEST_F(HostileArchive, SixtyFiveThousandFiveHundredThirtyFiveEntries) {
  ZipBuilder b;
  for (int i = 0; i < 65535 - 3; i++) b.entries.push_back(storedEntry("many/", {}));
  b.entries.push_back(storedEntry("many/first.txt", bytesOf("first")));
  b.entries.push_back(storedEntry("many/", {}));
  b.entries.push_back(storedEntry("many/last.txt", bytesOf("last")));
  ASSERT_EQ(extract(b), 0);
  EXPECT_EQ(zip.entries.size(), 65535u);
  EXPECT_EQ(extracted("many/first.txt"), bytesOf("first"));
  EXPECT_EQ(extracted("many/last.txt"), bytesOf("last"));
}

// A path of 300 characters is written; a name of 300 characters, past the
// file system's 255 per name, cannot be created: the run ends there.
TEST_F(HostileArchive, NamesOfThreeHundredCharacters) {
  const std::string longName(300, 'n');
  const std::string longPath = "a/" + std::string(140, 'b') + "/" + std::string(160, 'c');
  for (const std::string& name : {longName, longPath}) {
    zip.Reset();
    ZipBuilder b;
    b.entries.push_back(storedEntry("before.txt", bytesOf("before")));
    b.entries.push_back(storedEntry(name, bytesOf("long")));
    b.entries.push_back(storedEntry("after.txt", bytesOf("after")));
    bool fits = name == longPath;
    EXPECT_EQ(extract(b, true), fits ? 0 : -1) << name.size();
    if (!fits) {
      EXPECT_EQ(zip.lastErrorText, u"Write failed");
    }
    EXPECT_EQ(zip.entries[1].fileName.size() + zip.entries[1].directoryName.size(), name.size());
    EXPECT_EQ(extracted("before.txt"), bytesOf("before"));
    EXPECT_EQ(fs::exists(out("after.txt")), fits);
    if (fits) {
      EXPECT_EQ(extracted(name), bytesOf("long"));
    }
  }
}

// About 100 KB that expand to 100 MiB while the header claims 1 KB: the
// output streams through the pipeline's buffers and the size is warned of.
TEST_F(HostileArchive, DeflateBombEndsWithTheSizeWarning) {
  std::vector<uint8_t> zeros(100u << 20, 0);
  BuiltEntry bomb = deflatedEntry("bomb.bin", zeros, 9);
  zeros = {};
  EXPECT_LT(bomb.data.size(), 110000u);
  bomb.uncompressedSize = 1024;
  ZipBuilder b;
  b.entries.push_back(bomb);
  b.entries.push_back(storedEntry("after.txt", bytesOf("after")));
  ASSERT_EQ(extract(b), 0);
  EXPECT_EQ(fs::file_size(out("bomb.bin")), 100u << 20);
  EXPECT_EQ(window.shownWarnings, u"bomb.bin: Incorrect File Size");
  EXPECT_EQ(extracted("after.txt"), bytesOf("after"));
}

// Writers that stream leave CRC-32 and sizes out of the local header and
// put them in a descriptor behind the data; the directory has them.
TEST_F(HostileArchive, DataDescriptorsBehindTheData) {
  ZipBuilder b;
  for (bool signature : {true, false}) {
    auto content = sampleData(20000, signature ? 4 : 5);
    BuiltEntry e = deflatedEntry(signature ? "signed.bin" : "bare.bin", content);
    e.flags |= 1 << 3;
    std::vector<uint8_t> descriptor;
    if (signature) put32(descriptor, 0x08074b50);
    put32(descriptor, e.crc);
    put32(descriptor, e.compressedSize);
    put32(descriptor, e.uncompressedSize);
    e.data.insert(e.data.end(), descriptor.begin(), descriptor.end());
    b.entries.push_back(e);
  }
  std::vector<uint8_t> bytes = b.build();
  // Zero CRC-32 and sizes in the local headers, as streaming writers leave them.
  size_t local = 0;
  for (const BuiltEntry& e : b.entries) {
    for (size_t at = local + 14; at < local + 26; at++) bytes[at] = 0;
    local += 30 + e.name.size() + e.data.size();
  }
  ASSERT_EQ(extractBytes(bytes), 0);
  EXPECT_EQ(extracted("signed.bin"), sampleData(20000, 4));
  EXPECT_EQ(extracted("bare.bin"), sampleData(20000, 5));
  EXPECT_EQ(window.warningsDialogs, 0);
}

TEST_F(HostileArchive, EntriesThatShareOrReachIntoOtherEntriesData) {
  auto content = sampleData(3000, 6);
  ZipBuilder b;
  b.entries.push_back(storedEntry("one.bin", content));
  BuiltEntry twin = storedEntry("twin.bin", content);
  twin.localOffset = 0;  // the same local header and data as one.bin
  twin.name = "one.bin";
  ZipBuilder built = b;
  built.entries.push_back(twin);
  std::vector<uint8_t> bytes = built.build();
  // The twin's central name differs from the local one it points at.
  size_t twinName = bytes.size() - 22 - 7;
  bytes[twinName] = 't';

  // Into the middle of one.bin: no local header there, so no data either,
  // whatever bytes the central lengths would point at.
  const uint32_t inside = 1000;
  const size_t start = inside + 30 + 9 - 37;
  BuiltEntry inner = storedEntry(
      "inner.bin", std::vector<uint8_t>(content.begin() + start, content.begin() + start + 500));
  inner.localOffset = inside;
  inner.data.clear();
  ZipBuilder overlap = b;
  overlap.entries.push_back(inner);

  ASSERT_EQ(extractBytes(bytes, true), 0);
  EXPECT_EQ(extracted("one.bin"), content);
  EXPECT_EQ(extracted("tne.bin"), content);
  zip.Reset();
  EXPECT_EQ(window.warningsDialogs, 0);
  ASSERT_EQ(extract(overlap, true), -1);
  EXPECT_EQ(zip.lastErrorText, kNotZip);
  EXPECT_FALSE(fs::exists(out("inner.bin")));
}

// A local header planted inside another entry's data whose lengths put the
// data start far beyond the end of the file.
TEST_F(HostileArchive, PlantedLocalHeaderPointsPastTheEnd) {
  std::vector<uint8_t> planted = {0x50, 0x4b, 0x03, 0x04};
  planted.resize(30, 0);
  patch16(planted, 26, 0xFFFF);
  patch16(planted, 28, 0xFFFF);
  ZipBuilder b;
  b.entries.push_back(storedEntry("carrier.bin", planted));
  BuiltEntry victim = storedEntry("victim.bin", sampleData(100, 7));
  victim.data.clear();
  victim.localOffset = 30 + 11;  // the planted header
  b.entries.push_back(victim);
  EXPECT_EQ(extract(b), -1);
  EXPECT_EQ(zip.lastErrorText, kEndOfFile);
  EXPECT_EQ(extracted("carrier.bin"), planted);
  EXPECT_FALSE(fs::exists(out("victim.bin")));
}

// The directory's sizes decide; the local header's are never read.
TEST_F(HostileArchive, CentralSizesThatDisagreeWithTheLocalOnes) {
  struct Case {
    const char* name;
    int32_t compressedDelta;  // central compressed size minus the true one
    bool deflated;
    int32_t result;
    std::u16string warnings;
  };
  const Case cases[] = {
      {"stored-shorter.bin", -10, false, 0, u"CRC Does Not MatchIncorrect File Size"},
      {"stored-longer.bin", +10, false, 0, u"CRC Does Not MatchIncorrect File Size"},
      {"stored-past-the-end.bin", 1 << 20, false, -1, u""},
  };
  for (const Case& c : cases) {
    zip.Reset();
    ZipBuilder b;
    auto content = sampleData(8000, 8);
    BuiltEntry e = c.deflated ? deflatedEntry(c.name, content) : storedEntry(c.name, content);
    b.entries.push_back(e);
    b.entries.push_back(storedEntry("next.txt", bytesOf("next")));
    std::vector<uint8_t> bytes = b.build();
    // Central compressed size of the first entry.
    size_t central = bytes.size() - 22 - (46 + 8) - (46 + std::string(c.name).size());
    patch32(bytes, central + 20, static_cast<uint32_t>(e.compressedSize + c.compressedDelta));
    // And local sizes that are plainly wrong.
    patch32(bytes, 18, 7);
    patch32(bytes, 22, 7);
    window.shownWarnings.clear();
    EXPECT_EQ(extractBytes(bytes, true), c.result) << c.name;
    if (c.result == 0) {
      EXPECT_EQ(warnings(0), u"") << c.name;  // shown and emptied
      std::string name = c.name;
      EXPECT_EQ(window.shownWarnings,
                std::u16string(name.begin(), name.end()) + u": " + c.warnings);
      EXPECT_EQ(extracted("next.txt"), bytesOf("next")) << c.name;
    } else {
      EXPECT_EQ(zip.lastErrorText, kEndOfFile) << c.name;
      EXPECT_FALSE(fs::exists(out(c.name))) << c.name;
    }
  }
}

// Where the cut falls decides whether the decoder notices that its input
// ended inside a block; when it does not, the CRC-32 and the size tell,
// unless all that was lost is the end of the last block.
TEST_F(HostileArchive, DeflatedDataCutShortIsNeverTakenForGoodData) {
  auto content = sampleData(60000, 9);
  BuiltEntry whole = deflatedEntry("cut.bin", content);
  const size_t size = whole.data.size();
  for (size_t cut : {size_t{1}, size_t{2}, size_t{10}, size_t{100}, size_t{1000}, size / 2}) {
    zip.Reset();
    window.shownWarnings.clear();
    window.warningsDialogs = 0;
    ZipBuilder b;
    BuiltEntry e = whole;
    e.data.resize(size - cut);
    e.compressedSize = static_cast<uint32_t>(e.data.size());
    b.entries.push_back(e);
    int32_t result = extract(b, true);
    if (result != 0) {
      EXPECT_EQ(zip.lastErrorText, kNotZip) << cut;
      EXPECT_FALSE(fs::exists(out("cut.bin"))) << cut;
    } else if (window.warningsDialogs == 0) {
      EXPECT_EQ(extracted("cut.bin"), content) << cut;
    } else {
      EXPECT_EQ(window.shownWarnings, u"cut.bin: CRC Does Not MatchIncorrect File Size") << cut;
    }
  }
}

// Methods of other tools: the entry fails with 13007, its partial file is
// deleted, and the run ends there. An entry that a tool encrypted its own
// way is marked encrypted as well; no password is asked for it.
TEST_F(HostileArchive, UnsupportedMethodsEndTheRun) {
  const struct {
    uint16_t method;
    bool encrypted;
    const char* maker;
  } methods[] = {{97, false, "WavPack"},
                 {99, true, "WinZip AES around an unknown method"},
                 {8 + 256, true, "an unknown method, encrypted"}};
  for (const auto& m : methods) {
    zip.Reset();
    fs::remove_all(dir.path() / "out");
    ZipBuilder b;
    b.entries.push_back(storedEntry("before.txt", bytesOf("before")));
    BuiltEntry odd = storedEntry("odd.bin", sampleData(3000, m.method));
    odd.method = m.method;
    if (m.encrypted) odd.flags |= 1;
    if (m.method == 99) {
      odd.centralExtra = odd.localExtra = {0x01, 0x99, 7, 0, 2, 0, 'A', 'E', 3, 97, 0};
    }
    b.entries.push_back(odd);
    b.entries.push_back(storedEntry("after.txt", bytesOf("after")));
    window.passwordDialogs = 0;
    EXPECT_EQ(extract(b, false, u"pw"), -1) << m.maker;
    EXPECT_EQ(zip.lastErrorText, kUnknownMethod) << m.maker;
    EXPECT_EQ(window.passwordDialogs, 0) << m.maker;
    EXPECT_EQ(extracted("before.txt"), bytesOf("before")) << m.maker;
    EXPECT_FALSE(fs::exists(out("odd.bin"))) << m.maker;
    EXPECT_FALSE(fs::exists(out("after.txt"))) << m.maker;
  }
}

}  // namespace
}  // namespace extractor::test
