// Zip: the archive engine's one object. It holds the entries read from the
// archive directory, the settings of an extraction run, the counters and
// flags the user-interface thread and the worker share, and the texts the
// dialogs show.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/window.h"
#include "engine/zip_entry.h"
#include "platform/lock.h"

namespace extractor {

constexpr int16_t zipNoEncryption = 0;

class Zip {
 public:
  Zip();
  ~Zip();
  Zip(const Zip&) = delete;
  Zip& operator=(const Zip&) = delete;

  // Empties the entry list for the next reading; refused while busy.
  int32_t Reset();

  // Appends one entry per central directory header of the archive at path.
  int32_t ReadDirectory(const std::u16string& path);

  // Extracts every entry read into destination.
  int32_t ExtractAll(const std::u16string& destination, int16_t createFolders, int16_t overwrite,
                     const std::optional<std::u16string>& password);

  // Replaces volumeLabel with the label of the drive that holds path.
  void ReadVolumeLabel(const std::u16string& path);
  // currentDisk from the digits among the label's last three characters.
  void DiskFromLabel();

  // The texts both threads use: the worker sets the entry's name and
  // reports errors while the window reads them for its status line and
  // its error dialog, so they are copied in and out under a lock.
  std::optional<std::u16string> CurrentName() const;
  void SetCurrentName(const std::u16string& name);
  void ClearCurrentName();
  std::u16string LastErrorText() const;
  void SetLastErrorText(const std::u16string& text);

  // The shell's four calls; without a window they do nothing.
  void Refresh();
  void PumpMessages();
  void ShowPasswordDialog();
  void ShowWarningsDialog();

  std::vector<ZipEntry> entries;
  std::atomic<int32_t> abortRequest{0};
  int16_t Encryption = zipNoEncryption;
  int32_t bufferKiB = 1024;
  std::atomic<uint64_t> bytesDone{0};
  uint64_t bytesTotal = 0;
  std::u16string volumeLabel;
  bool batchRunning = false;
  std::atomic<bool> busy{false};
  bool splitFiles = false;
  int32_t diskCount = 0;
  int32_t currentDisk = 0;
  // Program bytes in front of an archive appended without its offsets
  // adjusted: every offset of the archive file counts from behind them.
  uint64_t prefixBytes = 0;
  // The same for the last volume of a spanned archive, in the file its data
  // are read from.
  uint64_t lastVolumePrefix = 0;
  std::u16string destination;
  void* thread = nullptr;  // the shell's handle of the worker thread
  std::optional<std::u16string> password;
  int16_t createFolders = 0;  // 0 or -1
  int16_t overwrite = 0;      // 0 or -1
  std::u16string lastErrorText;
  std::optional<std::u16string> warningsText;
  std::atomic<int32_t> runResult{0};
  void* instance = nullptr;
  void* ownerWindow = nullptr;
  std::optional<std::u16string> currentName;
  // The entry the run is visiting, for a caller that names it beside an
  // error; null before the first and between two entries.
  const ZipEntry* currentEntry = nullptr;
  // The Zone.Identifier text each extracted file is given, from the
  // archive's own; empty: files are not marked.
  std::string zoneMark;
  Window* window = nullptr;

 private:
  mutable platform::Lock textLock_;
};

}  // namespace extractor
