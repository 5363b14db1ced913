#include "app/main_window.h"

#include <commctrl.h>

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
constexpr DWORD kProgressStyle = 0x1000;

constexpr wchar_t kInstruction[] =
    L"To extract the contents of this file please specify the destination directory and press "
    L"the Unzip button.";

HFONT createFont(int weight) {
  return CreateFontW(8, 0, 0, 0, weight, FALSE, FALSE, FALSE, ANSI_CHARSET, OUT_DEFAULT_PRECIS,
                     CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, 0x22, L"MS Sans Serif");
}

struct ControlSpec {
  const wchar_t* className;
  const wchar_t* text;
  int id;
  DWORD style;
  DWORD extendedStyle;
  RECT place;  // left, top, width, height
  HFONT font;
};

HWND createControl(HWND parent, const ControlSpec& layout) {
  HWND control = CreateWindowExW(
      layout.extendedStyle, layout.className, layout.text, WS_CHILD | WS_VISIBLE | layout.style,
      layout.place.left, layout.place.top, layout.place.right, layout.place.bottom, parent,
      reinterpret_cast<HMENU>(static_cast<INT_PTR>(layout.id)), shell.instance, nullptr);
  if (control && layout.font)
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(layout.font), TRUE);
  return control;
}

// The destination edit starts with "TEMP", or "c:\Temp" without it.
void defaultDestination(wchar_t (&text)[kPathCapacity]) {
  wchar_t temp[kPathCapacity] = {};
  DWORD read = GetEnvironmentVariableW(L"TEMP", temp, kPathCapacity);
  std::wstring_view chosen = DefaultDestination(temp, read);
  text[0] = L'\0';
  AppendTruncated(text, kPathCapacity, chosen);
}

void createControls(HWND window) {
  RECT client;
  GetClientRect(window, &client);
  const int width = client.right - client.left;
  const int m = kMargin, bw = kButtonWidth, bh = kButtonHeight, lh = kLabelHeight;
  const int buttonLeft = width - m - bw;
  wchar_t destination[kPathCapacity];
  defaultDestination(destination);
  HFONT normal = shell.normalFont;

  const ControlSpec specs[] = {
      {L"STATIC", kInstruction, 0, 0, 0, {m, m, width - 3 * m - bw, 2 * bh}, shell.boldFont},
      {L"BUTTON", L"Unzip", IDC_UNZIP, BS_PUSHBUTTON, 0, {buttonLeft, m, bw, bh}, normal},
      {L"BUTTON", L"Abort", IDC_ABORT, BS_PUSHBUTTON, 0, {buttonLeft, 2 * m + bh, bw, bh}, normal},
      {L"BUTTON",
       L"Close",
       IDC_CLOSE,
       BS_PUSHBUTTON,
       0,
       {buttonLeft, 3 * m + 2 * bh, bw, bh},
       normal},
      {L"STATIC",
       L"Destination Directory:",
       0,
       0,
       0,
       {m, 3 * m + 2 * bh - lh, width - 4 * m - 2 * bw, lh},
       normal},
      {L"EDIT",
       destination,
       IDC_DESTINATION,
       ES_AUTOHSCROLL,
       WS_EX_CLIENTEDGE,
       {m, 3 * m + 2 * bh, width - 4 * m - 2 * bw, bh},
       normal},
      {L"BUTTON",
       L"Browse",
       IDC_BROWSE,
       BS_PUSHBUTTON,
       0,
       {width - 2 * m - 2 * bw, 3 * m + 2 * bh, bw, bh},
       normal},
      {L"BUTTON",
       L"Overwrite Existing Files",
       IDC_OVERWRITE,
       BS_AUTOCHECKBOX,
       0,
       {m, 4 * m + 3 * bh, width, bh},
       normal},
      {L"STATIC", L"Unzipping: ", 0, SS_CENTER, 0, {m, 5 * m + 4 * bh, width, lh}, normal},
      {PROGRESS_CLASSW,
       nullptr,
       0,
       kProgressStyle,
       0,
       {m, 6 * m + 4 * bh + lh, width - 2 * m, bh},
       nullptr},
  };
  HWND made[10];
  for (int i = 0; i < 10; i++) made[i] = createControl(window, specs[i]);
  shell.instructionLabel = made[0];
  shell.destinationEdit = made[5];
  shell.statusLabel = made[8];
  shell.progressBar = made[9];
}

}  // namespace

void CreateFonts() {
  shell.normalFont = createFont(300);
  shell.boldFont = createFont(700);
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
  CentreWindow(window);
  createControls(window);
  SendMessageW(shell.progressBar, PBM_SETRANGE, 0, MAKELPARAM(0, 65535));
  ShowWindow(window, showCommand);
  UpdateWindow(window);
  return true;
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
