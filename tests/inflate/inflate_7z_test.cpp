// Deflate64 against 7z, a decoder and encoder written apart from this one:
// the streams 7z writes decode in both decoders, call by call alike, to 7z's
// input; the streams the test writer makes, long lengths included, extract
// through 7z to the bytes they were written to hold.
#include <gtest/gtest.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include "deflate_writer.h"
#include "dual_decoder.h"

namespace extractor::testing {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

constexpr uint16_t kMethodDeflate64 = 9;

// True when the shell command succeeds; its error output is dropped.
bool run(const std::string& command) {
  return std::system((command + " 2>/dev/null").c_str()) == 0;
}

class Scratch {
 public:
  Scratch() : dir_(fs::temp_directory_path() / ("inflate-7z-" + std::to_string(getpid()))) {
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  ~Scratch() { fs::remove_all(dir_); }
  std::string path(const std::string& name) const { return (dir_ / name).string(); }

 private:
  fs::path dir_;
};

void writeFile(const std::string& path, const Bytes& bytes) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
}

Bytes readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

uint32_t load(const Bytes& b, size_t at, unsigned size) {
  uint32_t v = 0;
  for (unsigned i = size; i-- > 0;) v = v << 8 | b.at(at + i);
  return v;
}

void store(Bytes& b, uint32_t value, unsigned size) {
  for (unsigned i = 0; i < size; ++i) b.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

// The method and data of an archive's first entry, found from its local
// header, which 7z writes with the sizes when it writes to a file.
struct RawEntry {
  uint16_t method = 0;
  Bytes data;
};

RawEntry firstEntry(const Bytes& zip) {
  RawEntry entry;
  if (zip.size() < 30 || load(zip, 0, 4) != 0x04034b50) return entry;
  entry.method = static_cast<uint16_t>(load(zip, 8, 2));
  const size_t start = 30 + load(zip, 26, 2) + load(zip, 28, 2);
  const size_t size = load(zip, 18, 4);
  if (start + size > zip.size()) return entry;
  entry.data.assign(zip.begin() + start, zip.begin() + start + size);
  return entry;
}

// An archive of one entry, "data.bin", holding the given compressed data.
Bytes zipOfOne(uint16_t method, const Bytes& compressed, const Bytes& original) {
  const uint32_t crc =
      static_cast<uint32_t>(crc32(0, original.data(), static_cast<uInt>(original.size())));
  const std::string name = "data.bin";
  auto common = [&](Bytes& b) {
    store(b, 20, 2);  // version needed: 2.0
    store(b, 0, 2);   // flags
    store(b, method, 2);
    store(b, 0, 4);  // time and date
    store(b, crc, 4);
    store(b, static_cast<uint32_t>(compressed.size()), 4);
    store(b, static_cast<uint32_t>(original.size()), 4);
    store(b, static_cast<uint32_t>(name.size()), 2);
    store(b, 0, 2);  // extra field
  };
  Bytes zip;
  store(zip, 0x04034b50, 4);
  common(zip);
  zip.insert(zip.end(), name.begin(), name.end());
  zip.insert(zip.end(), compressed.begin(), compressed.end());
  const uint32_t directoryStart = static_cast<uint32_t>(zip.size());
  store(zip, 0x02014b50, 4);
  store(zip, 20, 2);  // made by
  common(zip);
  store(zip, 0, 2);  // comment
  store(zip, 0, 2);  // disk
  store(zip, 0, 2);  // internal attributes
  store(zip, 0, 4);  // external attributes
  store(zip, 0, 4);  // local header offset
  zip.insert(zip.end(), name.begin(), name.end());
  const uint32_t directorySize = static_cast<uint32_t>(zip.size()) - directoryStart;
  store(zip, 0x06054b50, 4);
  store(zip, 0, 4);  // disk numbers
  store(zip, 1, 2);
  store(zip, 1, 2);
  store(zip, directorySize, 4);
  store(zip, directoryStart, 4);
  store(zip, 0, 2);
  return zip;
}

// Inputs for 7z's encoder that between them give every block type,
// distances beyond deflate's window and matches of all lengths.
std::vector<std::pair<std::string, Bytes>> inputs() {
  std::mt19937 rng(77);
  auto randomBytes = [&](size_t n) {
    Bytes b(n);
    for (auto& x : b) x = static_cast<uint8_t>(rng());
    return b;
  };
  std::vector<std::pair<std::string, Bytes>> list;
  std::string text;
  static const char* const kWords[] = {"window", "length", "distance", "block", "the", "of"};
  while (text.size() < 1500000) text += std::string(kWords[rng() % 6]) + (rng() % 7 ? " " : "\n");
  list.push_back({"text", Bytes(text.begin(), text.end())});
  // Short enough for a fixed block.
  const std::string line =
      "the window and the length of the block and the distance of the window\n";
  list.push_back({"short", Bytes(line.begin(), line.end())});
  // Random bytes between text, which 7z stores in blocks of their own.
  Bytes mixed(text.begin(), text.begin() + 100000);
  const Bytes noise = randomBytes(200000);
  mixed.insert(mixed.end(), noise.begin(), noise.end());
  mixed.insert(mixed.end(), text.begin(), text.begin() + 100000);
  list.push_back({"mixed", mixed});
  // Random blocks that repeat only from 40000 to 65000 bytes back.
  Bytes far;
  for (unsigned round = 0; round < 12; ++round) {
    Bytes block = randomBytes(20000 + rng() % 25000);
    Bytes gap = randomBytes(20000 + rng() % 20000 - block.size() % 5);
    far.insert(far.end(), block.begin(), block.end());
    far.insert(far.end(), gap.begin(), gap.end());
    far.insert(far.end(), block.begin(), block.end());
  }
  list.push_back({"far", far});
  Bytes runs(1500000, 0);
  for (size_t i = 0; i < runs.size(); i += 1 + rng() % 100000)
    runs[i] = static_cast<uint8_t>(rng());
  list.push_back({"runs", runs});
  return list;
}

class Deflate64With7z : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!run("7z i >/dev/null")) GTEST_SKIP() << "7z is not installed";
  }
  Scratch scratch_;
};

TEST_F(Deflate64With7z, StreamsOf7zDecode) {
  reference::Coverage seen;
  for (const auto& [name, data] : inputs()) {
    for (int level : {1, 9}) {
      const std::string file = scratch_.path(name), zip = scratch_.path(name + ".zip");
      writeFile(file, data);
      fs::remove(zip);
      ASSERT_TRUE(run("7z a -tzip -mm=Deflate64 -mx=" + std::to_string(level) + " " + zip + " " +
                      file + " >/dev/null"));
      const RawEntry entry = firstEntry(readFile(zip));
      ASSERT_EQ(kMethodDeflate64, entry.method) << name;
      // A buffer as the pipeline has, cut into passes by chunks of two sizes.
      for (uint32_t chunk : {65536u + 4093u, 1u << 20}) {
        DriveResult r =
            drivePipeline(entry.data, (1u << 20) + 2048, chunk, InflateFormat::kDeflate64);
        ASSERT_TRUE(r.agreed) << name << " level " << level << ": " << r.mismatch;
        ASSERT_EQ(zipErrNone, r.error) << name;
        ASSERT_TRUE(r.output == data) << name << " level " << level << " chunk " << chunk;
        for (unsigned type = 0; type < 3; ++type) seen.blocks[type] += r.seen.blocks[type];
        seen.farthestDistance = std::max(seen.farthestDistance, r.seen.farthestDistance);
      }
    }
  }
  EXPECT_GT(seen.blocks[0], 0u) << "stored blocks";
  EXPECT_GT(seen.blocks[1], 0u) << "fixed blocks";
  EXPECT_GT(seen.blocks[2], 0u) << "dynamic blocks";
  EXPECT_GT(seen.farthestDistance, 49152u) << "distance code 31";
}

// 7z's encoder never writes lengths beyond 258; the writer does.
TEST_F(Deflate64With7z, WrittenStreamsExtractThrough7z) {
  unsigned longLengths = 0;
  for (unsigned seed = 0; seed < 12; ++seed) {
    std::mt19937 rng(9000 + seed);
    GeneratedStream s = randomStream(rng, 2 + seed % 5, 2000, InflateFormat::kDeflate64, true);
    DriveResult r = driveWhole(s.bytes, 1u << 20, InflateFormat::kDeflate64);
    ASSERT_TRUE(r.agreed) << seed << ": " << r.mismatch;
    ASSERT_TRUE(r.output == s.output) << seed;
    longLengths += r.seen.longestLength > 258;

    const std::string zip = scratch_.path("written.zip"), out = scratch_.path("out.bin");
    writeFile(zip, zipOfOne(kMethodDeflate64, s.bytes, s.output));
    ASSERT_TRUE(run("7z x -so " + zip + " > " + out)) << "seed " << seed;
    ASSERT_TRUE(readFile(out) == s.output) << "seed " << seed;
  }
  EXPECT_GT(longLengths, 6u);
}

}  // namespace
}  // namespace extractor::testing
