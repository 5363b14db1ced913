// Writes a self-extracting file: a program followed by an archive whose
// offsets count the program's bytes, with entries in any of the formats the
// extractor reads, including its own AES entries, which no other tool writes.
//
// usage: make_sfx OUTPUT PROGRAM [OPTION | ENTRY]...
//   ENTRY    NAME=FILE (the file's bytes) or NAME/ (a folder)
//   options apply to the entries after them:
//   --stored | --deflated              method (default deflated)
//   --plain | --traditional PASSWORD | --aes KIND PASSWORD

#include <cstdio>
#include <cstdlib>
#include <string>

#include "entry_crypto.h"
#include "temp_dir.h"
#include "zip_builder.h"

using namespace extractor::test;

namespace {

struct EntryFormat {
  bool deflated = true;
  int aesKind = 0;  // 0: not AES
  bool traditional = false;
  std::string password;
};

BuiltEntry makeEntry(const std::string& argument, const EntryFormat& format) {
  size_t equals = argument.find('=');
  if (equals == std::string::npos) return storedEntry(argument, {});
  std::string name = argument.substr(0, equals);
  std::vector<uint8_t> content = readBytes(argument.substr(equals + 1));
  BuiltEntry entry = format.deflated ? deflatedEntry(name, content) : storedEntry(name, content);
  if (format.traditional) encryptTraditional(entry, format.password);
  if (format.aesKind != 0) encryptAes(entry, format.password, format.aesKind);
  return entry;
}

// The index of the next argument to read, or 0 on a usage error.
int readOption(char** argv, int at, int argc, EntryFormat& format) {
  std::string option = argv[at];
  if (option == "--stored" || option == "--deflated") {
    format.deflated = option == "--deflated";
    return at + 1;
  }
  if (option == "--plain") {
    format = EntryFormat{format.deflated, 0, false, ""};
    return at + 1;
  }
  if (option == "--traditional" && at + 1 < argc) {
    format = EntryFormat{format.deflated, 0, true, argv[at + 1]};
    return at + 2;
  }
  if (option == "--aes" && at + 2 < argc) {
    format = EntryFormat{format.deflated, std::atoi(argv[at + 1]), false, argv[at + 2]};
    return at + 3;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: make_sfx OUTPUT PROGRAM [OPTION | ENTRY]...\n");
    return 2;
  }
  ZipBuilder archive;
  archive.prefix = readBytes(argv[2]);
  EntryFormat format;
  for (int at = 3; at < argc;) {
    if (argv[at][0] == '-' && argv[at][1] == '-') {
      at = readOption(argv, at, argc, format);
      if (at == 0) {
        std::fprintf(stderr, "make_sfx: bad option\n");
        return 2;
      }
    } else {
      archive.entries.push_back(makeEntry(argv[at++], format));
    }
  }
  writeBytes(argv[1], archive.build());
  return 0;
}
