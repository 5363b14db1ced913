#include "app/shell_window.h"

#include <windows.h>

#include "app/dialogs.h"
#include "app/installer.h"
#include "app/main_window.h"
#include "app/main_wnd_proc.h"
#include "engine/zip.h"

namespace extractor::app {
namespace {

HWND ownerOf(const Zip& zip) {
  return static_cast<HWND>(zip.ownerWindow);
}

}  // namespace

void ShellWindow::Refresh(Zip& zip) {
  MainWndProc(ownerOf(zip), WM_PAINT, 0, 0);
}

void ShellWindow::PumpMessages(Zip&) {
  app::PumpMessages();
}

void ShellWindow::ShowPasswordDialog(Zip& zip) {
  app::ShowPasswordDialog(ownerOf(zip));
}

void ShellWindow::ShowWarningsDialog(Zip& zip) {
  NoteInstallerWarnings();
  app::ShowWarningsDialog(ownerOf(zip));
}

}  // namespace extractor::app
