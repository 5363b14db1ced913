// The decryption paths where the data decide what happens: the AES last
// chunk with its padding, AES entries decrypted in chunks of any grouping,
// and the password loops (AES verification block, traditional header check)
// with passwords typed into the dialog. Each is compared with a plain
// model built from the block cipher and the key stream.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <optional>
#include <random>
#include <vector>

#include "crypto/aes_entry.h"
#include "crypto/aes_paths.h"
#include "crypto/zip_crypto.h"
#include "engine/extract_entry.h"
#include "engine/zip.h"
#include "fake_window.h"
#include "fuzz_input.h"
#include "platform/text.h"
#include "reused_zip.h"

using namespace extractor;

namespace {

using Bytes = std::vector<uint8_t>;

void require(bool condition) {
  if (!condition) std::abort();
}

int32_t kindFrom(uint8_t value) {
  return 2 + value % 3;
}

// The padding rule done by hand on blocks decrypted by the table cipher.
std::optional<Bytes> modelFinal(const AesKey& key, const Bytes& cipher) {
  if (cipher.empty()) return Bytes{};
  if (cipher.size() % kAesBlockSize != 0) return std::nullopt;
  Bytes plain(cipher.size());
  decryptBlocksTable(key, cipher.data(), plain.data(), cipher.size() / kAesBlockSize);
  uint8_t pad = plain.back();
  if (pad > kAesBlockSize) return std::nullopt;
  for (size_t i = plain.size() - pad; i < plain.size(); i++) {
    if (plain[i] != pad) return std::nullopt;
  }
  plain.resize(plain.size() - pad);
  return plain;
}

void aesLastChunk(fuzz::FuzzInput& input) {
  AesKey key;
  setupEntryAes(key, kindFrom(input.byte()), input.text(80));
  Bytes cipher(input.rest(), input.rest() + input.restSize());
  std::optional<Bytes> expected = modelFinal(key, cipher);

  Bytes buffer = cipher;
  int32_t length = static_cast<int32_t>(buffer.size());
  bool ok = decryptAesFinal(key, buffer.data(), length);
  require(ok == expected.has_value());
  if (ok) {
    require(length == static_cast<int32_t>(expected->size()));
    require(std::equal(expected->begin(), expected->end(), buffer.begin()));
  } else {
    require(length == kAesBadData);
  }

  size_t blocks = cipher.size() / kAesBlockSize;
  if (aesNiAvailable() && blocks > 0) {
    Bytes table(blocks * kAesBlockSize), ni(blocks * kAesBlockSize);
    decryptBlocksTable(key, cipher.data(), table.data(), blocks);
    decryptBlocksAesNi(key, cipher.data(), ni.data(), blocks);
    require(table == ni);
  }
}

// Encrypted whole, decrypted in the chunks a pipeline might read.
void aesChunks(fuzz::FuzzInput& input) {
  int32_t kind = kindFrom(input.byte());
  std::string password = input.text(80);
  std::minstd_rand rng(input.word());
  Bytes plain(input.rest(), input.rest() + input.restSize());
  Bytes cipher = encryptAesEntryData(kind, password, plain.data(), plain.size());
  require(cipher.size() % kAesBlockSize == 0 && cipher.size() > plain.size());

  AesKey key;
  setupEntryAes(key, kind, password);
  Bytes out;
  size_t at = 0;
  while (at < cipher.size()) {
    size_t blocksLeft = (cipher.size() - at) / kAesBlockSize;
    size_t chunk = (1 + rng() % blocksLeft) * kAesBlockSize;
    Bytes part(cipher.begin() + at, cipher.begin() + at + chunk);
    at += chunk;
    int32_t length = static_cast<int32_t>(part.size());
    if (at == cipher.size()) {
      require(decryptAesFinal(key, part.data(), length));
    } else {
      decryptAesChunk(key, part.data(), static_cast<uint32_t>(length));
    }
    out.insert(out.end(), part.begin(), part.begin() + length);
  }
  require(out == plain);
}

// Passwords as the dialog would return them.
std::deque<std::u16string> typedPasswords(fuzz::FuzzInput& input) {
  std::deque<std::u16string> answers;
  for (unsigned n = input.byte() % 5; n > 0; n--) {
    std::string text = input.text(24);
    answers.push_back(platform::ansiToWide(text));
  }
  return answers;
}

std::string keyText(const std::optional<std::u16string>& password) {
  if (!password) return {};
  std::string bytes = platform::wideToAnsi(*password, platform::Unmappable::Question);
  return bytes.substr(0, bytes.find('\0'));
}

struct PasswordCase {
  Zip& zip = fuzz::freshZip();
  test::FakeWindow window{zip};
  ZipEntry entry;
  std::vector<std::optional<std::u16string>> tries;  // in the order the loop meets them

  explicit PasswordCase(fuzz::FuzzInput& input) {
    entry.owner = &zip;
    if (input.byte() & 1) zip.password = platform::ansiToWide(input.text(24));
    window.answers = typedPasswords(input);
    tries.push_back(zip.password);
    for (const auto& answer : window.answers) tries.push_back(answer);
  }
};

// The verification block either made for one of the passwords or taken
// from the input; the loop accepts the first right one that is not empty.
void aesPasswordLoop(fuzz::FuzzInput& input) {
  PasswordCase c(input);
  c.entry.encryptionKind = kindFrom(input.byte());
  c.entry.crc = input.word();
  uint8_t choice = input.byte();
  if (choice < c.tries.size() * 32) {
    auto block =
        makeAesVerifier(c.entry.encryptionKind, keyText(c.tries[choice / 32]), c.entry.crc);
    std::copy(block.begin(), block.end(), c.entry.verifierBlock.begin());
  } else {
    for (uint8_t& b : c.entry.verifierBlock) b = input.byte();
  }

  int32_t expected = -1;
  size_t dialogs = 0;
  for (size_t i = 0; i < c.tries.size(); i++) {
    AesKey key;
    setupEntryAes(key, c.entry.encryptionKind, keyText(c.tries[i]));
    bool right = checkAesVerifier(key, c.entry.verifierBlock.data(), c.entry.crc);
    if (right && c.tries[i] && !c.tries[i]->empty()) {
      expected = 0;
      break;
    }
    dialogs++;
    if (right) {
      expected = 0;
      break;
    }
  }
  AesKey key;
  int32_t result = CheckAesPassword(c.entry, key);
  require(result == expected);
  require(c.window.passwordDialogs == static_cast<int>(dialogs));
  require(result == 0 || c.zip.lastErrorText == u"Unzip Operation Aborted");
}

// The 12 header bytes decrypted with each password typed; byte 11 must
// match the CRC-32's high byte (or, for an entry streamed with a data
// descriptor, the DOS time's high byte).
void traditionalHeaderCheck(fuzz::FuzzInput& input) {
  PasswordCase c(input);
  c.entry.crc = input.word();
  c.entry.flags = input.byte() & 8;
  c.entry.dosTime = static_cast<uint16_t>(input.word());
  Bytes data(input.rest(), input.rest() + input.restSize());
  data.resize(std::max<size_t>(data.size(), kCryptHeaderSize));
  auto source = std::make_shared<ZipStream>();
  source->Write(data.data(), static_cast<uint32_t>(data.size()));
  source->Seek(0);
  c.entry.source = source;

  int32_t expected = -1;
  size_t dialogs = 0;
  ZipCryptKeys expectedKeys;
  for (size_t i = 0; i < c.tries.size(); i++) {
    if (!c.tries[i] || c.tries[i]->empty()) {
      dialogs++;
      continue;
    }
    std::string bytes = keyText(c.tries[i]);
    ZipCryptKeys keys;
    initKeys(keys, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    uint8_t header[kCryptHeaderSize];
    std::memcpy(header, data.data(), kCryptHeaderSize);
    decryptHeader(keys, header);
    uint8_t check = header[kCryptHeaderSize - 1];
    if (check == uint8_t(c.entry.crc >> 24) ||
        ((c.entry.flags & 8) && check == uint8_t(c.entry.dosTime >> 8))) {
      expected = 0;
      expectedKeys = keys;
      break;
    }
    dialogs++;
  }
  ZipCryptKeys keys;
  uint64_t length = data.size();
  uint8_t scratch[kCryptHeaderSize];
  int32_t result = CheckTraditionalPassword(c.entry, keys, length, scratch);
  require(result == expected);
  require(c.window.passwordDialogs == static_cast<int>(dialogs));
  if (result == 0) {
    require(length == data.size() - kCryptHeaderSize);
    require(keys.key0 == expectedKeys.key0 && keys.key1 == expectedKeys.key1 &&
            keys.key2 == expectedKeys.key2);
    require(source->Position() == kCryptHeaderSize);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::FuzzInput input(data, size);
  switch (input.byte() % 4) {
    case 0:
      aesLastChunk(input);
      break;
    case 1:
      aesChunks(input);
      break;
    case 2:
      aesPasswordLoop(input);
      break;
    case 3:
      traditionalHeaderCheck(input);
      break;
  }
  return 0;
}
