// The command line of extractor-pack.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "pack_methods.h"

namespace extractor::pack {

extern const char kUsage[];

// Aes is WinZip AES, which other ZIP tools read too; LegacyAes the
// extractor's own block scheme, which only the extractor reads.
enum class Encryption { None, Traditional, Aes, LegacyAes };

// What the packed file does when it runs: the settings block behind the
// program, and the manifest's execution level.
struct InstallerOptions {
  std::string title;       // --title: the window's caption
  std::string question;    // --question: asked with Yes and No first
  std::string folder;      // --folder: the default destination, %NAME% expanded
  bool overwrite = false;  // --overwrite: the check box starts checked
  std::string run;         // --run "PROGRAM ARGS", PROGRAM a file of the archive
  bool temporary = false;  // --temporary: a fresh folder under TEMP, removed after --run
  bool autoStart = false;  // --auto: extract at once, close after success
  bool admin = false;      // --admin: the manifest asks for administrator rights
};

struct Options {
  bool help = false;
  std::string output;
  std::vector<std::string> inputs;
  int level = 6;
  Method method = Method::Deflate;
  Encryption encryption = Encryption::None;
  int aesKind = 4;  // --aes-kind, legacy AES only
  bool aesKindGiven = false;
  int aesStrength = 3;  // WinZip AES: 1, 2, 3 for 128, 192, 256 bits
  bool aesStrengthGiven = false;
  std::optional<std::string> password;
  bool askPassword = false;  // --password without a value
  std::string fromZip;
  uint32_t splitSize = 0;  // --split: bytes per volume file
  uint32_t diskSize = 0;   // --disks: bytes per disk
  std::string stub;        // empty: extractor.exe beside the packer
  unsigned workers = 0;    // files compressed at once; 0: one per processor
  InstallerOptions installer;
};

// The smallest volume: room for any entry's headers and a few blocks.
constexpr uint32_t kSmallestVolume = 64 * 1024;

// args are the UTF-8 arguments after the program name. Absent, with problem
// saying why, when they form no command line.
std::optional<Options> parseOptions(const std::vector<std::string>& args, std::string& problem);

// What the chosen encryption lacks, for the user to read before relying on
// it; absent for the recommended choices.
std::optional<std::string> encryptionWarning(const Options& options);

// "1440k", "100M", "65536": bytes; absent when the text is no size or the
// size is 4 GiB or more.
std::optional<uint32_t> parseSize(const std::string& text);

}  // namespace extractor::pack
