// One extraction run: every entry in directory order, each bound to its
// target file under the destination and handed to the entry pipeline.
#include <memory>
#include <vector>

#include "engine/confine.h"
#include "engine/entry_support.h"
#include "engine/extract_entry.h"
#include "engine/paths.h"
#include "engine/report_error.h"
#include "engine/zip.h"
#include "platform/file.h"
#include "platform/thread.h"

namespace extractor {
namespace {

constexpr char16_t kFileExists[] = u"File Exists";
constexpr char16_t kUnsafePath[] = u"Unsafe Path Corrected";

enum class Target { Kept, Replaced, Missing, Created };

// Binds a stream to a target that exists: kept, or with overwrite
// replaced. Its content goes only once the entry's data begin, so that an
// entry that fails before leaves it as it was.
Target bindExisting(ZipStream& stream, const std::u16string& path, bool overwrite) {
  stream.SetOpenMode(ZipStream::kOpenExisting);
  if (stream.SetFileName(path, ZipStream::NameForm::Output) != 0) return Target::Missing;
  return overwrite ? Target::Replaced : Target::Kept;
}

// A file this run created for an entry that did not complete would pass
// for a complete one, empty or cut short.
void discardCreated(std::unique_ptr<ZipStream>& output, Target target) {
  if (!output || target != Target::Created) return;
  output->SetDeleteOnClose(true);
  output.reset();
}

// A folder entry names a folder and no file; any other entry that is left
// without a name has none that could be written.
bool isFolderEntry(const ZipEntry& entry) {
  return entry.fileName.empty() && !entry.directoryName.empty();
}

// One file entry into its target: 0 when extracted or kept, -1 after
// reporting. Nothing of the entry stays behind a failure.
int32_t extractFile(Zip& zip, ZipEntry& entry, const std::u16string& path, bool overwrite,
                    EntryBuffers& buffers) {
  auto output = std::make_unique<ZipStream>();
  ZipError refusal = EntryRefusal(entry);
  Target target = Target::Missing;
  if (!refusal) {
    // The create is the overwrite check as well, so a new file costs one
    // open; only a create that fails asks whether the file exists.
    output->SetOpenMode(ZipStream::kCreateNew);
    if (output->SetFileName(path, ZipStream::NameForm::Output) == 0) target = Target::Created;
  }
  if (target != Target::Created) target = bindExisting(*output, path, overwrite);
  if (target == Target::Kept) {
    entry.warnings.Add(kFileExists);
    return 0;
  }
  if (refusal) return ReportError(zip, refusal);
  if (target == Target::Missing) {
    output->SetOpenMode(ZipStream::kCreateAlways);
    if (output->SetFileName(path, ZipStream::NameForm::Output) != 0) {
      return ReportError(zip, WriteFailure());
    }
    target = Target::Created;
  }
  if (ExtractEntry(entry, output, &buffers) != 0) {
    discardCreated(output, target);
    return -1;
  }
  return 0;
}

// Makes the folders of an entry's target and remembers them in made;
// zipErrNone, or the error for a file that cannot have its folders. A path
// longer than the system can name gets none: with thousands of levels,
// making them would take long and end in failure anyway.
ZipError prepareFolders(const std::u16string& folder, const std::u16string& file,
                        bool createFolders, std::u16string& made) {
  if (!platform::pathFits(folder + file)) return zipErrWriteFailed;
  if (!createFolders || folder == made) return zipErrNone;
  if (!MakeDirectoriesAfter(folder, made)) return WriteFailure();
  made = folder;
  return zipErrNone;
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
    currentEntry = nullptr;
    PumpMessages();
    if (abortRequest) {
      batchRunning = false;
      return ReportError(*this, zipErrAborted);
    }
    currentEntry = &entry;
    std::u16string directory = entry.directoryName;
    std::u16string file = entry.fileName;
    bool corrected = ConfineEntryPath(directory, file) || entry.drivePrefixRemoved;
    if (corrected || (file.empty() && !isFolderEntry(entry))) entry.warnings.Add(kUnsafePath);

    std::u16string path = root;
    if (createFoldersFlag) path += directory;
    ZipError folderError = prepareFolders(path, file, createFoldersFlag != 0, foldersMade);
    if (folderError && !file.empty()) {
      batchRunning = false;
      return ReportError(*this, folderError);
    }
    if (!file.empty()) {
      path += file;
      SetCurrentName(entry.fileName);
      if (extractFile(*this, entry, path, overwriteFlag != 0, buffers) != 0) {
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
