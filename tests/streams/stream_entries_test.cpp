// bzip2 and LZMA entries through the whole pipeline: several passes of
// input and output, encryption applied before decoding, and bad or cut data
// ending the entry with 13001 and no file.
#include <gtest/gtest.h>

#include "entry_crypto.h"
#include "extract_fixture.h"
#include "reference_codecs.h"

namespace extractor::test {
namespace {

using testing::Bytes;

constexpr char16_t kNotZip[] = u"The file is not identified as a compliant zip file";

BuiltEntry compressedEntry(const std::string& name, const Bytes& content, uint16_t method,
                           bool endMarker = true) {
  BuiltEntry e = storedEntry(name, content);
  e.method = method;
  if (method == 12) {
    e.data = testing::bzip2Compress(content, 9);
  } else {
    e.data = testing::lzmaCompress(content, {6, endMarker});
    if (endMarker) e.flags |= 2;
  }
  e.compressedSize = static_cast<uint32_t>(e.data.size());
  return e;
}

class StreamEntries : public ExtractTest {};

TEST_F(StreamEntries, LargeEntriesDecodeOverManyPasses) {
  // Output far beyond one output area, and input of random data beyond
  // one input buffer; then encrypted entries.
  const Bytes runs = testing::runBytes(6000000, 1);
  const Bytes random = testing::randomBytes(2500000, 2);
  ZipBuilder b;
  b.entries.push_back(compressedEntry("runs.bz2", runs, 12));
  b.entries.push_back(compressedEntry("random.bz2", random, 12));
  b.entries.push_back(compressedEntry("runs.lzma", runs, 14));
  b.entries.push_back(compressedEntry("random.lzma", random, 14, false));
  BuiltEntry traditional = compressedEntry("traditional.bz2", runs, 12);
  encryptTraditional(traditional, "pw");
  b.entries.push_back(traditional);
  BuiltEntry aes = compressedEntry("aes.lzma", random, 14);
  encryptAes(aes, "pw", 4);
  b.entries.push_back(aes);
  ASSERT_EQ(extract(b, false, u"pw"), 0);
  EXPECT_EQ(window.warningsDialogs, 0);
  for (const char* name : {"runs.bz2", "runs.lzma", "traditional.bz2"}) {
    EXPECT_TRUE(extracted(name) == runs) << name;
  }
  for (const char* name : {"random.bz2", "random.lzma", "aes.lzma"}) {
    EXPECT_TRUE(extracted(name) == random) << name;
  }
}

// A run keeps one stream decoder while the method stays and makes another
// when it changes: entries of alternating methods, and of one method in a
// row, each start from a clean decoder.
TEST_F(StreamEntries, EntriesOfChangingMethodsInOneRun) {
  const uint16_t methods[] = {12, 12, 14, 0, 14, 14, 12, 14};
  ZipBuilder b;
  std::vector<Bytes> contents;
  for (size_t i = 0; i < std::size(methods); ++i) {
    contents.push_back(testing::textBytes(20000 + 7000 * i, static_cast<uint32_t>(i)));
    const std::string name = "f" + std::to_string(i);
    b.entries.push_back(methods[i] ? compressedEntry(name, contents[i], methods[i], i % 2 == 0)
                                   : storedEntry(name, contents[i]));
  }
  ASSERT_EQ(extract(b), 0);
  EXPECT_EQ(window.warningsDialogs, 0);
  for (size_t i = 0; i < std::size(methods); ++i) {
    EXPECT_TRUE(extracted("f" + std::to_string(i)) == contents[i]) << i;
  }
}

TEST_F(StreamEntries, BadOrCutDataFailsAndRemovesThePartialFile) {
  const Bytes content = testing::textBytes(3000000, 3);
  struct Case {
    uint16_t method;
    bool cut;  // else damaged
  } cases[] = {{12, true}, {12, false}, {14, true}, {14, false}};
  for (const Case& c : cases) {
    zip.Reset();
    std::filesystem::remove_all(dir.path() / "out");
    BuiltEntry e = compressedEntry("bad.bin", content, c.method);
    if (c.cut) {
      e.data.resize(e.data.size() * 2 / 3);
      e.compressedSize = static_cast<uint32_t>(e.data.size());
    } else {
      e.data[c.method == 12 ? 60 : 4] ^= 0x40;  // a code length; lc/lp/pb out of range
    }
    ZipBuilder b;
    b.entries.push_back(e);
    EXPECT_EQ(extract(b), -1) << c.method << c.cut;
    EXPECT_EQ(zip.lastErrorText, kNotZip) << c.method << c.cut;
    EXPECT_FALSE(std::filesystem::exists(out("bad.bin"))) << c.method << c.cut;
  }
}

}  // namespace
}  // namespace extractor::test
