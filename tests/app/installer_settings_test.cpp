// The settings block a self-extracting file carries, and the switches of
// the program's command line: one table each.
#include <gtest/gtest.h>

#include <string>

#include "app/installer_text.h"
#include "engine/install_settings.h"
#include "engine/utf8.h"

namespace extractor {
namespace {

const std::string kOpen = "[extractor settings]\r\n";
const std::string kClose = "[end of extractor settings]\r\n";
// What follows the block in a real file: the archive.
const std::string kArchive = std::string("PK\x03\x04", 4) + "\n[end of extractor settings]\n";

struct SettingsCase {
  const char* what;
  std::string bytes;
  bool parses;
  std::string problem;  // for a block that does not parse
};

TEST(InstallSettings, Table) {
  const SettingsCase cases[] = {
      {"no block: the archive right behind the program", kArchive, true, ""},
      {"nothing behind the program", "", true, ""},
      {"marker not at the start", "x" + kOpen + kClose, true, ""},
      {"empty block", kOpen + kClose + kArchive, true, ""},
      {"every key",
       kOpen +
           "title=Tool Setup\r\nquestion=Install?\r\nfolder=%TEMP%\\x\r\n"
           "overwrite=yes\r\nrun=bin/setup.exe /q\r\ntemporary=yes\r\nauto=yes\r\n" +
           kClose + kArchive,
       true, ""},
      {"line feeds only, byte-order mark, remarks and blank lines",
       "\xEF\xBB\xBF[extractor settings]\n; a remark\n\ntitle=T\n[end of extractor settings]\n",
       true, ""},
      {"unknown key", kOpen + "title=T\r\ntitel=T\r\n" + kClose, false, "line 3: unknown key"},
      {"no equals sign", kOpen + "title\r\n" + kClose, false, "line 2: no key=value"},
      {"key twice", kOpen + "auto=yes\r\nauto=no\r\n" + kClose, false,
       "line 3: the key is given twice"},
      {"empty value", kOpen + "title=\r\n" + kClose, false, "line 2: bad value"},
      {"control character",
       kOpen +
           "title=a\x01"
           "b\r\n" +
           kClose,
       false, "line 2: bad value"},
      {"malformed UTF-8", kOpen + "title=\xC3(\r\n" + kClose, false, "line 2: bad value"},
      {"flag not yes or no", kOpen + "overwrite=true\r\n" + kClose, false,
       "line 2: the value is yes or no"},
      {"run with ..", kOpen + "run=../evil.exe\r\n" + kClose, false,
       "line 2: the program to run must lie inside the destination"},
      {"run absolute", kOpen + "run=C:\\Windows\\x.exe\r\n" + kClose, false,
       "line 2: the program to run must lie inside the destination"},
      {"run from the root", kOpen + "run=\\x.exe\r\n" + kClose, false,
       "line 2: the program to run must lie inside the destination"},
      {"run a folder", kOpen + "run=bin/ x\r\n" + kClose, false,
       "line 2: the program to run must lie inside the destination"},
      {"temporary without run", kOpen + "title=T\r\ntemporary=yes\r\n" + kClose, false,
       "line 3: the temporary mode needs a program to run"},
      {"no closing marker", kOpen + "title=T\r\n" + std::string("PK\x03\x04", 4), false,
       "line 3: no closing line [end of extractor settings] in the first 8192 bytes"},
      {"closing marker past the limit", kOpen + std::string(8200, ';') + "\n" + kClose, false,
       "line 2: no closing line [end of extractor settings] in the first 8192 bytes"},
  };
  for (const SettingsCase& c : cases) {
    InstallSettings settings;
    std::u16string problem;
    EXPECT_EQ(ParseInstallSettings(c.bytes, settings, problem), c.parses) << c.what;
    EXPECT_EQ(encodeUtf8(problem), c.problem) << c.what;
  }
}

TEST(InstallSettings, EveryKeyReadsItsValue) {
  InstallSettings s;
  std::u16string problem;
  ASSERT_TRUE(ParseInstallSettings(kOpen +
                                       "title=T \xC3\xA9\r\nquestion=Q?\r\nfolder=%TEMP%\\x\r\n"
                                       "overwrite=yes\r\nrun=\"my app/setup.exe\" /q x\r\n"
                                       "temporary=no\r\nauto=yes\r\n" +
                                       kClose,
                                   s, problem));
  EXPECT_TRUE(s.present);
  EXPECT_EQ(s.title, u"T \u00e9");
  EXPECT_EQ(s.question, u"Q?");
  EXPECT_EQ(s.folder, u"%TEMP%\\x");
  EXPECT_TRUE(s.overwrite);
  EXPECT_EQ(s.run, u"\"my app/setup.exe\" /q x");
  EXPECT_FALSE(s.temporary);
  EXPECT_TRUE(s.autoStart);
  std::u16string program, args;
  SplitRunCommand(s.run, program, args);
  EXPECT_EQ(program, u"my app/setup.exe");
  EXPECT_EQ(args, u"/q x");
}

TEST(ProgramImageEnd, EndsBehindTheLastSectionsRawData) {
  std::string file(0x400, '\0');
  file[0] = 'M';
  file[1] = 'Z';
  file[0x3C] = 0x80;
  file.replace(0x80, 4, std::string("PE\0\0", 4));
  file[0x80 + 6] = 2;      // two sections
  file[0x80 + 20] = 0xF0;  // optional header size
  const size_t table = 0x80 + 24 + 0xF0;
  auto section = [&](size_t i, uint32_t rawSize, uint32_t rawAt) {
    for (int b = 0; b < 4; b++) {
      file[table + 40 * i + 16 + b] = static_cast<char>(rawSize >> (8 * b));
      file[table + 40 * i + 20 + b] = static_cast<char>(rawAt >> (8 * b));
    }
  };
  section(0, 0x2000, 0x400);
  section(1, 0x200, 0x2400);
  EXPECT_EQ(ProgramImageEnd(file), 0x2600u);
  section(1, 0, 0x9000);  // no raw data: occupies nothing in the file
  EXPECT_EQ(ProgramImageEnd(file), 0x2400u);
  EXPECT_EQ(ProgramImageEnd(file.substr(0, table + 40)), 0u);  // section table cut off
  EXPECT_EQ(ProgramImageEnd("\x7F"
                            "ELF"),
            0u);
}

}  // namespace

namespace app {
namespace {

struct SwitchCase {
  const char16_t* tail;
  bool silent, help;
  const char16_t* folder;  // null: no /D
};

TEST(Switches, Table) {
  const SwitchCase cases[] = {
      {u"", false, false, nullptr},
      {u"/S", true, false, nullptr},
      {u"/s", false, false, nullptr},  // ignored, as always
      {u"-S", false, false, nullptr},
      {u"/?", false, true, nullptr},
      {u"/Silent /SS S x", false, false, nullptr},  // words that are no switch
      {u"/S /D=C:\\Program Files\\My Tool", true, false, u"C:\\Program Files\\My Tool"},
      {u"/D=C:\\a b /S", false, false, u"C:\\a b /S"},  // /D takes the rest
      {u"/D=x  ", false, false, u"x"},
      {u"/d=x", false, false, nullptr},
      {u" /s -d \"c:\\else where\" /overwrite", false, false, nullptr},
      {u"\"/D=C:\\a b\"", false, false, u"C:\\a b"},
      {u"/D=\"C:\\a b\"", false, false, u"C:\\a b"},
      {u"/D=", false, false, nullptr},
      {u"\"/S\" extra", true, false, nullptr},
  };
  for (const SwitchCase& c : cases) {
    Switches s = ParseSwitches(c.tail);
    std::string shown = encodeUtf8(c.tail);
    EXPECT_EQ(s.silent, c.silent) << shown;
    EXPECT_EQ(s.help, c.help) << shown;
    EXPECT_EQ(s.folderGiven, c.folder != nullptr) << shown;
    if (c.folder) {
      EXPECT_EQ(s.folder, c.folder) << shown;
    }
  }
}

TEST(ExitCodes, KeptApartFromProgramCodes) {
  struct Case {
    int32_t result;
    bool stopped, warnings;
    uint32_t code;
  };
  const Case cases[] = {
      {0, false, false, 0},
      {0, false, true, kExitWarnings},
      {-1, false, false, kExitFailed},
      {-1, true, false, kExitCancelled},
      {-1, false, true, kExitFailed},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ExtractionExitCode(c.result, c.stopped, c.warnings), c.code);
  }
  for (uint32_t own :
       {kExitBadSettings, kExitFailed, kExitWarnings, kExitCancelled, kExitRunFailed}) {
    EXPECT_EQ(own & 0xE0000000u, 0x20000000u);  // the application-defined bit, no error bits
  }
  EXPECT_EQ(RunCommandLine(u"C:\\d\\bin\\setup.exe", u"/q"), u"\"C:\\d\\bin\\setup.exe\" /q");
  EXPECT_EQ(JoinBelow(u"C:\\d\\", u"bin/a.exe"), u"C:\\d\\bin\\a.exe");
  EXPECT_EQ(JoinBelow(u"C:\\d", u"a.exe"), u"C:\\d\\a.exe");
}

}  // namespace
}  // namespace app
}  // namespace extractor
