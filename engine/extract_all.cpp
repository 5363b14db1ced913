// One extraction run: every entry in directory order, each bound to its
// target file under the destination and handed to the entry pipeline.
#include <memory>
#include <vector>

#include "engine/confine.h"
#include "engine/extract_entry.h"
#include "engine/paths.h"
#include "engine/report_error.h"
#include "engine/zip.h"
#include "platform/thread.h"

namespace extractor {
namespace {

constexpr char16_t kFileExists[] = u"File Exists";
constexpr char16_t kUnsafePath[] = u"Unsafe Path Corrected";

// Binds a stream to the target: 1 when the entry is to be extracted into it,
// 0 when an existing file is kept, -1 when the file can be neither opened
// nor created. The create that makes the file empty is also the overwrite
// check, so a new file costs one open; only a create that fails asks
// whether the file exists.
int32_t bindTarget(ZipStream& stream, const std::u16string& path, bool overwrite) {
  stream.SetOpenMode(overwrite ? ZipStream::kCreateAlways : ZipStream::kCreateNew);
  if (stream.SetFileName(path, ZipStream::NameForm::Output) == 0) return 1;
  if (overwrite) {
    // A file that may be opened but not recreated (a hidden one on
    // Windows) is emptied instead.
    stream.SetOpenMode(ZipStream::kOpenAlways);
    if (stream.SetFileName(path, ZipStream::NameForm::Output) != 0) return -1;
    stream.Truncate();
    return 1;
  }
  stream.SetOpenMode(ZipStream::kOpenExisting);
  return stream.SetFileName(path, ZipStream::NameForm::Output) == 0 ? 0 : -1;
}

// The archive's streams stay open across the entries of a run; a run that
// ends, however it ends, leaves no archive file open.
class SourcesClosedAtEnd {
 public:
  explicit SourcesClosedAtEnd(std::vector<ZipEntry>& entries) : entries_(entries) {}
  ~SourcesClosedAtEnd() { closeNow(); }
  SourcesClosedAtEnd(const SourcesClosedAtEnd&) = delete;
  SourcesClosedAtEnd& operator=(const SourcesClosedAtEnd&) = delete;
  void closeNow() {
    for (ZipEntry& entry : entries_) {
      if (entry.source) entry.source->Close();
    }
  }

 private:
  std::vector<ZipEntry>& entries_;
};

}  // namespace

int32_t Zip::ExtractAll(const std::u16string& destinationText, int16_t createFoldersFlag,
                        int16_t overwriteFlag, const std::optional<std::u16string>& runPassword) {
  if (runPassword && runPassword->empty() && Encryption != zipNoEncryption) {
    return ReportError(*this, zipErrPasswordMissing);
  }
  bytesDone = 0;
  batchRunning = true;
  if (runPassword) password = runPassword;
  std::u16string root = PrepareDestination(destinationText);
  EntryBuffers buffers;
  SourcesClosedAtEnd sources(entries);
  // The folders of the latest entry exist: its next entries need none of
  // them made, and the next folder only the levels it does not share.
  std::u16string foldersMade = root;
  bool anyWarnings = false;

  for (ZipEntry& entry : entries) {
    PumpMessages();
    if (abortRequest) {
      batchRunning = false;
      return ReportError(*this, zipErrAborted);
    }
    std::u16string directory = entry.directoryName;
    std::u16string file = entry.fileName;
    if (ConfineEntryPath(directory, file)) entry.warnings.Add(kUnsafePath);

    std::u16string path = root;
    if (createFoldersFlag) {
      path += directory;
      if (path != foldersMade) {
        MakeDirectoriesAfter(path, foldersMade);
        foldersMade = path;
      }
    }
    if (!file.empty()) {
      path += file;
      SetCurrentName(entry.fileName);
      auto output = std::make_unique<ZipStream>();
      int32_t bound = bindTarget(*output, path, overwriteFlag != 0);
      if (bound < 0) {
        batchRunning = false;
        return ReportError(*this, zipErrWriteFailed);
      }
      if (bound == 0) entry.warnings.Add(kFileExists);
      if (bound == 1 && ExtractEntry(entry, output, &buffers) != 0) {
        batchRunning = false;
        return -1;
      }
    }
    if (entry.warnings.Count() > 0) anyWarnings = true;
  }

  batchRunning = false;
  sources.closeNow();
  if (anyWarnings) ReportError(*this, zipErrWarnings);
  bytesDone = 0;
  busy = false;
  Refresh();
  PumpMessages();
  platform::closeThreadHandle(thread);
  thread = nullptr;
  return 0;
}

}  // namespace extractor
