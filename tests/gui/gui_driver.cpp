// Drives a Windows program through its windows as a user would, following a
// step script, and says what it saw. Every step is one line:
//
//   env NAME VALUE | unset NAME | show N     how the next start is made
//   start COMMANDLINE                        starts the program
//   window CLASS TIMEOUT                     waits for its main window
//   caption TEXT | iconic 0|1                the main window
//   close-box | repaint                      its caption's close box; covered and shown again
//   text CTRL TEXT | wait-text CTRL TEXT TIMEOUT | wait-text-starts CTRL TEXT TIMEOUT
//   set-text CTRL TEXT | click CTRL | checked CTRL 0|1
//   progress CTRL N | wait-progress CTRL MIN TIMEOUT
//   watch-run BAR STATUS RUNNING_TEXT FINAL_TEXT TIMEOUT NAME   (bar moves, back to 0)
//   dialog CAPTION TIMEOUT                   waits for a dialog ("*": any caption)
//   dialog-text CTRL TEXT | dialog-set-text CTRL TEXT | dialog-click CTRL
//   dialog-active | dialog-focus CTRL | dialog-icon CTRL | dialog-escape | dialog-close |
//   dialog-gone TIMEOUT no-dialog CAPTION MS                     no such dialog appears for MS exit
//   TIMEOUT CODE | exit-dismissing CAPTION TIMEOUT CODE (answers OK on the way) caption-starts TEXT
//   MAXLENGTH | running | sleep MS | screenshot NAME
//   focus CTRL                               the main window's control with the keyboard focus
//   key tab|enter|escape|space | type TEXT   keys, to the control that has the focus
//   layout                                   logs each control: "layout CLASS ID X Y W H"
//                                            (client coordinates), "client W H", "window W H"
//   font-height EDIT N                       the edit's lines are as high as a font of height N
//
// CTRL is a control id or CLASS#N (the Nth child of that class). Times are
// in milliseconds. After each step but the pure checks and wait-progress
// the screen is saved as PREFIX-NN-COMMAND.png; the first failing step ends the script, and the
// program is ended if it still runs.
//
// usage: gui_driver SCRIPT LOG SCREENSHOT_PREFIX; exit code 0 when every
// step passed.

#include <windows.h>

#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "screen_capture.h"
#include "script_words.h"
#include "target_process.h"

using namespace extractor::test;

namespace {

const DWORD kPollMs = 50;
// How long a check waits for the program to take keys posted to it.
const DWORD kSettleMs = 5000;

struct Driver {
  LaunchOptions launch;
  TargetProcess target;
  HWND mainWindow = nullptr;
  HWND dialog = nullptr;
  std::string shotPrefix;
  FILE* log = nullptr;
  DWORD startTick = GetTickCount();
};

// Empty when the step passed, else what went wrong.
using Outcome = std::string;
using Words = std::vector<std::string>;

std::string quoted(const std::optional<std::string>& text) {
  return text ? "\"" + *text + "\"" : "(no answer)";
}

Outcome compare(const std::string& what, const std::optional<std::string>& seen,
                const std::string& expected) {
  if (seen == expected) return "";
  return what + ": expected \"" + expected + "\", seen " + quoted(seen);
}

// Polls until ready says yes; fails early when the program has ended.
bool waitFor(Driver& driver, DWORD timeoutMs, const std::function<bool()>& ready) {
  DWORD start = GetTickCount();
  for (;;) {
    if (ready()) return true;
    if (GetTickCount() - start >= timeoutMs || !driver.target.running()) return ready();
    Sleep(kPollMs);
  }
}

DWORD number(const std::string& word) {
  return static_cast<DWORD>(std::strtoul(word.c_str(), nullptr, 10));
}

HWND control(HWND parent, const std::string& reference, Outcome& failure) {
  HWND found = parent ? findControl(parent, reference) : nullptr;
  if (!found) failure = "no control " + reference;
  return found;
}

Outcome startProgram(Driver& driver, const Words& words) {
  if (!driver.target.start(words[1], driver.launch)) {
    return "could not start " + words[1] + " (error " + std::to_string(GetLastError()) + ")";
  }
  // For the harness, which ends the program by its id if the driver hangs.
  std::fprintf(driver.log, "process %lu\n", driver.target.id());
  return "";
}

Outcome waitWindow(Driver& driver, const Words& words) {
  waitFor(driver, number(words[2]), [&] {
    driver.mainWindow = driver.target.findWindow(words[1], std::nullopt);
    return driver.mainWindow != nullptr;
  });
  return driver.mainWindow ? "" : "no window of class " + words[1];
}

Outcome waitDialog(Driver& driver, const Words& words) {
  std::optional<std::string> caption;
  if (words[1] != "*") caption = words[1];
  driver.dialog = nullptr;
  waitFor(driver, number(words[2]), [&] {
    driver.dialog = driver.target.findWindow("#32770", caption);
    return driver.dialog != nullptr;
  });
  if (driver.dialog) return "";
  HWND other = driver.target.findWindow("#32770", std::nullopt);
  return "no dialog " + quoted(caption) +
         (other ? ", but one titled " + quoted(windowText(other)) : std::string());
}

Outcome noDialog(Driver& driver, const Words& words) {
  HWND seen = nullptr;
  DWORD start = GetTickCount();
  while (!seen && GetTickCount() - start < number(words[2])) {
    seen = driver.target.findWindow("#32770", words[1]);
    Sleep(kPollMs);
  }
  return seen ? "a dialog \"" + words[1] + "\" appeared" : "";
}

Outcome expectText(HWND parent, const Words& words) {
  Outcome failure;
  HWND found = control(parent, words[1], failure);
  return found ? compare("text of " + words[1], windowText(found), words[2]) : failure;
}

Outcome waitText(Driver& driver, HWND parent, const Words& words, bool wholeText) {
  Outcome failure;
  HWND found = control(parent, words[1], failure);
  if (!found) return failure;
  std::optional<std::string> seen;
  bool matched = waitFor(driver, number(words[3]), [&] {
    seen = windowText(found);
    return seen && (wholeText ? *seen == words[2] : seen->rfind(words[2], 0) == 0);
  });
  if (matched) return "";
  return "text of " + words[1] + (wholeText ? ": expected \"" : ": expected a start \"") +
         words[2] + "\" in time, seen " + quoted(seen);
}

Outcome setText(HWND parent, const Words& words) {
  Outcome failure;
  HWND found = control(parent, words[1], failure);
  if (!found) return failure;
  return setWindowText(found, words[2]) ? "" : "the program did not take the text";
}

// Posted, as a click's WM_COMMAND may open a modal dialog.
Outcome click(HWND parent, const Words& words) {
  Outcome failure;
  HWND found = control(parent, words[1], failure);
  if (!found) return failure;
  return PostMessageA(found, BM_CLICK, 0, 0) ? "" : "could not post the click";
}

Outcome postToDialog(Driver& driver, UINT message, WPARAM wParam) {
  if (!driver.dialog) return "no dialog";
  return PostMessageA(driver.dialog, message, wParam, 0) ? "" : "could not post to the dialog";
}

// Waits a moment for the state: a key that toggles it is posted, and the
// program takes it in its own time.
Outcome checked(Driver& driver, HWND parent, const Words& words) {
  Outcome failure;
  HWND found = control(parent, words[1], failure);
  if (!found) return failure;
  std::string seen;
  waitFor(driver, kSettleMs, [&] {
    auto state = sendWithTimeout(found, BM_GETCHECK, 0, 0);
    seen = state ? std::to_string(*state == BST_CHECKED) : "(no answer)";
    return seen == words[2];
  });
  return seen == words[2]
             ? ""
             : "check state of " + words[1] + ": expected " + words[2] + ", seen " + seen;
}

std::optional<LRESULT> position(HWND bar) {
  return sendWithTimeout(bar, PBM_GETPOS, 0, 0);
}

Outcome expectProgress(HWND parent, const Words& words) {
  Outcome failure;
  HWND bar = control(parent, words[1], failure);
  if (!bar) return failure;
  auto seen = position(bar);
  if (seen && *seen == static_cast<LRESULT>(number(words[2]))) return "";
  return "progress: expected " + words[2] + ", seen " +
         (seen ? std::to_string(*seen) : std::string("(no answer)"));
}

Outcome waitProgress(Driver& driver, const Words& words) {
  Outcome failure;
  HWND bar = control(driver.mainWindow, words[1], failure);
  if (!bar) return failure;
  std::optional<LRESULT> seen;
  bool reached = waitFor(driver, number(words[3]), [&] {
    seen = position(bar);
    return seen && *seen >= static_cast<LRESULT>(number(words[2]));
  });
  if (reached) return "";
  return "progress: expected at least " + words[2] + " in time, seen " +
         (seen ? std::to_string(*seen) : std::string("(no answer)"));
}

bool saveScreen(const std::string& path);

// Follows a run as closely as the driver can, without pictures on the way
// but one: the bar must take two positions or more between 0 and the end,
// the status must show the running text, and the final text ends the run.
Outcome watchRun(Driver& driver, const Words& words) {
  Outcome failure;
  HWND bar = control(driver.mainWindow, words[1], failure);
  HWND status = bar ? control(driver.mainWindow, words[2], failure) : nullptr;
  if (!status) return failure;
  std::set<LRESULT> positions;
  bool runningTextSeen = false, shot = false, ended = false;
  DWORD start = GetTickCount();
  while (!ended && GetTickCount() - start < number(words[5]) && driver.target.running()) {
    auto seen = position(bar);
    auto text = windowText(status);
    bool running = text && text->rfind(words[3], 0) == 0;
    runningTextSeen = runningTextSeen || running;
    ended = text == words[4];
    if (seen && *seen > 0 && !ended) positions.insert(*seen);
    if (running && !positions.empty() && !shot) {
      shot = saveScreen(driver.shotPrefix + "-" + words[6] + ".png");
    }
    Sleep(1);
  }
  auto last = position(bar);
  std::fprintf(driver.log, "     bar positions seen during the run: %zu, the highest %ld\n",
               positions.size(), positions.empty() ? 0L : static_cast<long>(*positions.rbegin()));
  if (!ended) return "status: expected \"" + words[4] + "\" in time";
  if (!runningTextSeen) return "status: never showed \"" + words[3] + "...\"";
  if (positions.size() < 2) return "the bar did not move during the run";
  return last == 0 ? "" : "the bar did not go back to 0 at the end";
}

Outcome iconic(Driver& driver, const Words& words) {
  if (!driver.mainWindow) return "no main window";
  std::string seen = std::to_string(IsIconic(driver.mainWindow) != 0);
  return seen == words[1] ? "" : "minimised: expected " + words[1] + ", seen " + seen;
}

Outcome dialogGone(Driver& driver, const Words& words) {
  HWND dialog = driver.dialog;
  bool gone = waitFor(driver, number(words[1]), [&] { return !IsWindow(dialog); });
  if (gone) driver.dialog = nullptr;
  return gone ? "" : "the dialog is still open";
}

Outcome waitExit(Driver& driver, const Words& words) {
  auto code = driver.target.waitForExit(number(words[1]));
  if (!code) return "the program did not end in time";
  return *code == number(words[2])
             ? ""
             : "exit code: expected " + words[2] + ", seen " + std::to_string(*code);
}

Outcome captionStarts(Driver& driver, const Words& words) {
  if (!driver.mainWindow) return "no main window";
  auto seen = windowText(driver.mainWindow);
  if (seen && seen->rfind(words[1], 0) == 0 && seen->size() <= number(words[2])) return "";
  return "caption: expected a start \"" + words[1] + "\" and at most " + words[2] +
         " characters, seen " + quoted(seen);
}

// Waits for the end while answering OK to any dialog with this caption that
// shows up on the way, as a user would.
Outcome exitDismissing(Driver& driver, const Words& words) {
  std::optional<DWORD> code;
  DWORD start = GetTickCount();
  while (!code && GetTickCount() - start < number(words[2])) {
    if (HWND dialog = driver.target.findWindow("#32770", words[1])) {
      std::fprintf(driver.log, "     answered OK to \"%s\": %s\n", words[1].c_str(),
                   quoted(windowText(findControl(dialog, "109"))).c_str());
      PostMessageA(dialog, WM_COMMAND, IDOK, 0);
    }
    code = driver.target.waitForExit(kPollMs * 4);
  }
  if (!code) return "the program did not end in time";
  return *code == number(words[3])
             ? ""
             : "exit code: expected " + words[3] + ", seen " + std::to_string(*code);
}

// Which control of the dialog has the keyboard focus, as its thread holds it.
Outcome dialogFocus(Driver& driver, const Words& words) {
  Outcome failure;
  HWND wanted = control(driver.dialog, words[1], failure);
  if (!wanted) return failure;
  GUITHREADINFO state{};
  state.cbSize = sizeof state;
  DWORD thread = GetWindowThreadProcessId(driver.dialog, nullptr);
  if (!GetGUIThreadInfo(thread, &state)) return "the dialog's thread state cannot be read";
  if (state.hwndFocus == wanted) return "";
  return "focus: expected control " + words[1] + ", seen " +
         (state.hwndFocus ? "id " + std::to_string(GetDlgCtrlID(state.hwndFocus)) + " (" +
                                className(state.hwndFocus) + ")"
                          : std::string("none"));
}

HWND focusOf(HWND window) {
  GUITHREADINFO state{};
  state.cbSize = sizeof state;
  DWORD thread = GetWindowThreadProcessId(window, nullptr);
  return GetGUIThreadInfo(thread, &state) ? state.hwndFocus : nullptr;
}

Outcome mainFocus(Driver& driver, const Words& words) {
  Outcome failure;
  HWND wanted = control(driver.mainWindow, words[1], failure);
  if (!wanted) return failure;
  HWND focus = nullptr;
  if (waitFor(driver, kSettleMs, [&] { return (focus = focusOf(driver.mainWindow)) == wanted; })) {
    return "";
  }
  return "focus: expected control " + words[1] + ", seen " +
         (focus ? "id " + std::to_string(GetDlgCtrlID(focus)) + " (" + className(focus) + ")"
                : std::string("none"));
}

// Posted to the focused control as the system queues a key press: the
// program's message loop sees them as typed keys.
Outcome pressKey(Driver& driver, const Words& words) {
  static const std::pair<const char*, WORD> keys[] = {
      {"tab", VK_TAB}, {"enter", VK_RETURN}, {"escape", VK_ESCAPE}, {"space", VK_SPACE}};
  WORD key = 0;
  for (const auto& [name, code] : keys) {
    if (words[1] == name) key = code;
  }
  if (key == 0) return "no key " + words[1];
  HWND focus = driver.mainWindow ? focusOf(driver.mainWindow) : nullptr;
  if (!focus) return "no control has the focus";
  LPARAM scan = static_cast<LPARAM>(MapVirtualKeyA(key, MAPVK_VK_TO_VSC)) << 16;
  bool posted = PostMessageA(focus, WM_KEYDOWN, key, scan | 1) &&
                PostMessageA(focus, WM_KEYUP, key, scan | 1 | (3u << 30));
  return posted ? "" : "could not post the key";
}

Outcome typeText(Driver& driver, const Words& words) {
  HWND focus = driver.mainWindow ? focusOf(driver.mainWindow) : nullptr;
  if (!focus) return "no control has the focus";
  for (unsigned char c : words[1]) {
    if (!PostMessageA(focus, WM_CHAR, c, 1)) return "could not post the text";
  }
  return "";
}

BOOL CALLBACK logControl(HWND child, LPARAM parameter) {
  auto* driver = reinterpret_cast<Driver*>(parameter);
  RECT r;
  GetWindowRect(child, &r);
  MapWindowPoints(nullptr, driver->mainWindow, reinterpret_cast<POINT*>(&r), 2);
  std::fprintf(driver->log, "layout %s %d %ld %ld %ld %ld\n", className(child).c_str(),
               GetDlgCtrlID(child), r.left, r.top, r.right - r.left, r.bottom - r.top);
  return TRUE;
}

// A control's font cannot be read from another process; a single-line
// edit's formatting rectangle is one line of its font high, which this
// process compares with a font of its own made from the expected height.
Outcome editFontHeight(Driver& driver, const Words& words) {
  Outcome failure;
  HWND edit = control(driver.mainWindow, words[1], failure);
  if (!edit) return failure;
  RECT line{};
  SendMessageA(edit, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&line));
  HFONT font = CreateFontA(static_cast<int>(number(words[2])), 0, 0, 0, 300, FALSE, FALSE, FALSE,
                           ANSI_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                           0x22, "MS Sans Serif");
  HDC screen = GetDC(nullptr);
  HGDIOBJ old = SelectObject(screen, font);
  TEXTMETRICA metrics{};
  GetTextMetricsA(screen, &metrics);
  SelectObject(screen, old);
  ReleaseDC(nullptr, screen);
  DeleteObject(font);
  long seen = line.bottom - line.top;
  std::fprintf(driver.log, "     line height %ld, of a font %s high %ld\n", seen, words[2].c_str(),
               metrics.tmHeight);
  if (seen == metrics.tmHeight) return "";
  return "the edit's lines are " + std::to_string(seen) + " high, a font of height " + words[2] +
         " makes " + std::to_string(metrics.tmHeight);
}

Outcome logLayout(Driver& driver, const Words&) {
  if (!driver.mainWindow) return "no main window";
  RECT client, frame;
  GetClientRect(driver.mainWindow, &client);
  GetWindowRect(driver.mainWindow, &frame);
  std::fprintf(driver.log, "client %ld %ld\nwindow %ld %ld\n", client.right, client.bottom,
               frame.right - frame.left, frame.bottom - frame.top);
  EnumChildWindows(driver.mainWindow, logControl, reinterpret_cast<LPARAM>(&driver));
  return "";
}

// Keys a user types reach only the active window of the foreground thread.
Outcome dialogActive(Driver& driver, const Words&) {
  if (!driver.dialog) return "no dialog";
  HWND foreground = GetForegroundWindow();
  if (foreground == driver.dialog) return "";
  return "the dialog is not the foreground window; that is " +
         (foreground ? quoted(windowText(foreground)) : std::string("none"));
}

Outcome dialogIcon(Driver& driver, const Words& words) {
  Outcome failure;
  HWND found = control(driver.dialog, words[1], failure);
  if (!found) return failure;
  auto icon = sendWithTimeout(found, STM_GETICON, 0, 0);
  return icon && *icon ? "" : "control " + words[1] + " shows no icon";
}

// The program repaints after a change in its own time: give it a moment, so
// the picture shows what a user would see.
bool saveScreen(const std::string& path) {
  Sleep(100);
  return writePng(path, captureScreen());
}

struct Command {
  const char* name;
  size_t arguments;
  bool screenshot;  // the screen is saved after the step
  std::function<Outcome(Driver&, const Words&)> run;
};

const std::vector<Command>& commands() {
  static const std::vector<Command> table = {
      {"env", 2, false,
       [](Driver& d, const Words& w) {
         d.launch.environment[w[1]] = w[2];
         return Outcome();
       }},
      {"unset", 1, false,
       [](Driver& d, const Words& w) {
         d.launch.environment[w[1]] = std::nullopt;
         return Outcome();
       }},
      {"show", 1, false,
       [](Driver& d, const Words& w) {
         d.launch.showCommand = static_cast<WORD>(number(w[1]));
         return Outcome();
       }},
      {"start", 1, false, startProgram},
      {"window", 2, true, waitWindow},
      {"caption", 1, false,
       [](Driver& d, const Words& w) {
         return d.mainWindow ? compare("caption", windowText(d.mainWindow), w[1])
                             : Outcome("no main window");
       }},
      {"caption-starts", 2, false, captionStarts},
      {"iconic", 1, false, iconic},
      {"close-box", 0, true,
       [](Driver& d, const Words&) {
         return d.mainWindow && PostMessageA(d.mainWindow, WM_SYSCOMMAND, SC_CLOSE, 0)
                    ? Outcome()
                    : Outcome("could not post to the main window");
       }},
      {"repaint", 0, true,
       [](Driver& d, const Words&) {
         return d.mainWindow && RedrawWindow(d.mainWindow, nullptr, nullptr,
                                             RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN)
                    ? Outcome()
                    : Outcome("could not repaint the main window");
       }},
      {"text", 2, false, [](Driver& d, const Words& w) { return expectText(d.mainWindow, w); }},
      {"wait-text", 3, true,
       [](Driver& d, const Words& w) { return waitText(d, d.mainWindow, w, true); }},
      {"wait-text-starts", 3, true,
       [](Driver& d, const Words& w) { return waitText(d, d.mainWindow, w, false); }},
      {"set-text", 2, true, [](Driver& d, const Words& w) { return setText(d.mainWindow, w); }},
      {"click", 1, true, [](Driver& d, const Words& w) { return click(d.mainWindow, w); }},
      {"checked", 2, false, [](Driver& d, const Words& w) { return checked(d, d.mainWindow, w); }},
      {"progress", 2, false,
       [](Driver& d, const Words& w) { return expectProgress(d.mainWindow, w); }},
      // No picture after the wait: the step that reacts to it must follow at once.
      {"wait-progress", 3, false, waitProgress},
      {"watch-run", 6, true, watchRun},
      {"dialog", 2, true, waitDialog},
      {"dialog-text", 2, false, [](Driver& d, const Words& w) { return expectText(d.dialog, w); }},
      {"dialog-set-text", 2, true, [](Driver& d, const Words& w) { return setText(d.dialog, w); }},
      {"dialog-click", 1, false, [](Driver& d, const Words& w) { return click(d.dialog, w); }},
      {"dialog-focus", 1, false, dialogFocus},
      {"dialog-icon", 1, false, dialogIcon},
      {"dialog-active", 0, false, dialogActive},
      {"focus", 1, false, mainFocus},
      {"key", 1, true, pressKey},
      {"type", 1, true, typeText},
      {"layout", 0, false, logLayout},
      {"font-height", 2, false, editFontHeight},
      {"dialog-escape", 0, false,
       [](Driver& d, const Words&) { return postToDialog(d, WM_KEYDOWN, VK_ESCAPE); }},
      {"dialog-close", 0, false,
       [](Driver& d, const Words&) { return postToDialog(d, WM_SYSCOMMAND, SC_CLOSE); }},
      {"dialog-gone", 1, true, dialogGone},
      {"no-dialog", 2, false, noDialog},
      {"exit", 2, false, waitExit},
      {"exit-dismissing", 3, false, exitDismissing},
      {"running", 0, false,
       [](Driver& d, const Words&) {
         return d.target.running() ? Outcome() : Outcome("the program has ended");
       }},
      {"sleep", 1, true,
       [](Driver&, const Words& w) {
         Sleep(number(w[1]));
         return Outcome();
       }},
      {"screenshot", 1, false,
       [](Driver& d, const Words& w) {
         std::string path = d.shotPrefix + "-" + w[1] + ".png";
         return saveScreen(path) ? Outcome() : Outcome("could not write " + path);
       }},
  };
  return table;
}

const Command* findCommand(const Words& words, Outcome& failure) {
  for (const Command& command : commands()) {
    if (words[0] != command.name) continue;
    if (words.size() != command.arguments + 1) {
      failure = "takes " + std::to_string(command.arguments) + " argument(s)";
      return nullptr;
    }
    return &command;
  }
  failure = "unknown command";
  return nullptr;
}

std::string shotName(const Driver& driver, int step, const std::string& command) {
  char number[8];
  std::snprintf(number, sizeof number, "%02d", step);
  return driver.shotPrefix + "-" + number + "-" + command + ".png";
}

// One script line; false when it failed.
bool runLine(Driver& driver, const std::string& line, int lineNumber, int& step) {
  Words words;
  Outcome failure;
  if (!splitWords(line, words)) failure = "a quote is left open";
  if (failure.empty() && words.empty()) return true;
  const Command* command = failure.empty() ? findCommand(words, failure) : nullptr;
  if (command) failure = command->run(driver, words);
  std::string shot;
  if (command && (command->screenshot || !failure.empty())) {
    shot = shotName(driver, ++step, words[0]);
    if (!saveScreen(shot)) shot += " (not written)";
  }
  double seconds = (GetTickCount() - driver.startTick) / 1000.0;
  if (failure.empty()) {
    std::fprintf(driver.log, "ok   %d: %.2f s: %s\n", lineNumber, seconds, line.c_str());
  } else {
    std::fprintf(driver.log, "FAIL %d: %.2f s: %s\n     %s\n", lineNumber, seconds, line.c_str(),
                 failure.c_str());
    if (!shot.empty()) std::fprintf(driver.log, "     screen: %s\n", shot.c_str());
  }
  std::fflush(driver.log);
  return failure.empty();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: gui_driver SCRIPT LOG SCREENSHOT_PREFIX\n");
    return 2;
  }
  std::ifstream script(argv[1]);
  Driver driver;
  driver.shotPrefix = argv[3];
  driver.log = std::fopen(argv[2], "w");
  if (!script || !driver.log) {
    std::fprintf(stderr, "gui_driver: cannot read %s or write %s\n", argv[1], argv[2]);
    return 2;
  }
  std::fprintf(driver.log, "process %lu\n", GetCurrentProcessId());
  std::string line;
  int lineNumber = 0, step = 0;
  bool passed = true;
  while (passed && std::getline(script, line)) passed = runLine(driver, line, ++lineNumber, step);
  if (driver.target.running()) {
    std::fprintf(driver.log, "note: the program still ran after the script and was ended\n");
  }
  driver.target.terminate();
  std::fprintf(driver.log, passed ? "PASS\n" : "FAILED\n");
  std::fclose(driver.log);
  return passed ? 0 : 1;
}
