#include "app/main_window.h"

#include <commctrl.h>

#include "app/dpi.h"
#include "app/installer.h"
#include "app/main_wnd_proc.h"
#include "app/resource_ids.h"
#include "app/shell.h"

namespace extractor::app {
namespace {

constexpr int kMargin = 10;
constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 25;
constexpr int kLabelHeight = 15;
constexpr int kWindowWidth = 400;
constexpr int kWindowHeight = 240;
constexpr int kFontHeight = 8;
constexpr DWORD kProgressStyle = 0x1000;
constexpr int kControlCount = 10;

constexpr wchar_t kInstruction[] =
    L"To extract the contents of this file please specify the destination directory and press "
    L"the Unzip button.";

HFONT createFont(int weight, int dpi) {
  return CreateFontW(Scale(kFontHeight, dpi), 0, 0, 0, weight, FALSE, FALSE, FALSE, ANSI_CHARSET,
                     OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, 0x22,
                     L"MS Sans Serif");
}

enum class Font { None, Normal, Bold };

struct ControlTemplate {
  const wchar_t* className;
  const wchar_t* text;
  int id;
  DWORD style;
  DWORD extendedStyle;
  Font font;
};

// The controls in the order they are made. The six a user works are tab
// stops; Unzip is the default button, which Enter presses.
const ControlTemplate kControls[kControlCount] = {
    {L"STATIC", kInstruction, 0, 0, 0, Font::Bold},
    {L"BUTTON", L"Unzip", IDC_UNZIP, BS_DEFPUSHBUTTON | WS_TABSTOP, 0, Font::Normal},
    {L"BUTTON", L"Abort", IDC_ABORT, BS_PUSHBUTTON | WS_TABSTOP, 0, Font::Normal},
    {L"BUTTON", L"Close", IDC_CLOSE, BS_PUSHBUTTON | WS_TABSTOP, 0, Font::Normal},
    {L"STATIC", L"Destination Directory:", 0, 0, 0, Font::Normal},
    {L"EDIT", nullptr, IDC_DESTINATION, ES_AUTOHSCROLL | WS_TABSTOP, WS_EX_CLIENTEDGE,
     Font::Normal},
    {L"BUTTON", L"Browse", IDC_BROWSE, BS_PUSHBUTTON | WS_TABSTOP, 0, Font::Normal},
    {L"BUTTON", L"Overwrite Existing Files", IDC_OVERWRITE, BS_AUTOCHECKBOX | WS_TABSTOP, 0,
     Font::Normal},
    {L"STATIC", L"Unzipping: ", 0, SS_CENTER, 0, Font::Normal},
    {PROGRESS_CLASSW, nullptr, 0, kProgressStyle, 0, Font::None},
};
enum { kUnzip = 1, kAbort, kClose, kEdit = 5, kBrowse, kOverwrite };

// Left, top, width and height of each control for a client area width
// wide, with every length of the layout scaled to dpi.
void placesFor(int width, int dpi, RECT (&places)[kControlCount]) {
  const int m = Scale(kMargin, dpi), bw = Scale(kButtonWidth, dpi), bh = Scale(kButtonHeight, dpi),
            lh = Scale(kLabelHeight, dpi);
  const int buttonLeft = width - m - bw;
  const RECT table[kControlCount] = {
      {m, m, width - 3 * m - bw, 2 * bh},
      {buttonLeft, m, bw, bh},
      {buttonLeft, 2 * m + bh, bw, bh},
      {buttonLeft, 3 * m + 2 * bh, bw, bh},
      {m, 3 * m + 2 * bh - lh, width - 4 * m - 2 * bw, lh},
      {m, 3 * m + 2 * bh, width - 4 * m - 2 * bw, bh},
      {width - 2 * m - 2 * bw, 3 * m + 2 * bh, bw, bh},
      {m, 4 * m + 3 * bh, width, bh},
      {m, 5 * m + 4 * bh, width, lh},
      {m, 6 * m + 4 * bh + lh, width - 2 * m, bh},
  };
  for (int i = 0; i < kControlCount; i++) places[i] = table[i];
}

int clientWidth(HWND window) {
  RECT client;
  GetClientRect(window, &client);
  return client.right - client.left;
}

HFONT fontOf(Font font) {
  switch (font) {
    case Font::Normal:
      return shell.normalFont;
    case Font::Bold:
      return shell.boldFont;
    case Font::None:
      break;
  }
  return nullptr;
}

// The destination edit starts with "TEMP", or "c:\Temp" without it.
void defaultDestination(wchar_t (&text)[kPathCapacity]) {
  wchar_t temp[kPathCapacity] = {};
  DWORD read = GetEnvironmentVariableW(L"TEMP", temp, kPathCapacity);
  std::wstring_view chosen = DefaultDestination(temp, read);
  text[0] = L'\0';
  AppendTruncated(text, kPathCapacity, chosen);
}

// Keyboard navigation follows the order of the windows: the buttons of the
// right-hand column come after the check box, so that Tab goes from the
// destination to Browse, the check box, Unzip, Abort and Close.
void orderTabStops() {
  HWND after = shell.controls[kOverwrite];
  for (int i : {kUnzip, kAbort, kClose}) {
    SetWindowPos(shell.controls[i], after, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_NOREDRAW);
    after = shell.controls[i];
  }
}

void createControls(HWND window) {
  wchar_t destination[kPathCapacity];
  defaultDestination(destination);
  RECT places[kControlCount];
  placesFor(clientWidth(window), shell.dpi, places);
  for (int i = 0; i < kControlCount; i++) {
    const ControlTemplate& model = kControls[i];
    const RECT& at = places[i];
    HWND control = CreateWindowExW(
        model.extendedStyle, model.className, i == kEdit ? destination : model.text,
        WS_CHILD | WS_VISIBLE | model.style, at.left, at.top, at.right, at.bottom, window,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(model.id)), shell.instance, nullptr);
    if (control && model.font != Font::None)
      SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(fontOf(model.font)), TRUE);
    shell.controls[i] = control;
  }
  shell.instructionLabel = shell.controls[0];
  shell.destinationEdit = shell.controls[kEdit];
  shell.statusLabel = shell.controls[8];
  shell.progressBar = shell.controls[9];
  orderTabStops();
}

// The outer size of the main window at dpi.
SIZE windowSize(int dpi) {
  return {Scale(kWindowWidth, dpi), Scale(kWindowHeight, dpi)};
}

}  // namespace

void CreateFonts(int dpi) {
  shell.normalFont = createFont(300, dpi);
  shell.boldFont = createFont(700, dpi);
}

void DeleteFonts() {
  if (shell.normalFont) DeleteObject(shell.normalFont);
  if (shell.boldFont) DeleteObject(shell.boldFont);
  shell.normalFont = nullptr;
  shell.boldFont = nullptr;
}

void RegisterMainClass() {
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof(windowClass);
  windowClass.style = CS_HREDRAW | CS_VREDRAW;
  windowClass.lpfnWndProc = MainWndProc;
  windowClass.hInstance = shell.instance;
  windowClass.hIcon = LoadIconW(shell.instance, MAKEINTRESOURCEW(IDI_CLASS_ICON));
  windowClass.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = shell.className;
  windowClass.hIconSm = LoadIconW(shell.instance, MAKEINTRESOURCEW(IDI_SMALL_ICON));
  RegisterClassExW(&windowClass);
}

bool CreateMainWindow(HINSTANCE instance, int showCommand) {
  zip.runResult = 0;
  shell.overwriteFlag = 0;
  shell.instance = instance;
  zip.instance = instance;

  wchar_t programPath[kPathCapacity] = {};
  GetModuleFileNameW(nullptr, programPath, kPathCapacity);
  ComposeTitle(shell.title, programPath);

  HWND window = CreateWindowExW(0, shell.className, shell.title, WS_CAPTION | WS_SYSMENU,
                                CW_USEDEFAULT, CW_USEDEFAULT, kWindowWidth, kWindowHeight, nullptr,
                                nullptr, instance, nullptr);
  shell.mainWindow = window;
  zip.ownerWindow = window;
  if (window == nullptr) return false;
  // The scale is known once the window is on a screen.
  shell.dpi = WindowDpi(window);
  CreateFonts(shell.dpi);
  if (shell.dpi != kBaseDpi) {
    SIZE size = windowSize(shell.dpi);
    SetWindowPos(window, nullptr, 0, 0, size.cx, size.cy,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOREDRAW);
  }
  CentreWindow(window);
  createControls(window);
  SendMessageW(shell.progressBar, PBM_SETRANGE, 0, MAKELPARAM(0, 65535));
  ShowWindow(window, showCommand);
  UpdateWindow(window);
  if (shell.destinationEdit) SetFocus(shell.destinationEdit);
  ApplyInstallerToWindow();
  return true;
}

void RescaleMainWindow(HWND window, int dpi, const RECT& suggested) {
  if (dpi <= 0 || dpi == shell.dpi) return;
  HFONT oldNormal = shell.normalFont, oldBold = shell.boldFont;
  shell.dpi = dpi;
  CreateFonts(dpi);
  SIZE size = windowSize(dpi);
  SetWindowPos(window, nullptr, suggested.left, suggested.top, size.cx, size.cy,
               SWP_NOZORDER | SWP_NOACTIVATE);
  RECT places[kControlCount];
  placesFor(clientWidth(window), dpi, places);
  for (int i = 0; i < kControlCount; i++) {
    HWND control = shell.controls[i];
    if (!control) continue;
    MoveWindow(control, places[i].left, places[i].top, places[i].right, places[i].bottom, FALSE);
    if (kControls[i].font != Font::None)
      SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(fontOf(kControls[i].font)), FALSE);
  }
  if (oldNormal) DeleteObject(oldNormal);
  if (oldBold) DeleteObject(oldBold);
  InvalidateRect(window, nullptr, TRUE);
}

int DefaultButtonId() {
  HWND focus = GetFocus();
  for (int i : {kAbort, kClose, kBrowse}) {
    if (focus && focus == shell.controls[i]) return kControls[i].id;
  }
  return IDC_UNZIP;
}

void CentreWindow(HWND window) {
  RECT frame;
  GetWindowRect(window, &frame);
  int width = frame.right - frame.left;
  int height = frame.bottom - frame.top;
  int left = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
  int top = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
  MoveWindow(window, left, top, width, height, FALSE);
}

bool PumpMessages() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return true;
}

}  // namespace extractor::app
