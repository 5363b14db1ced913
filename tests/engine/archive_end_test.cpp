#include <gtest/gtest.h>

#include "engine/archive_end.h"
#include "engine/zip.h"
#include "temp_dir.h"
#include "zip_builder.h"

namespace extractor::test {
namespace {

constexpr size_t kOptionalHeader = 64 + 24;  // behind "MZ" header, "PE\0\0" and COFF
constexpr size_t kCertificateEntry = kOptionalHeader + 128;
constexpr size_t kProgramSize = 1024;  // headers, then one section of 512 bytes

// A PE32 program of one section, as a linker lays it out.
std::vector<uint8_t> program() {
  std::vector<uint8_t> p(kProgramSize, 0);
  p[0] = 'M';
  p[1] = 'Z';
  store32(&p[0x3C], 64);
  store32(&p[64], 0x00004550);
  store16(&p[64 + 4], 0x14C);
  store16(&p[64 + 6], 1);     // sections
  store16(&p[64 + 20], 224);  // optional header size
  store16(&p[kOptionalHeader], 0x10B);
  store32(&p[kOptionalHeader + 92], 16);  // data directories
  const size_t section = kOptionalHeader + 224;
  store32(&p[section + 16], 512);  // raw size
  store32(&p[section + 20], 512);  // raw data offset
  p[512] = 0xC3;
  return p;
}

// Signature bytes that hold end records of their own, none of which
// describes a directory.
std::vector<uint8_t> signature(size_t size) {
  std::vector<uint8_t> s(size);
  for (size_t i = 0; i < size; i++) s[i] = static_cast<uint8_t>(i * 31 + 7);
  for (size_t at = 5; at + 22 <= size; at += size / 3 + 1) {
    store32(&s[at], 0x06054b50);
    store16(&s[at + 20], 0);
  }
  return s;
}

void pointCertificateTable(std::vector<uint8_t>& file, uint64_t offset, uint64_t size) {
  store32(&file[kCertificateEntry], static_cast<uint32_t>(offset));
  store32(&file[kCertificateEntry + 4], static_cast<uint32_t>(size));
}

class ArchiveTail : public ::testing::Test {
 protected:
  // Reads the file as the extractor does and checks that the entries'
  // local headers are where it says they are.
  void expectRead(const std::vector<uint8_t>& bytes, size_t entries, uint64_t prefix,
                  const std::string& what) {
    writeBytes(dir.path() / "setup.exe", bytes);
    zip.Reset();
    ASSERT_EQ(zip.ReadDirectory(dir.wide("setup.exe")), 0) << what;
    ASSERT_EQ(zip.entries.size(), entries) << what;
    EXPECT_EQ(zip.prefixBytes, prefix) << what;
    for (const ZipEntry& e : zip.entries) {
      ASSERT_LT(e.localHeaderOffset + 4, bytes.size()) << what;
      EXPECT_EQ(load32(&bytes[e.localHeaderOffset]), 0x04034b50u) << what;
    }
  }

  ArchiveEnd findEnd(const std::vector<uint8_t>& bytes) {
    writeBytes(dir.path() / "tail.bin", bytes);
    ZipStream file;
    file.SetOpenMode(ZipStream::kOpenExisting);
    file.SetFileName(dir.wide("tail.bin"), ZipStream::NameForm::Volume);
    ArchiveEnd end;
    EXPECT_TRUE(FindArchiveEnd(file, bytes.size(), end));
    return end;
  }

  TempDir dir;
  Zip zip;
};

enum class Front { None, Adjusted, NotAdjusted };

// Every tail: the longest comment or none, ZIP64 records or not, a program
// in front with offsets adjusted or not, and a signature behind the
// archive of any size, with end record signatures of its own.
TEST_F(ArchiveTail, EveryTailFindsItsArchive) {
  for (size_t comment : {size_t{0}, size_t{65535}}) {
    for (bool zip64 : {false, true}) {
      for (Front front : {Front::None, Front::Adjusted, Front::NotAdjusted}) {
        for (size_t signed_ : {size_t{0}, size_t{3000}, size_t{120000}}) {
          if (front == Front::None && signed_) continue;
          ZipBuilder b;
          if (front != Front::None) b.prefix = program();
          b.offsetsFromArchiveStart = front == Front::NotAdjusted;
          b.zip64 = zip64;
          b.comment = std::string(comment, 'c');
          b.entries.push_back(storedEntry("a.txt", bytesOf("alpha")));
          b.entries.push_back(storedEntry("b/c.txt", bytesOf("gamma")));
          // Padding to 8 bytes in front of the table, as signing tools add.
          if (signed_) b.afterEndRecord.assign(5, 0);
          std::vector<uint8_t> sig = signature(signed_);
          b.afterEndRecord.insert(b.afterEndRecord.end(), sig.begin(), sig.end());
          std::vector<uint8_t> bytes = b.build();
          if (signed_) pointCertificateTable(bytes, bytes.size() - signed_, signed_);
          std::string what =
              "comment " + std::to_string(comment) + " zip64 " + std::to_string(zip64) + " front " +
              std::to_string(static_cast<int>(front)) + " signature " + std::to_string(signed_);
          expectRead(bytes, 2, front == Front::NotAdjusted ? kProgramSize : 0, what);
          ArchiveEnd end = findEnd(bytes);
          EXPECT_EQ(end.tailEnd, bytes.size() - signed_) << what;
          EXPECT_EQ(end.commentLength, comment) << what;
          EXPECT_EQ(end.zip64, zip64) << what;
        }
      }
    }
  }
}

// A certificate table entry counts only when the table takes the file's
// last bytes behind the program; otherwise the tail is the file's end.
TEST_F(ArchiveTail, CertificateTablesThatAreNoSignatureBehindTheArchive) {
  ZipBuilder b;
  b.prefix = program();
  b.entries.push_back(storedEntry("a.txt", bytesOf("alpha")));
  const std::vector<uint8_t> archive = b.build();
  const uint64_t total = archive.size() + 300;
  struct Case {
    const char* what;
    uint64_t offset;
    uint64_t size;
    bool counts;
  } cases[] = {
      {"the signature at the end", total - 300, 300, true},
      {"past the end", total - 300, 301, false},
      {"ends before the end", total - 300, 299, false},
      {"empty", total, 0, false},
      {"starts in the section", 700, total - 700, false},
      {"starts in the headers", 100, total - 100, false},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> bytes = archive;
    bytes.resize(total, 0);
    pointCertificateTable(bytes, c.offset, c.size);
    EXPECT_EQ(findEnd(bytes).tailEnd, c.counts ? archive.size() : total) << c.what;
  }

  // A program signed before its archive was appended: the table lies in
  // front of the archive, which is read from the file's end.
  ZipBuilder signedFirst = b;
  signedFirst.prefix.resize(kProgramSize + 2000, 0x55);
  std::vector<uint8_t> bytes = signedFirst.build();
  pointCertificateTable(bytes, kProgramSize, 2000);
  expectRead(bytes, 1, 0, "signed before appending");
  EXPECT_EQ(findEnd(bytes).tailEnd, bytes.size());
}

// Records whose directory does not check out (one in the comment, ones in
// a signature the table entry does not mark, a copy of the real record,
// which puts the directory where it is not) are passed over, and so are
// empty archives above one with entries. Of those that do, the one nearest
// the end counts: an archive in the comment is the one read.
TEST_F(ArchiveTail, WhichRecordCounts) {
  ZipBuilder b;
  b.entries.push_back(storedEntry("real.txt", bytesOf("r")));
  const std::vector<uint8_t> plain = b.build();
  std::vector<uint8_t> empty(22, 0);
  store32(&empty[0], 0x06054b50);
  std::vector<uint8_t> pastTheEnd = empty;
  store16(&pastTheEnd[10], 1);
  store32(&pastTheEnd[16], 0x7FFFFFFF);
  ZipBuilder innerBuilder;
  innerBuilder.entries.push_back(storedEntry("inner.txt", bytesOf("i")));
  const std::vector<uint8_t> inner = innerBuilder.build();
  struct Case {
    const char* what;
    std::vector<uint8_t> comment;
    std::vector<uint8_t> behind;  // bytes behind the comment
    bool innerCounts;
  } cases[] = {
      {"a directory past the end", pastTheEnd, {}, false},
      {"an empty archive in the comment", empty, {}, false},
      {"an empty archive behind the comment", {}, empty, false},
      {"signature bytes behind", {}, signature(60000), false},
      {"a copy of the real record behind",
       {},
       std::vector<uint8_t>(plain.end() - 22, plain.end()),
       false},
      {"an archive in the comment", inner, {}, true},
  };
  for (const Case& c : cases) {
    ZipBuilder k = b;
    k.comment.assign(c.comment.begin(), c.comment.end());
    k.afterEndRecord = c.behind;
    std::vector<uint8_t> bytes = k.build();
    const uint64_t record = c.innerCounts ? bytes.size() - 22 : plain.size() - 22;
    EXPECT_EQ(findEnd(bytes).recordAt, record) << c.what;
    expectRead(bytes, 1, c.innerCounts ? plain.size() : 0, c.what);
    if (zip.entries.size() == 1) {
      EXPECT_EQ(zip.entries[0].fileName, c.innerCounts ? u"inner.txt" : u"real.txt") << c.what;
    }
  }
}

}  // namespace
}  // namespace extractor::test
