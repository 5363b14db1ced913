// The three modal dialogs. Each procedure moves one text between its dialog
// and a field of the Zip object.
#pragma once

#include <windows.h>

namespace extractor::app {

INT_PTR CALLBACK ErrorDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK WarningsDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK PasswordDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// lastErrorText, owned by owner.
void ShowErrorDialog(HWND owner);
// warningsText, which the dialog consumes.
void ShowWarningsDialog(HWND owner);
// Asks for the password of currentName.
void ShowPasswordDialog(HWND owner);

}  // namespace extractor::app
