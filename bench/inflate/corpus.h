// Benchmark inputs made from files every Debian system has.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct CorpusFile {
  std::string name;
  std::vector<uint8_t> data;
};

// Text from /usr/share, programs from /usr/bin, a tar of /usr/include,
// highly repetitive data and random data.
std::vector<CorpusFile> makeCorpus(size_t bytesEach);
