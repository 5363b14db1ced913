#include "fileio/zip_stream.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>

#include "temp_dir.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace extractor::test {
namespace {

namespace fs = std::filesystem;
using Form = ZipStream::NameForm;

std::unique_ptr<ZipStream> fileStream(const std::u16string& name, int32_t mode,
                                      Form form = Form::Output) {
  auto s = std::make_unique<ZipStream>();
  s->SetOpenMode(mode);
  EXPECT_EQ(s->SetFileName(name, form), 0);
  return s;
}

TEST(ZipStreamMemory, GrowsByTheWriteThenDoubles) {
  ZipStream s;
  EXPECT_EQ(s.Capacity(), 4096u);
  std::vector<uint8_t> big(5000, 7);
  EXPECT_EQ(s.Write(big.data(), 5000), 0);
  EXPECT_EQ(s.Capacity(), 9096u);
  std::vector<uint8_t> more(5000, 8);
  s.Write(more.data(), 5000);
  EXPECT_EQ(s.Capacity(), 18192u);
  EXPECT_EQ(s.Size(), 10000u);
}

TEST(ZipStreamMemory, SeekClampsAndReadCopiesOnlyWhatExists) {
  ZipStream s;
  auto data = bytesOf("abcdef");
  s.Write(data.data(), 6);
  s.Seek(-5);
  EXPECT_EQ(s.Position(), 0u);
  s.Seek(100);
  EXPECT_EQ(s.Position(), 6u);
  s.Seek(4);
  char out[8] = "xxxxxxx";
  EXPECT_EQ(s.Read(out, 8), 0);
  EXPECT_EQ(std::string(out, 3), "efx");
  EXPECT_EQ(s.Position(), 6u);
  s.Truncate();
  EXPECT_EQ(s.Size(), 0u);
  EXPECT_EQ(s.Position(), 0u);
}

TEST(ZipStreamFile, MissingFileWithOpenExistingStaysInMemoryThenCreateMakesIt) {
  TempDir dir;
  ZipStream s;
  s.SetOpenMode(ZipStream::kOpenExisting);
  EXPECT_EQ(s.SetFileName(dir.wide("new.bin"), Form::Output), 1);
  EXPECT_FALSE(s.IsFileBacked());
  EXPECT_EQ(s.FileName(), u"");
  EXPECT_FALSE(fs::exists(dir.path() / "new.bin"));
  s.SetOpenMode(ZipStream::kCreateAlways);
  EXPECT_EQ(s.SetFileName(dir.wide("new.bin"), Form::Output), 0);
  EXPECT_TRUE(s.IsFileBacked());
  EXPECT_TRUE(fs::exists(dir.path() / "new.bin"));
  EXPECT_EQ(s.FileName(), dir.wide("new.bin"));
}

TEST(ZipStreamFile, OpenAlwaysCreatesAnEmptyFileAndSameNameOpensNothing) {
  TempDir dir;
  auto s = fileStream(dir.wide("a.bin"), ZipStream::kOpenAlways);
  EXPECT_TRUE(fs::exists(dir.path() / "a.bin"));
  EXPECT_EQ(fs::file_size(dir.path() / "a.bin"), 0u);
  s->Close();  // Windows deletes no open file
  fs::remove(dir.path() / "a.bin");
  // The same name again is no change: the file is not recreated.
  EXPECT_EQ(s->SetFileName(dir.wide("a.bin"), Form::Output), 0);
  EXPECT_FALSE(fs::exists(dir.path() / "a.bin"));
}

TEST(ZipStreamFile, WritesAndReadsAtThePosition) {
  TempDir dir;
  auto s = fileStream(dir.wide("rw.bin"), ZipStream::kCreateAlways);
  auto hello = bytesOf("hello world");
  EXPECT_EQ(s->Write(hello.data(), 11), 0);
  EXPECT_EQ(s->Position(), 11u);
  EXPECT_EQ(s->Size(), 11u);
  s->Seek(6);
  auto fix = bytesOf("WORLD!");
  s->Write(fix.data(), 6);
  EXPECT_EQ(readBytes(dir.path() / "rw.bin"), bytesOf("hello WORLD!"));

  s->Seek(100);
  EXPECT_EQ(s->Position(), 12u);
  s->Seek(-1);
  EXPECT_EQ(s->Position(), 0u);
  // A read past the end advances by the full count and leaves the rest alone.
  s->Seek(10);
  char out[6] = "-----";
  EXPECT_EQ(s->Read(out, 5), 0);
  EXPECT_EQ(std::string(out, 5), "D!---");
  EXPECT_EQ(s->Position(), 15u);
}

TEST(ZipStreamFile, PositionsFromTwoAndFourGibibytesUpAreReachable) {
  TempDir dir;
  writeBytes(dir.path() / "big.bin", bytesOf("head"));
  fs::resize_file(dir.path() / "big.bin", 5ull << 30);  // sparse
  auto s = fileStream(dir.wide("big.bin"), ZipStream::kOpenExisting, Form::Volume);
  EXPECT_EQ(s->Size(), 5ull << 30);
  uint64_t size = 0;
  EXPECT_EQ(s->SizeQuery(size), 0);
  EXPECT_EQ(size, 5ull << 30);
  for (uint64_t at : {5ull << 29, (4ull << 30) + 7}) {
    s->Seek(static_cast<int64_t>(at));
    EXPECT_EQ(s->Position(), at);
    EXPECT_EQ(s->Write("mark", 4), 0);
    s->Seek(static_cast<int64_t>(at));
    char out[4] = {};
    EXPECT_EQ(s->Read(out, 4), 0);
    EXPECT_EQ(std::string(out, 4), "mark");
    EXPECT_EQ(s->Position(), at + 4);
  }
  s->Seek(int64_t{6} << 30);
  EXPECT_EQ(s->Position(), 5ull << 30);
}

TEST(ZipStreamFile, TruncateEmptiesTheFile) {
  TempDir dir;
  writeBytes(dir.path() / "t.bin", bytesOf("some content"));
  auto s = fileStream(dir.wide("t.bin"), ZipStream::kOpenExisting);
  s->Seek(4);
  s->Truncate();
  EXPECT_EQ(s->Position(), 0u);
  EXPECT_EQ(fs::file_size(dir.path() / "t.bin"), 0u);
}

// Windows will not recreate a hidden file through an open that does not
// name the attribute; emptying it must still work.
TEST(ZipStreamFile, TruncateEmptiesAHiddenFile) {
  TempDir dir;
  writeBytes(dir.path() / "h.bin", bytesOf("older and longer content"));
#ifdef _WIN32
  SetFileAttributesW((dir.path() / "h.bin").c_str(), FILE_ATTRIBUTE_HIDDEN);
#endif
  auto s = fileStream(dir.wide("h.bin"), ZipStream::kOpenAlways);
  s->Truncate();
  EXPECT_EQ(s->Write("new", 3), 0);
  s.reset();
  EXPECT_EQ(readBytes(dir.path() / "h.bin"), bytesOf("new"));
}

TEST(ZipStreamFile, VanishedFileFailsReadsAndQueriesButNotSeekOrSize) {
  TempDir dir;
  writeBytes(dir.path() / "v.bin", bytesOf("0123456789"));
  auto s = fileStream(dir.wide("v.bin"), ZipStream::kOpenExisting, Form::Volume);
  s->Seek(3);
  // An open file stays readable; a closed one is looked up again.
  s->Close();
  fs::remove(dir.path() / "v.bin");
  s->Seek(7);
  EXPECT_EQ(s->Position(), 3u);
  EXPECT_EQ(s->Size(), 0u);
  uint64_t size = 99;
  EXPECT_EQ(s->SizeQuery(size), 1);
  EXPECT_EQ(size, 99u);
  char out[4];
  EXPECT_EQ(s->Read(out, 4), 1);
  EXPECT_EQ(s->Position(), 3u);
  auto data = bytesOf("x");
  EXPECT_EQ(s->Write(data.data(), 1), 1);
}

TEST(ZipStreamFile, DeleteOnCloseRemovesOnlyAFileBackedStreamsFile) {
  TempDir dir;
  { auto s = fileStream(dir.wide("keep.bin"), ZipStream::kOpenAlways); }
  EXPECT_TRUE(fs::exists(dir.path() / "keep.bin"));
  {
    auto s = fileStream(dir.wide("gone.bin"), ZipStream::kOpenAlways);
    s->SetDeleteOnClose(true);
  }
  EXPECT_FALSE(fs::exists(dir.path() / "gone.bin"));
  {
    // A memory stream whose name was refused deletes nothing.
    writeBytes(dir.path() / "other.bin", bytesOf("x"));
    ZipStream s;
    s.SetOpenMode(ZipStream::kOpenExisting);
    s.SetFileName(dir.wide("missing.bin"), Form::Output);
    s.SetDeleteOnClose(true);
  }
  EXPECT_TRUE(fs::exists(dir.path() / "other.bin"));
}

TEST(ZipStreamFile, NamesTheAnsiCodePageCannotHoldAreKept) {
  TempDir dir;
  const std::string name = "\xE6\x97\xA5\xE6\x9C\xAC-\xF0\x9F\x98\x80.bin";
  fs::path file = dir.path() / fs::u8path(name);
  {
    auto s = fileStream(dir.wide(name), ZipStream::kCreateAlways);
    auto data = bytesOf("kept");
    EXPECT_EQ(s->Write(data.data(), 4), 0);
    EXPECT_EQ(readBytes(file), data);
    s->SetDeleteOnClose(true);
  }
  EXPECT_FALSE(fs::exists(file));
  EXPECT_TRUE(fs::is_empty(dir.path()));
}

TEST(ZipStreamFile, RefusesNamesLongerThanThePathBuffer) {
  TempDir dir;
  std::u16string longName = dir.wide() + u"/" + std::u16string(33000, u'n');
  ZipStream s;
  EXPECT_EQ(s.SetFileName(longName, Form::Output), 1);
  EXPECT_FALSE(s.IsFileBacked());
}

TEST(ZipStreamFile, FolderCannotBeOpenedAsAFile) {
  TempDir dir;
  fs::create_directories(dir.path() / "sub");
  ZipStream s;
  EXPECT_EQ(s.SetFileName(dir.wide("sub"), Form::Output), 1);
}

TEST(ZipStreamFile, CreateNewMakesAMissingFileAndRefusesAnExistingOne) {
  TempDir dir;
  writeBytes(dir.path() / "old.bin", bytesOf("kept"));
  ZipStream s;
  s.SetOpenMode(ZipStream::kCreateNew);
  EXPECT_EQ(s.SetFileName(dir.wide("old.bin"), Form::Output), 1);
  EXPECT_FALSE(s.IsFileBacked());
  EXPECT_EQ(readBytes(dir.path() / "old.bin"), bytesOf("kept"));
  EXPECT_EQ(s.SetFileName(dir.wide("new.bin"), Form::Output), 0);
  // Just created: emptying it again and writing through the same handle.
  s.Truncate();
  EXPECT_EQ(s.Write("fresh", 5), 0);
  EXPECT_EQ(s.Size(), 5u);
  EXPECT_EQ(readBytes(dir.path() / "new.bin"), bytesOf("fresh"));
}

// Small reads come from a read-ahead block: every read, wherever it starts
// and ends against the block and the end of the file, must give the file's
// bytes and leave the bytes past the end alone.
TEST(ZipStreamFile, SmallReadsGiveTheFilesBytesAcrossBlocksAndTheEnd) {
  TempDir dir;
  std::vector<uint8_t> data(200000);
  for (size_t i = 0; i < data.size(); i++) data[i] = static_cast<uint8_t>(i * 7 + (i >> 9));
  writeBytes(dir.path() / "r.bin", data);
  auto s = fileStream(dir.wide("r.bin"), ZipStream::kOpenExisting, Form::Volume);
  struct Case {
    uint64_t at;
    uint32_t count;
  };
  const Case cases[] = {{0, 30},         {30, 1000},     {65530, 12},  {65536, 30000},
                        {100, 32768},    {10, 20},       {199990, 30}, {200000, 4},
                        {131000, 40000}, {196608, 3392}, {5, 1 << 17}, {199999, 1}};
  for (const Case& c : cases) {
    std::vector<uint8_t> out(c.count, 0xEE);
    s->Seek(static_cast<int64_t>(c.at));
    EXPECT_EQ(s->Read(out.data(), c.count), 0);
    EXPECT_EQ(s->Position(), c.at + c.count);
    for (uint32_t i = 0; i < c.count; i++) {
      uint8_t expected = c.at + i < data.size() ? data[c.at + i] : 0xEE;
      if (out[i] != expected) {
        ADD_FAILURE() << "read of " << c.count << " at " << c.at << " differs at " << i;
        break;
      }
    }
  }
}

TEST(ZipStreamFile, ReadsSeeTheStreamsOwnWritesAndTheFileAfterClose) {
  TempDir dir;
  auto s = fileStream(dir.wide("w.bin"), ZipStream::kCreateAlways);
  s->Write("abcdefgh", 8);
  char out[4] = {};
  s->Seek(2);
  s->Read(out, 4);
  EXPECT_EQ(std::string(out, 4), "cdef");
  s->Seek(3);
  s->Write("XY", 2);
  s->Seek(2);
  s->Read(out, 4);
  EXPECT_EQ(std::string(out, 4), "cXYf");

  // A disk exchanged while the stream was closed: the next read opens the
  // file that is there now.
  s->Close();
  fs::remove(dir.path() / "w.bin");
  writeBytes(dir.path() / "w.bin", bytesOf("0123456789"));
  EXPECT_EQ(s->Size(), 10u);
  s->Seek(6);
  s->Read(out, 4);
  EXPECT_EQ(std::string(out, 4), "6789");
}

TEST(ZipStreamFile, LastWriteTimeSetThroughTheHandleOutlivesTheClose) {
  TempDir dir;
  // 2001-02-03 04:05:06 UTC in 100-ns intervals since 1601.
  constexpr uint64_t kTime = 126256467060000000ull;
  constexpr int64_t kUnixSeconds = 981173106;
  auto unixSeconds = [](const fs::path& p) {
    auto since = fs::last_write_time(p) - fs::file_time_type::clock::now();
    auto now = std::chrono::system_clock::now();
    return std::chrono::duration_cast<std::chrono::seconds>(
               (now + std::chrono::duration_cast<std::chrono::system_clock::duration>(since))
                   .time_since_epoch())
        .count();
  };
  {
    auto s = fileStream(dir.wide("t.bin"), ZipStream::kCreateNew);
    s->Write("data", 4);
    EXPECT_EQ(s->SetLastWriteTime(kTime), 0);
  }
  EXPECT_NEAR(unixSeconds(dir.path() / "t.bin"), kUnixSeconds, 2);
  {
    // A stream that has only read its file sets the time by name.
    auto s = fileStream(dir.wide("t.bin"), ZipStream::kOpenExisting);
    char out[4];
    s->Read(out, 4);
    EXPECT_EQ(s->SetLastWriteTime(kTime + 20000000), 0);
  }
  EXPECT_NEAR(unixSeconds(dir.path() / "t.bin"), kUnixSeconds + 2, 2);
  EXPECT_EQ(readBytes(dir.path() / "t.bin"), bytesOf("data"));
}

}  // namespace
}  // namespace extractor::test
