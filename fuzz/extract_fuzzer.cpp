// A whole extraction of an arbitrary archive through the engine, with or
// without a password, into a destination in a scratch folder. Every run
// must end; nothing may appear outside the destination; and a run that
// ends without error or warning must have produced, for every file entry,
// a file with the entry's size and CRC-32.
#include <zlib.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <mutex>
#include <thread>

#include "engine/confine.h"
#include "engine/zip.h"
#include "fuzz_input.h"
#include "platform/posix/native_path.h"
#include "platform/text.h"
#include "reused_zip.h"
#include "scratch_folder.h"

using namespace extractor;
namespace fs = std::filesystem;

namespace {

// Output beyond this is not worth the time; the window presses Abort.
constexpr uint64_t kOutputBudget = 24u << 20;

void fail(const char* why, const std::string& detail = "") {
  std::fprintf(stderr, "%s %s\n", why, detail.c_str());
  std::abort();
}

// The user in front of the window: types the passwords given, then
// cancels; presses Abort when the output grows too large.
class User : public Window {
 public:
  explicit User(std::deque<std::u16string> answers) : answers_(std::move(answers)) {}
  void Refresh(Zip& zip) override {
    if (zip.bytesDone > kOutputBudget) {
      zip.abortRequest = 1;
      pressedAbort = true;
    }
  }
  void PumpMessages(Zip&) override {}
  void ShowPasswordDialog(Zip& zip) override {
    if (answers_.empty()) {
      zip.abortRequest = -1;
      return;
    }
    zip.password = answers_.front();
    answers_.pop_front();
  }
  void ShowWarningsDialog(Zip&) override { warned = true; }

  bool pressedAbort = false;
  bool warned = false;

 private:
  std::deque<std::u16string> answers_;
};

// An archive spanned over removable disks waits for a disk that never
// comes until the user presses Abort; this presses it after a while.
class DiskWait {
 public:
  DiskWait() : thread_([this] { watch(); }) { thread_.detach(); }
  void arm(Zip& zip) {
    std::lock_guard<std::mutex> hold(lock_);
    zip_ = &zip;
    deadline_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(300);
    pressed_ = false;
  }
  // True when it had to press Abort.
  bool disarm() {
    std::lock_guard<std::mutex> hold(lock_);
    zip_ = nullptr;
    return pressed_;
  }

 private:
  void watch() {
    for (;;) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      std::lock_guard<std::mutex> hold(lock_);
      if (zip_ && std::chrono::steady_clock::now() > deadline_) {
        zip_->abortRequest = 1;
        pressed_ = true;
      }
    }
  }
  std::mutex lock_;
  Zip* zip_ = nullptr;
  std::chrono::steady_clock::time_point deadline_;
  bool pressed_ = false;
  std::thread thread_;
};

bool allowed(const std::string& item) {
  static const std::string work = "1/2/3/4/5/6/7/8/work";
  if (work.compare(0, item.size(), item) == 0 &&
      (item.size() == work.size() || work[item.size()] == '/')) {
    return true;
  }
  return item == work + "/setup.exe" || item == work + "/out" ||
         item.compare(0, work.size() + 5, work + "/out/") == 0;
}

std::string nativeOf(const std::u16string& path) {
  return platform::nativePath(path);
}

// For every file entry, the native path the driver writes it to; with
// overwrite set the last entry of a path decides its content.
std::map<std::string, const ZipEntry*> targets(const Zip& zip, const std::u16string& destination) {
  std::map<std::string, const ZipEntry*> out;
  for (const ZipEntry& entry : zip.entries) {
    std::u16string directory = entry.directoryName;
    std::u16string file = entry.fileName;
    ConfineEntryPath(directory, file);
    if (file.empty()) continue;
    out[nativeOf(destination + u"\\" + directory + file)] = &entry;
  }
  return out;
}

void checkContents(const Zip& zip, const std::u16string& destination) {
  for (const auto& [path, entry] : targets(zip, destination)) {
    std::ifstream in(path, std::ios::binary);
    if (!in) fail("a clean run left no file at", path);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                               std::istreambuf_iterator<char>());
    uLong crc = ::crc32(0, bytes.data(), static_cast<uInt>(bytes.size()));
    // AE-2 entries carry no CRC-32: their authentication code stands in for it.
    const bool crcKept = entry->encryptionKind != kWinZipAesKind || entry->aesVersion != 2;
    if (bytes.size() != entry->uncompressedSize || (crcKept && crc != entry->crc)) {
      fail("a clean run wrote wrong content to", path);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static fuzz::ScratchFolder folder("extract");
  static DiskWait& diskWait = *new DiskWait;  // its thread outlives every run
  fuzz::FuzzInput input(data, size);
  uint8_t flags = input.byte();
  std::optional<std::u16string> password;
  if (flags & 1) password = platform::ansiToWide(input.text(32));
  std::deque<std::u16string> answers;
  for (unsigned n = (flags >> 3) & 3; n > 0; n--)
    answers.push_back(platform::ansiToWide(input.text(32)));

  std::error_code ignored;
  fs::remove_all(folder.work() / "out", ignored);
  std::u16string archive = folder.write("setup.exe", input.rest(), input.restSize());
  std::u16string destination = fuzz::widen(folder.work() / "out");

  Zip& zip = fuzz::freshZip();
  User user(std::move(answers));
  zip.window = &user;
  if (flags & 4) zip.bufferKiB = 62;
  if (zip.ReadDirectory(archive) != 0) {
    zip.window = nullptr;
    return 0;
  }
  bool removable = zip.diskCount > 1 && !zip.splitFiles;
  if (removable) diskWait.arm(zip);
  zip.busy = true;
  int32_t result = zip.ExtractAll(destination, -1, (flags & 2) ? -1 : 0, password);
  zip.busy = false;
  bool waitedForDisk = removable && diskWait.disarm();
  zip.window = nullptr;

  if (result != 0 && result != -1) fail("result", std::to_string(result));
  for (const std::string& item : folder.listing()) {
    if (!allowed(item)) fail("outside the destination:", item);
  }
  if (result == 0 && !user.warned && !user.pressedAbort && !waitedForDisk) {
    checkContents(zip, destination);
  }
  return 0;
}
