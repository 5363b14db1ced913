#include <gtest/gtest.h>

#include "installer.h"
#include "options.h"
#include "zip_records.h"

namespace extractor::pack {
namespace {

TEST(PackSizeTest, SuffixesAndLimits) {
  struct Case {
    const char* text;
    std::optional<uint32_t> bytes;
  } cases[] = {
      {"65536", 65536u},           {"1440k", 1440u * 1024},
      {"1440K", 1440u * 1024},     {"700M", 700u << 20},
      {"4095M", 4095u << 20},      {"4096M", std::nullopt},
      {"4294967295", 0xFFFFFFFFu}, {"4294967296", std::nullopt},
      {"", std::nullopt},          {"k", std::nullopt},
      {"12kb", std::nullopt},      {"-5", std::nullopt},
      {"1.5M", std::nullopt},      {"99999999999999999999", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(parseSize(c.text), c.bytes) << c.text;
}

TEST(PackOptionsTest, PasswordFormsAndDefaults) {
  struct Case {
    std::vector<std::string> args;
    std::optional<std::string> password;
    bool asked;
    Encryption encryption;
    std::vector<std::string> inputs;
  } cases[] = {
      {{"-o", "s.exe", "dir"}, std::nullopt, false, Encryption::None, {"dir"}},
      {{"-o", "s.exe", "--password", "pw", "dir"}, "pw", false, Encryption::Aes, {"dir"}},
      {{"-o", "s.exe", "--password=", "dir"}, "", false, Encryption::Aes, {"dir"}},
      {{"-o", "s.exe", "dir", "--password"}, std::nullopt, true, Encryption::Aes, {"dir"}},
      {{"-o", "s.exe", "--password", "--encryption", "traditional", "dir"},
       std::nullopt,
       true,
       Encryption::Traditional,
       {"dir"}},
      {{"--output=s.exe", "--", "--password"},
       std::nullopt,
       false,
       Encryption::None,
       {"--password"}},
  };
  for (const Case& c : cases) {
    std::string problem;
    std::optional<Options> options = parseOptions(c.args, problem);
    ASSERT_TRUE(options) << problem;
    EXPECT_EQ(options->password, c.password);
    EXPECT_EQ(options->askPassword, c.asked);
    EXPECT_EQ(options->encryption, c.encryption);
    EXPECT_EQ(options->inputs, c.inputs);
    EXPECT_EQ(options->output, "s.exe");
  }
}

// Each --method gives its ZIP method number and the version its entries
// need, also under WinZip AES (5.1 at least).
TEST(PackOptionsTest, MethodsByNameAndTheVersionTheyNeed) {
  struct Case {
    const char* name;
    uint16_t number;
    uint16_t version;
  } cases[] = {{"deflate", 8, 20}, {"bzip2", 12, 46}, {"lzma", 14, 63}, {"zstd", 93, 63},
               {"xz", 95, 63}};
  for (const Case& c : cases) {
    std::string problem;
    std::optional<Options> options = parseOptions({"-o", "s.exe", "--method", c.name, "d"}, problem);
    ASSERT_TRUE(options) << c.name << ": " << problem;
    const PackMethod* row = findPackMethod(c.name);
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(options->method, row->method) << c.name;
    EXPECT_EQ(row->number, c.number) << c.name;
    EXPECT_EQ(neededVersion(c.number, c.number), c.version) << c.name;
    EXPECT_EQ(neededVersion(c.number, 99), std::max<uint16_t>(c.version, 51)) << c.name;
  }
  EXPECT_EQ(neededVersion(0, 0), 20);
  std::string problem;
  EXPECT_FALSE(parseOptions({"-o", "s.exe", "--method", "ppmd", "d"}, problem));
  EXPECT_EQ(problem, "--method takes deflate, bzip2, lzma, zstd or xz, not ppmd");
}

TEST(PackOptionsTest, InstallerOptions) {
  std::string problem;
  std::optional<Options> options = parseOptions(
      {"-o", "s.exe", "--title", "Tool", "--question=Go?", "--folder", "%TEMP%\\t", "--overwrite",
       "--run", "bin/a.exe /q", "--temporary", "--auto", "--admin", "dir"},
      problem);
  ASSERT_TRUE(options) << problem;
  const InstallerOptions& i = options->installer;
  EXPECT_EQ(i.title, "Tool");
  EXPECT_EQ(i.question, "Go?");
  EXPECT_EQ(i.folder, "%TEMP%\\t");
  EXPECT_TRUE(i.overwrite && i.temporary && i.autoStart && i.admin);
  EXPECT_EQ(i.run, "bin/a.exe /q");
  EXPECT_EQ(options->inputs, std::vector<std::string>{"dir"});
  EXPECT_EQ(settingsBlock(i),
            "[extractor settings]\r\ntitle=Tool\r\nquestion=Go?\r\nfolder=%TEMP%\\t\r\n"
            "overwrite=yes\r\nrun=bin/a.exe /q\r\ntemporary=yes\r\nauto=yes\r\n"
            "[end of extractor settings]\r\n");
  EXPECT_EQ(settingsBlock(InstallerOptions()), "");  // no block: the output as without them

  for (std::vector<std::string> bad :
       {std::vector<std::string>{"--auto=yes"}, {"--title"}, {"--run="}}) {
    std::vector<std::string> args = {"-o", "s.exe", "dir"};
    args.insert(args.begin() + 2, bad.begin(), bad.end());
    EXPECT_FALSE(parseOptions(args, problem)) << bad[0];
  }
}

}  // namespace
}  // namespace extractor::pack
