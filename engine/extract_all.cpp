// One extraction run: every entry in directory order, each bound to its
// target file under the destination and handed to the entry pipeline.
#include <memory>

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
// nor created.
int32_t bindTarget(ZipStream& stream, const std::u16string& path, bool overwrite) {
  if (!overwrite) stream.SetOpenMode(ZipStream::kOpenExisting);
  if (stream.SetFileName(path, ZipStream::NameForm::Output) != 0) {
    stream.SetOpenMode(ZipStream::kCreateAlways);
    return stream.SetFileName(path, ZipStream::NameForm::Output) == 0 ? 1 : -1;
  }
  if (!overwrite) return 0;
  stream.Truncate();
  return 1;
}

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
  std::u16string foldersMade;  // entries of one folder need its folders made once
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
        MakeDirectories(path);
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
