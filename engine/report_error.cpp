#include "engine/report_error.h"

#include "engine/zip.h"
#include "platform/file.h"

namespace extractor {

std::u16string ZipErrorMessage(int32_t code) {
  switch (code) {
    case zipErrAborted:
      return u"Unzip Operation Aborted";
    case zipErrParameter1:
      return u"Parameter #1 is invalid";
    case zipErrParameter2:
      return u"Parameter #2 is invalid";
    case zipErrParameter3:
      return u"Parameter #3 is invalid";
    case zipErrParameter4:
      return u"Parameter #4 is invalid";
    case zipErrPropertyAssignment:
      return u"Invalid property assignment";
    case zipErrFileInUse:
      return u"The specified file has been opened by another application";
    case zipErrDiskFull:
      return u"Disk full";
    case zipErrWriteFailed:
      return u"Write failed";
    case zipErrOpenForReading:
      return u"Could not open file for reading";
    case zipErrFileNotFound:
      return u"No file with that name found";
    case zipErrMediaAccess:
      return u"Cannot access media";
    case zipErrNotZipFile:
      return u"The file is not identified as a compliant zip file";
    case zipErrBusy:
      return u"The current instance of the Zip object is already running an operation";
    case zipErrEndOfFile:
      return u"The End-Of-File location does not match the headers";
    case zipErrSpanSpace:
      return u"The current zip file cannot be spanned for lack of available space on the "
             u"target device";
    case zipErrPasswordMissing:
      return u"The Encryption property has a value other than zipNoEncryption and an operation "
             u"was conducted without providing a password";
    case zipErrNoEncryption:
      return u"The Encryption property has a value of zipNoEncryption";
    case zipErrUnknownAlgorithm:
      return u"The Encryption Algorithm used is not recognized by this DLL";
    case zipErrTooLarge:
      return u"Zip File is larger than 4GB";
    case zipErrPasswordInvalid:
      return u"Password invalid";
    case zipErrNotRemovable:
      return u"The drive specified is not removeable";
  }
  return u"Unresolved Error";
}

namespace {

// The name whole: a NUL would end the text the dialog shows, and a line
// break would start a line of its own. Control characters become "_", as
// they do in the file's name.
std::u16string shownName(std::u16string name) {
  for (char16_t& c : name) {
    if (c < 0x20) c = u'_';
  }
  return name;
}

// The lines of the warnings text; empties the entries' lists when asked.
StringList composeLines(Zip& zip, bool clear) {
  StringList lines;
  for (ZipEntry& entry : zip.entries) {
    if (entry.warnings.Count() == 0) continue;
    lines.Add(shownName(entry.fileName) + u": " + entry.warnings.Join());
    if (clear) entry.warnings.Clear();
  }
  lines.SetSeparator(u"\r\n");
  return lines;
}

}  // namespace

int32_t ReportError(Zip& zip, int32_t code) {
  zip.SetLastErrorText(u"Error not identified");
  if (code == zipErrWarnings) {
    // The entries keep their warnings while the dialog is up, for a window
    // that lists them its own way; each is shown once all the same.
    zip.warningsText = composeLines(zip, false).Join();
    zip.ShowWarningsDialog();
    composeLines(zip, true);
  } else {
    zip.SetLastErrorText(ZipErrorMessage(code));
    // Busy clear lets the window start the next reading, so the message
    // of this run is in place before.
    if (code == zipErrAborted) {
      zip.abortRequest = 0;
      zip.busy = false;
    }
  }
  zip.bytesDone = 0;
  zip.Refresh();
  return -1;
}

ZipError WriteFailure() {
  switch (platform::lastFileFailure()) {
    case platform::FileFailure::DiskFull:
      return zipErrDiskFull;
    case platform::FileFailure::InUse:
      return zipErrFileInUse;
    case platform::FileFailure::Other:
      break;
  }
  return zipErrWriteFailed;
}

int32_t FailEntry(Zip& zip, int32_t code, std::unique_ptr<ZipStream>& output) {
  if (output) {
    output->SetDeleteOnClose(true);
    output.reset();
  }
  return ReportError(zip, code);
}

StringList ComposeWarnings(Zip& zip) {
  return composeLines(zip, true);
}

}  // namespace extractor
