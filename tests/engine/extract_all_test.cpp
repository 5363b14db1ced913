#include <atomic>
#include <filesystem>
#include <set>
#include <thread>

#include "entry_crypto.h"
#include "extract_fixture.h"
#include "volume_drive.h"

namespace extractor::test {
namespace {

namespace fs = std::filesystem;

TEST_F(ExtractTest, ExistingFilesAreKeptOrReplaced) {
  ZipBuilder b;
  b.entries.push_back(storedEntry("a.txt", bytesOf("new a")));
  b.entries.push_back(storedEntry("b.txt", bytesOf("new b")));
  b.entries.push_back(storedEntry("c.txt", bytesOf("new c")));
  fs::create_directories(dir.path() / "out");
  writeBytes(out("a.txt"), bytesOf("old a, and longer than the entry"));
  writeBytes(out("b.txt"), bytesOf("old b"));
  ASSERT_EQ(extract(b), 0);
  EXPECT_EQ(extracted("a.txt"), bytesOf("old a, and longer than the entry"));
  EXPECT_EQ(extracted("b.txt"), bytesOf("old b"));
  EXPECT_EQ(extracted("c.txt"), bytesOf("new c"));
  EXPECT_EQ(window.shownWarnings, u"a.txt: File Exists\r\nb.txt: File Exists");

  ASSERT_EQ(run(true), 0);
  EXPECT_EQ(extracted("a.txt"), bytesOf("new a"));
  EXPECT_EQ(extracted("b.txt"), bytesOf("new b"));
  EXPECT_EQ(window.warningsDialogs, 1);
}

TEST_F(ExtractTest, FolderEntriesAndNestedFoldersAreMade) {
  ZipBuilder b;
  b.entries.push_back(storedEntry("docs/", {}));
  b.entries.push_back(storedEntry("empty\\folder\\", {}));
  b.entries.push_back(storedEntry("docs/img\\deep/x.bin", bytesOf("x")));
  ASSERT_EQ(extract(b), 0);
  EXPECT_TRUE(fs::is_directory(out("docs")));
  EXPECT_TRUE(fs::is_directory(out("empty/folder")));
  EXPECT_EQ(extracted("docs/img/deep/x.bin"), bytesOf("x"));
  EXPECT_GE(window.refreshes, 2);
}

TEST_F(ExtractTest, TargetThatCannotBeCreatedEndsTheRun) {
  ZipBuilder b;
  b.entries.push_back(storedEntry("docs/", {}));
  b.entries.push_back(storedEntry("blocker", bytesOf("a file")));
  b.entries.push_back(storedEntry("blocker/inside.txt", bytesOf("x")));
  b.entries.push_back(storedEntry("later.txt", bytesOf("y")));
  EXPECT_EQ(extract(b), -1);
  EXPECT_EQ(zip.lastErrorText, u"Write failed");
  EXPECT_TRUE(fs::is_directory(out("docs")));
  EXPECT_FALSE(fs::exists(out("later.txt")));
}

TEST_F(ExtractTest, EmptyPasswordWithEncryptedEntriesIsRefused) {
  ZipBuilder b;
  BuiltEntry e = storedEntry("e.txt", bytesOf("e"));
  encryptTraditional(e, "pw");
  b.entries.push_back(e);
  EXPECT_EQ(extract(b, false, u""), -1);
  EXPECT_EQ(zip.lastErrorText,
            u"The Encryption property has a value other than zipNoEncryption and an operation "
            u"was conducted without providing a password");
  EXPECT_FALSE(fs::exists(dir.path() / "out"));
}

TEST_F(ExtractTest, AbortBeforeTheFirstEntryExtractsNothing) {
  ZipBuilder b;
  b.entries.push_back(storedEntry("a.txt", bytesOf("a")));
  writeBytes(dir.path() / "setup.exe", b.build());
  ASSERT_EQ(zip.ReadDirectory(dir.wide("setup.exe")), 0);
  zip.abortRequest = 1;
  EXPECT_EQ(run(), -1);
  EXPECT_EQ(zip.lastErrorText, u"Unzip Operation Aborted");
  EXPECT_TRUE(fs::is_directory(dir.path() / "out"));
  EXPECT_FALSE(fs::exists(out("a.txt")));
  EXPECT_FALSE(zip.busy);
}

TEST_F(ExtractTest, NoEntriesIsASuccessWithOneFinalRefresh) {
  ZipBuilder b;
  b.prefix.assign(64, 1);
  ASSERT_EQ(extract(b), 0);
  EXPECT_EQ(window.refreshes, 1);
  EXPECT_FALSE(zip.busy);
}

TEST_F(ExtractTest, NamesThatWouldLeaveTheDestinationAreKeptInside) {
  const char* names[] = {
      "../escape1.txt",
      "..\\escape2.txt",
      "a/../../escape3.txt",
      "/abs4.txt",
      "\\abs5.txt",
      "C:abs6.txt",
      "C:/abs7.txt",
      "D:\\abs8.txt",
      "\\\\server\\share\\unc9.txt",
      "//server/share/unc10.txt",
      "\\\\?\\C:\\unc11.txt",
      "sub/.../dots12.txt",
      "C:///tmp/moo13.txt",
  };
  const char* expected[] = {
      "escape1.txt",
      "escape2.txt",
      "a/escape3.txt",
      "abs4.txt",
      "abs5.txt",
      "abs6.txt",
      "abs7.txt",
      "abs8.txt",
      "server/share/unc9.txt",
      "server/share/unc10.txt",
      "unc11.txt",
      "sub/dots12.txt",
      "tmp/moo13.txt",
  };
  ZipBuilder b;
  for (const char* name : names) b.entries.push_back(storedEntry(name, bytesOf(name)));
  b.entries.push_back(storedEntry("fine/name.txt", bytesOf("fine")));
  ASSERT_EQ(extract(b), 0);
  for (size_t i = 0; i < std::size(names); i++) {
    EXPECT_EQ(extracted(expected[i]), bytesOf(names[i])) << names[i];
  }
  EXPECT_FALSE(fs::exists(dir.path() / "escape1.txt"));
  EXPECT_FALSE(fs::exists(dir.path() / "escape3.txt"));
  EXPECT_EQ(extracted("fine/name.txt"), bytesOf("fine"));
  for (size_t i = 0; i < std::size(names); i++) {
    EXPECT_NE(window.shownWarnings.find(u": Unsafe Path Corrected"), std::u16string::npos);
  }
  EXPECT_EQ(window.shownWarnings.find(u"name.txt"), std::u16string::npos);
}

// Lays out local headers and data as one stream cut into volumes at the
// given offsets, as a writer spanning an archive does.
struct SpannedArchive {
  std::vector<std::vector<uint8_t>> volumes;  // 1-based volume k at k - 1
  ZipBuilder directory;                       // central directory and end record only
};

SpannedArchive spanArchive(const std::vector<BuiltEntry>& entries, const std::vector<size_t>& cuts,
                           bool removable) {
  ZipBuilder whole;
  whole.entries = entries;
  std::vector<uint8_t> stream = whole.build();
  size_t localEnd = 0;
  std::vector<size_t> starts;
  for (const BuiltEntry& e : entries) {
    starts.push_back(localEnd);
    localEnd += 30 + e.name.size() + e.localExtra.size() + e.data.size();
  }
  stream.resize(localEnd);
  SpannedArchive out;
  size_t from = 0;
  for (size_t cut : cuts) {
    out.volumes.emplace_back(stream.begin() + from, stream.begin() + cut);
    from = cut;
  }
  out.volumes.emplace_back(stream.begin() + from, stream.end());
  for (size_t i = 0; i < entries.size(); i++) {
    BuiltEntry e = entries[i];
    size_t volume = 0;
    size_t base = 0;
    for (size_t cut : cuts) {
      if (starts[i] < cut) break;
      volume++;
      base = cut;
    }
    e.disk = static_cast<uint16_t>(volume);
    e.localOffset = static_cast<uint32_t>(starts[i] - base);
    e.data.clear();
    out.directory.entries.push_back(e);
  }
  uint16_t last = static_cast<uint16_t>(out.volumes.size() - 1);
  out.directory.thisDisk = last;
  out.directory.directoryDisk = removable ? last + 1 : last;
  return out;
}

class SpannedTest : public ExtractTest {
 protected:
  // Writes the directory behind a stub as the program file, and the volume
  // files beside it by the name rule.
  void writeSplit(const SpannedArchive& archive, const fs::path& folder) {
    ZipBuilder program = archive.directory;
    program.prefix.assign(4096, 0x90);
    writeBytes(folder / "setup.exe", program.build());
    for (size_t k = 1; k <= archive.volumes.size(); k++) {
      char name[16];
      std::snprintf(name, sizeof name, "setup.%03zu", k);
      std::string file = k == archive.volumes.size() ? "setup.zip" : name;
      writeBytes(folder / file, archive.volumes[k - 1]);
    }
  }
};

std::vector<BuiltEntry> spannedEntries(const std::vector<uint8_t>& big) {
  std::vector<BuiltEntry> entries;
  entries.push_back(deflatedEntry("deflated.bin", big));
  BuiltEntry locked =
      storedEntry("locked.bin", std::vector<uint8_t>(big.begin(), big.begin() + 30000));
  encryptTraditional(locked, "pw");
  entries.push_back(locked);
  entries.push_back(storedEntry("stored.bin", big));
  return entries;
}

TEST_F(SpannedTest, SplitFilesAreReadVolumeByVolume) {
  auto big = sampleData(200000, 11);
  auto entries = spannedEntries(big);
  // Cuts inside the deflated data, just behind the encryption header, and
  // inside the stored entry.
  size_t deflatedEnd = 30 + 12 + entries[0].data.size();
  size_t lockedData = deflatedEnd + 30 + 10 + 12;
  SpannedArchive archive =
      spanArchive(entries, {deflatedEnd / 2, lockedData + 5, lockedData + 30000 + 60000}, false);
  writeSplit(archive, dir.path());
  zip.password = u"pw";
  ASSERT_EQ(zip.ReadDirectory(dir.wide("setup.exe")), 0);
  EXPECT_TRUE(zip.splitFiles);
  EXPECT_EQ(zip.diskCount, 4);
  ASSERT_EQ(run(), 0) << std::string(zip.lastErrorText.begin(), zip.lastErrorText.end());
  EXPECT_EQ(extracted("deflated.bin"), big);
  EXPECT_EQ(extracted("locked.bin"), std::vector<uint8_t>(big.begin(), big.begin() + 30000));
  EXPECT_EQ(extracted("stored.bin"), big);
  EXPECT_EQ(window.warningsDialogs, 0);
}

// What a run keeps per entry must not grow with the entries: entries that
// follow each other on a volume read it through one stream.
TEST_F(SpannedTest, EntriesOfAVolumeShareItsStream) {
  std::vector<BuiltEntry> entries;
  for (int i = 0; i < 200; i++) {
    entries.push_back(storedEntry("f" + std::to_string(i), sampleData(100, i)));
  }
  size_t entrySize = 30 + 4 + 100;
  writeSplit(spanArchive(entries, {entrySize * 70 + 50, entrySize * 140}, false), dir.path());
  ASSERT_EQ(zip.ReadDirectory(dir.wide("setup.exe")), 0);
  ASSERT_EQ(run(), 0);
  std::set<const ZipStream*> streams;
  for (const ZipEntry& entry : zip.entries) streams.insert(entry.source.get());
  EXPECT_LE(streams.size(), 3u);
  EXPECT_EQ(extracted("f199"), sampleData(100, 199));
}

TEST_F(SpannedTest, VolumesBesideAnArchiveInAFolderTheAnsiCodePageCannotName) {
  auto big = sampleData(100000, 15);
  std::vector<BuiltEntry> entries = {deflatedEntry("deflated.bin", big)};
  fs::path folder = dir.path() / fs::u8path("Установка-日本-\xF0\x9F\x98\x80");
  fs::create_directories(folder);
  writeSplit(spanArchive(entries, {entries[0].data.size() / 2}, false), folder);
  ASSERT_EQ(zip.ReadDirectory(widen(folder / "setup.exe")), 0);
  ASSERT_EQ(zip.entries.size(), 1u);
  ASSERT_EQ(run(), 0);
  EXPECT_EQ(extracted("deflated.bin"), big);
}

TEST_F(SpannedTest, MissingVolumeFileEndsTheEntry) {
  auto big = sampleData(100000, 12);
  std::vector<BuiltEntry> entries = {storedEntry("stored.bin", big)};
  writeSplit(spanArchive(entries, {50000}, false), dir.path());
  fs::remove(dir.path() / "setup.zip");
  ASSERT_EQ(zip.ReadDirectory(dir.wide("setup.exe")), 0);
  EXPECT_EQ(run(), -1);
  EXPECT_EQ(zip.lastErrorText, u"Could not open file for reading");
  EXPECT_FALSE(fs::exists(out("stored.bin")));
  EXPECT_FALSE(fs::exists(dir.path() / "setup.zip"));
}

// A split set made by another tool, its last volume holding the directory,
// turned into a program by putting the program in front of that volume
// without adjusting its offsets. setup.zip, the last volume by the name
// rule, tells by its own end records how many bytes lie in front of its
// entries: the volume as it was or a copy of the program file both extract.
// A last volume without those records is refused before anything is
// written, so that no entry of it is read from the wrong place.
TEST_F(SpannedTest, SplitSetsWithUnadjustedProgramInFront) {
  auto big = sampleData(100000, 16);
  std::vector<BuiltEntry> entries = {storedEntry("first.bin", big),
                                     storedEntry("last.bin", sampleData(70000, 17))};
  // The second entry starts on the last volume; the first ends there.
  SpannedArchive archive = spanArchive(entries, {60000}, false);
  ZipBuilder lastVolume = archive.directory;
  lastVolume.prefix = archive.volumes.back();
  const std::vector<uint8_t> last = lastVolume.build();
  std::vector<uint8_t> withProgram = last;
  withProgram.insert(withProgram.begin(), 4096, 0x90);
  struct Case {
    const char* what;
    std::optional<std::vector<uint8_t>> lastFile;
    bool extracts;
  } cases[] = {
      {"the volume as it was", last, true},
      {"a copy of the program file", withProgram, true},
      {"no last volume", std::nullopt, false},
      {"a last volume without the directory", archive.volumes.back(), false},
  };
  for (const Case& c : cases) {
    zip.Reset();
    fs::remove_all(dir.path() / destination);
    fs::remove(dir.path() / "setup.zip");
    writeBytes(dir.path() / "setup.exe", withProgram);
    writeBytes(dir.path() / "setup.001", archive.volumes[0]);
    if (c.lastFile) writeBytes(dir.path() / "setup.zip", *c.lastFile);
    if (!c.extracts) {
      EXPECT_EQ(zip.ReadDirectory(dir.wide("setup.exe")), -1) << c.what;
      EXPECT_EQ(zip.lastErrorText, u"The file is not identified as a compliant zip file");
      EXPECT_TRUE(zip.entries.empty()) << c.what;
      continue;
    }
    ASSERT_EQ(zip.ReadDirectory(dir.wide("setup.exe")), 0) << c.what;
    ASSERT_EQ(run(), 0) << c.what;
    EXPECT_EQ(extracted("first.bin"), big) << c.what;
    EXPECT_EQ(extracted("last.bin"), entries[1].data) << c.what;
    EXPECT_EQ(window.warningsDialogs, 0) << c.what;
  }
}

// Disks of a spanned archive exchanged in one drive while the pipeline
// polls the drive's label.
class RemovableTest : public SpannedTest {
 protected:
  void insert(const std::vector<uint8_t>& disk, int number) {
    writeBytes(drive.folder() / "setup.exe", disk);
    drive.setLabel("DISK00" + std::to_string(number));
  }
  // Inserts a disk a little later, from another thread, as a user would.
  void insertLater(const std::vector<uint8_t>& disk, int number) {
    helpers.emplace_back([this, disk, number] {
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
      insert(disk, number);
    });
  }
  // A disk that never shows up must fail the test, not hang it.
  void SetUp() override {
    helpers.emplace_back([this] {
      for (int i = 0; i < 300 && !finished; i++) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
      }
      if (!finished) zip.abortRequest = 1;
    });
  }
  void TearDown() override {
    finished = true;
    for (std::thread& t : helpers) t.join();
  }

  VolumeDrive drive;
  std::vector<std::thread> helpers;
  std::atomic<bool> finished{false};
};

TEST_F(RemovableTest, WaitsForEachDiskByItsLabel) {
  if (!drive.available()) GTEST_SKIP() << "no drive whose label can be exchanged";
  auto big = sampleData(120000, 13);
  std::vector<BuiltEntry> entries = {deflatedEntry("spanned.bin", big)};
  SpannedArchive archive = spanArchive(entries, {entries[0].data.size() / 2}, true);
  ZipBuilder last = archive.directory;
  last.prefix = archive.volumes[1];
  std::vector<uint8_t> disk2 = last.build();
  insert(disk2, 2);
  ASSERT_EQ(zip.ReadDirectory(drive.archivePath("setup.exe")), 0);
  EXPECT_FALSE(zip.splitFiles);
  EXPECT_EQ(zip.entries[0].firstDisk, 1);

  insertLater(archive.volumes[0], 1);
  bool asked = false;
  window.onRefresh = [&](Zip&) {
    if (!asked) insertLater(disk2, 2);
    asked = true;
  };
  ASSERT_EQ(run(), 0);
  EXPECT_EQ(extracted("spanned.bin"), big);
}

TEST_F(RemovableTest, AbortWhileWaitingForADisk) {
  if (!drive.available()) GTEST_SKIP() << "no drive whose label can be exchanged";
  std::vector<BuiltEntry> entries = {storedEntry("spanned.bin", sampleData(50000, 14))};
  SpannedArchive archive = spanArchive(entries, {20000}, true);
  ZipBuilder last = archive.directory;
  last.prefix = archive.volumes[1];
  insert(last.build(), 2);
  ASSERT_EQ(zip.ReadDirectory(drive.archivePath("setup.exe")), 0);
  helpers.emplace_back([this] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    zip.abortRequest = 1;
  });
  EXPECT_EQ(run(), -1);
  EXPECT_EQ(zip.lastErrorText, u"Unzip Operation Aborted");
  EXPECT_FALSE(fs::exists(out("spanned.bin")));
}

}  // namespace
}  // namespace extractor::test
