#include "app/dialogs.h"

#include <string>

#include "app/resource_ids.h"
#include "app/shell.h"

namespace extractor::app {
namespace {

constexpr int kPasswordCapacity = 260;  // characters, terminator included

const wchar_t* wide(const std::u16string& text) {
  return reinterpret_cast<const wchar_t*>(text.c_str());
}

// OK, or Cancel (also the Escape key and the close box), ends the dialog.
INT_PTR endOnOkOrCancel(HWND dialog, WPARAM wParam) {
  WORD id = LOWORD(wParam);
  if (id != IDOK && id != IDCANCEL) return FALSE;
  EndDialog(dialog, id);
  return TRUE;
}

void setPrompt(HWND dialog) {
  wchar_t prompt[kStatusCapacity] = {};
  AppendTruncated(prompt, kStatusCapacity, L"Please enter the password for file: ");
  if (std::optional<std::u16string> name = zip.CurrentName())
    AppendTruncated(prompt, kStatusCapacity, wide(*name));
  SetDlgItemTextW(dialog, IDC_PASSWORD_PROMPT, prompt);
}

void storePassword(HWND dialog) {
  wchar_t typed[kPasswordCapacity] = {};
  GetDlgItemTextW(dialog, IDC_PASSWORD_EDIT, typed, kPasswordCapacity);
  zip.password = std::u16string(reinterpret_cast<const char16_t*>(typed));
  SecureZeroMemory(typed, sizeof(typed));
}

INT_PTR show(int templateId, HWND owner, DLGPROC procedure) {
  return DialogBoxParamW(shell.instance, MAKEINTRESOURCEW(templateId), owner, procedure, 0);
}

}  // namespace

INT_PTR CALLBACK ErrorDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  zip.runResult = 0;
  switch (message) {
    case WM_INITDIALOG:
      SetDlgItemTextW(dialog, IDC_ERROR_TEXT, wide(zip.LastErrorText()));
      return TRUE;
    case WM_COMMAND:
      return endOnOkOrCancel(dialog, wParam);
  }
  return FALSE;
}

INT_PTR CALLBACK WarningsDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  zip.runResult = 0;
  switch (message) {
    case WM_INITDIALOG:
      SetDlgItemTextW(dialog, IDC_WARNINGS_TEXT, zip.warningsText ? wide(*zip.warningsText) : L"");
      zip.warningsText.reset();
      return TRUE;
    case WM_COMMAND:
      return endOnOkOrCancel(dialog, wParam);
  }
  return FALSE;
}

INT_PTR CALLBACK PasswordDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  zip.runResult = 0;
  switch (message) {
    case WM_INITDIALOG:
      setPrompt(dialog);
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK) {
        storePassword(dialog);
        EndDialog(dialog, IDOK);
        return TRUE;
      }
      if (wParam == IDCANCEL) {
        zip.abortRequest = -1;
        shell.stopRequested = true;
        EndDialog(dialog, IDCANCEL);
        return TRUE;
      }
      return FALSE;
  }
  return FALSE;
}

void ShowErrorDialog(HWND owner) {
  show(IDD_ERROR, owner, ErrorDlgProc);
}

void ShowWarningsDialog(HWND owner) {
  show(IDD_WARNINGS, owner, WarningsDlgProc);
}

void ShowPasswordDialog(HWND owner) {
  show(IDD_PASSWORD, owner, PasswordDlgProc);
}

}  // namespace extractor::app
