// The Wine test driver: starts the installer in a given directory and plays a
// user's part from a small script, checking what the installer shows.
//
//   driver run --exe FILE --cwd DIR [--sync DIR] [--timeout SECONDS]
//              [--hold FILE] -- STEP...
//
// --hold opens FILE before the installer starts and keeps it open to the
// end, shared for reading and writing but not for deletion, as a running
// game holds its files.
//
// Steps (each waits, up to the timeout, for what it expects):
//   expect-status TEXT     the progress dialog's status box reads TEXT
//   expect-button TEXT     its button reads TEXT
//   press-button           presses the progress dialog's button
//   expect-error TEXT      an "Error" box over the dialog says TEXT
//   expect-buttons yes-no|ok  the open box has exactly these buttons
//   answer yes|no|ok       answers the open box, which must then close
//   expect-browse TITLE    the browse dialog is open, titled TITLE inside
//   expect-selection TEXT  its selected folder's path ends with TEXT
//   browse-ok | browse-cancel
//   screenshot NAME        asks the runner to photograph the screen
//   expect-exit CODE       the process ends with CODE, showing nothing more
//   expect-no-window       no dialog of the installer has appeared so far
//   expect-no-dialog TITLE no dialog titled TITLE has appeared so far
//
// Every line of output says what was seen; a failed step prints "FAIL:",
// ends the installer and makes the driver exit with 1.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cwchar>
#include <string>
#include <thread>
#include <vector>

#include "ui_probe.h"

namespace driver {
namespace {

constexpr auto kPollInterval = std::chrono::milliseconds(20);

const auto kStarted = std::chrono::steady_clock::now();

// One line of the transcript, stamped with the time since the driver started.
void Say(const char* kind, const std::wstring& text) {
  const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - kStarted;
  std::printf("[%6.2fs] %s %s\n", elapsed.count(), kind, Utf8(text).c_str());
  std::fflush(stdout);
}

class Session {
 public:
  Session(PROCESS_INFORMATION process, std::wstring sync_dir, double timeout_seconds)
      : process_(process), sync_dir_(std::move(sync_dir)), timeout_(timeout_seconds) {}
  ~Session() {
    if (WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT) {
      Say("note:", L"ending the installer");
      TerminateProcess(process_.hProcess, 99);
      WaitForSingleObject(process_.hProcess, 5000);
    }
    CloseHandle(process_.hThread);
    CloseHandle(process_.hProcess);
  }
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // Runs one step; reads its arguments from `args` at `next`.
  bool Step(const std::vector<std::wstring>& args, std::size_t& next);

 private:
  // Polls `done` until it yields true or the time is up. Records every dialog
  // seen meanwhile and stops early when the installer has exited or, unless
  // `boxes_allowed`, when an unexpected "Error" box shows up.
  template <typename Check>
  bool WaitFor(const std::wstring& what, Check done, bool boxes_allowed = false,
               double seconds = 0);
  bool Exited() const { return WaitForSingleObject(process_.hProcess, 0) == WAIT_OBJECT_0; }
  void Observe();

  bool ExpectDialogText(int id, const std::wstring& expected);
  bool PressButton();
  bool ExpectError(const std::wstring& expected);
  bool ExpectButtons(const std::wstring& buttons);
  bool Answer(const std::wstring& answer);
  bool ExpectBrowse(const std::wstring& title);
  bool ExpectSelection(const std::wstring& ending);
  bool PressBrowse(int id);
  bool Screenshot(const std::wstring& name);
  bool ExpectExit(const std::wstring& code);
  bool ExpectNoWindow();
  bool ExpectNoDialog(const std::wstring& title);

  PROCESS_INFORMATION process_;
  std::wstring sync_dir_;
  double timeout_;
  std::vector<std::wstring> seen_titles_;
};

template <typename Check>
bool Session::WaitFor(const std::wstring& what, Check done, bool boxes_allowed, double seconds) {
  if (seconds <= 0) seconds = timeout_;
  const auto deadline = std::chrono::steady_clock::now() +
                        std::chrono::milliseconds(static_cast<int>(seconds * 1000));
  while (true) {
    Observe();
    if (done()) return true;
    if (!boxes_allowed) {
      if (HWND box = FindErrorBox(process_.dwProcessId)) {
        Say("FAIL: unexpected box while waiting for", what + L": " + DialogItemText(box, 0xFFFF));
        return false;
      }
    }
    if (Exited()) {
      Say("FAIL: the installer exited while waiting for", what);
      return false;
    }
    if (std::chrono::steady_clock::now() > deadline) {
      Say("FAIL: timed out waiting for", what);
      return false;
    }
    std::this_thread::sleep_for(kPollInterval);
  }
}

void Session::Observe() {
  for (HWND dialog : DialogsOfProcess(process_.dwProcessId)) {
    std::wstring title = WindowTitle(dialog);
    if (title.empty()) title = L"(untitled)";
    bool known = false;
    for (const auto& seen : seen_titles_) known = known || seen == title;
    if (!known) seen_titles_.push_back(title);
  }
}

bool Session::ExpectDialogText(int id, const std::wstring& expected) {
  const wchar_t* control = id == IDCANCEL ? L"button" : L"status";
  std::wstring last;
  const bool ok = WaitFor(std::wstring(control) + L" \"" + expected + L"\"", [&] {
    HWND dialog = FindProgressDialog(process_.dwProcessId);
    if (dialog == nullptr) return false;
    last = DialogItemText(dialog, id);
    return last == expected;
  });
  if (ok) Say(id == IDCANCEL ? "button:" : "status:", last);
  if (!ok && !last.empty()) Say("  last seen:", last);
  return ok;
}

bool Session::PressButton() {
  HWND dialog = FindProgressDialog(process_.dwProcessId);
  // Read first: a press on Close ends the dialog.
  const std::wstring caption = dialog == nullptr ? L"" : DialogItemText(dialog, IDCANCEL);
  if (dialog == nullptr || !ClickButton(dialog, IDCANCEL)) {
    Say("FAIL:", L"no progress dialog button to press");
    return false;
  }
  Say("pressed:", caption);
  return true;
}

bool Session::ExpectError(const std::wstring& expected) {
  HWND box = nullptr;
  std::wstring text;
  const bool shown = WaitFor(
      L"box \"" + expected + L"\"",
      [&] {
        box = FindErrorBox(process_.dwProcessId);
        if (box == nullptr) return false;
        text = DialogItemText(box, 0xFFFF);
        return true;
      },
      true);
  if (!shown) return false;
  std::wstring buttons;
  for (int id : ButtonIds(box))
    buttons += id == IDOK ? L" OK" : id == IDYES ? L" Yes" : id == IDNO ? L" No" : L" ?";
  HWND owner = GetWindow(box, GW_OWNER);
  const bool owned_by_dialog =
      owner != nullptr && owner == FindProgressDialog(process_.dwProcessId);
  Say("box:", L"\"" + text + L"\" buttons:" + buttons + (ShowsIcon(box) ? L" icon" : L" no-icon") +
                  (owned_by_dialog ? L" owner=progress-dialog" : L" owner=other"));
  if (text != expected) {
    Say("FAIL: box text differs, expected", expected);
    return false;
  }
  if (ShowsIcon(box)) {
    Say("FAIL:", L"the box shows an icon");
    return false;
  }
  // Owned by the progress dialog, so that the dialog is disabled while the
  // box is open and its button cannot cancel in the middle of a question.
  if (!owned_by_dialog) {
    Say("FAIL:", L"the box is not owned by the progress dialog");
    return false;
  }
  return true;
}

bool Session::ExpectButtons(const std::wstring& buttons) {
  HWND box = FindErrorBox(process_.dwProcessId);
  if (box == nullptr) {
    Say("FAIL: no box open to have buttons", buttons);
    return false;
  }
  const std::vector<int> expected =
      buttons == L"yes-no" ? std::vector<int>{IDYES, IDNO} : std::vector<int>{IDOK};
  std::vector<int> actual = ButtonIds(box);
  std::sort(actual.begin(), actual.end());
  if (actual != expected) {
    Say("FAIL: the box has other buttons than", buttons);
    return false;
  }
  Say("buttons:", buttons);
  return true;
}

bool Session::Answer(const std::wstring& answer) {
  const int id = answer == L"yes" ? IDYES : answer == L"no" ? IDNO : IDOK;
  HWND box = FindErrorBox(process_.dwProcessId);
  if (box == nullptr || !ClickButton(box, id)) {
    Say("FAIL: no box with a button for", answer);
    return false;
  }
  const bool closed = WaitFor(
      L"the box to close", [&] { return !IsWindow(box) || !IsWindowVisible(box); }, true);
  if (closed) Say("answered:", answer);
  return closed;
}

bool Session::ExpectBrowse(const std::wstring& title) {
  HWND dialog = nullptr;
  if (!WaitFor(L"the browse dialog", [&] {
        dialog = FindBrowseDialog(process_.dwProcessId);
        return dialog != nullptr;
      })) {
    return false;
  }
  bool found = false;
  for (const auto& text : StaticTexts(dialog)) {
    Say("browse text:", text);
    found = found || text == title;
  }
  if (!found) Say("FAIL: no browse text reads", title);
  return found;
}

bool Session::ExpectSelection(const std::wstring& ending) {
  std::wstring path;
  // The dialog selects while it initializes, before it first shows: a short
  // wait is enough, and keeps a run whose selection failed short.
  constexpr double kSelectionSeconds = 3;
  const bool ok = WaitFor(
      L"the selection " + ending,
      [&] {
        HWND dialog = FindBrowseDialog(process_.dwProcessId);
        if (dialog == nullptr) return false;
        path = TreeSelectionPath(process_.hProcess, dialog);
        return path.size() >= ending.size() &&
               path.compare(path.size() - ending.size(), ending.size(), ending) == 0;
      },
      false, kSelectionSeconds);
  Say(ok ? "selection:" : "  last selection:", path);
  if (!ok) Screenshot(L"selection-failure");
  return ok;
}

bool Session::PressBrowse(int id) {
  HWND dialog = FindBrowseDialog(process_.dwProcessId);
  if (dialog == nullptr || !ClickButton(dialog, id)) {
    Say("FAIL:", L"no browse dialog button to press");
    return false;
  }
  Say("pressed:", id == IDOK ? L"browse OK" : L"browse Cancel");
  return true;
}

bool Session::Screenshot(const std::wstring& name) {
  if (sync_dir_.empty()) {
    Say("note: no --sync directory, no screenshot of", name);
    return true;
  }
  // Give the last repaint time to reach the screen.
  std::this_thread::sleep_for(std::chrono::milliseconds(400));
  const std::wstring ready = sync_dir_ + L"\\" + name + L".ready";
  const std::wstring done = sync_dir_ + L"\\" + name + L".done";
  HANDLE file = CreateFileW(ready.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    Say("FAIL: cannot write", ready);
    return false;
  }
  CloseHandle(file);
  const bool taken = WaitFor(
      L"the screenshot " + name,
      [&] { return GetFileAttributesW(done.c_str()) != INVALID_FILE_ATTRIBUTES; }, true);
  if (taken) Say("screenshot:", name);
  return taken;
}

bool Session::ExpectExit(const std::wstring& code) {
  const DWORD expected = static_cast<DWORD>(std::wcstoll(code.c_str(), nullptr, 10));
  // Once the installer has exited there is nothing left to see, so the
  // usual early stop on exit must not count as a failure here.
  const auto deadline = std::chrono::steady_clock::now() +
                        std::chrono::milliseconds(static_cast<int>(timeout_ * 1000));
  while (!Exited()) {
    Observe();
    if (HWND box = FindErrorBox(process_.dwProcessId)) {
      Say("FAIL: unexpected box while waiting for the exit:", DialogItemText(box, 0xFFFF));
      return false;
    }
    if (std::chrono::steady_clock::now() > deadline) {
      Say("FAIL:", L"timed out waiting for the installer to exit");
      return false;
    }
    std::this_thread::sleep_for(kPollInterval);
  }
  DWORD actual = 0;
  GetExitCodeProcess(process_.hProcess, &actual);
  Say("exit:", std::to_wstring(actual));
  if (actual != expected) {
    Say("FAIL: exit code differs, expected", code);
    return false;
  }
  return true;
}

bool Session::ExpectNoWindow() {
  Observe();
  if (seen_titles_.empty()) {
    Say("windows:", L"none");
    return true;
  }
  for (const auto& title : seen_titles_) Say("FAIL: a dialog was shown:", title);
  return false;
}

bool Session::ExpectNoDialog(const std::wstring& title) {
  Observe();
  for (const auto& seen : seen_titles_) {
    if (seen == title) {
      Say("FAIL: a dialog was shown:", title);
      return false;
    }
  }
  Say("never shown:", title);
  return true;
}

bool Session::Step(const std::vector<std::wstring>& args, std::size_t& next) {
  const std::wstring step = args[next++];
  auto argument = [&]() -> std::wstring { return next < args.size() ? args[next++] : L""; };
  if (step == L"expect-status") return ExpectDialogText(1005, argument());
  if (step == L"expect-button") return ExpectDialogText(IDCANCEL, argument());
  if (step == L"press-button") return PressButton();
  if (step == L"expect-error") return ExpectError(argument());
  if (step == L"expect-buttons") return ExpectButtons(argument());
  if (step == L"answer") return Answer(argument());
  if (step == L"expect-browse") return ExpectBrowse(argument());
  if (step == L"expect-selection") return ExpectSelection(argument());
  if (step == L"browse-ok") return PressBrowse(IDOK);
  if (step == L"browse-cancel") return PressBrowse(IDCANCEL);
  if (step == L"screenshot") return Screenshot(argument());
  if (step == L"expect-exit") return ExpectExit(argument());
  if (step == L"expect-no-window") return ExpectNoWindow();
  if (step == L"expect-no-dialog") return ExpectNoDialog(argument());
  Say("FAIL: unknown step", step);
  return false;
}

int Run(const std::vector<std::wstring>& args) {
  std::wstring exe, cwd, sync_dir, held;
  double timeout = 20;
  std::size_t next = 0;
  while (next < args.size() && args[next] != L"--") {
    const std::wstring option = args[next++];
    const std::wstring value = next < args.size() ? args[next++] : L"";
    if (option == L"--exe")
      exe = value;
    else if (option == L"--cwd")
      cwd = value;
    else if (option == L"--sync")
      sync_dir = value;
    else if (option == L"--timeout")
      timeout = std::wcstod(value.c_str(), nullptr);
    else if (option == L"--hold")
      held = value;
    else {
      Say("FAIL: unknown option", option);
      return 2;
    }
  }
  ++next;  // the "--"

  // Closed by the driver's exit.
  if (!held.empty()) {
    if (CreateFileW(held.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr) == INVALID_HANDLE_VALUE) {
      Say("FAIL: cannot hold", held);
      return 1;
    }
    Say("holding", held);
  }
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  std::wstring command_line = L"\"" + exe + L"\"";
  if (!CreateProcessW(exe.c_str(), command_line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      cwd.c_str(), &startup, &process)) {
    Say("FAIL: cannot start", exe + L" in " + cwd);
    return 1;
  }
  Session session(process, sync_dir, timeout);
  while (next < args.size()) {
    if (!session.Step(args, next)) return 1;
  }
  return 0;
}

}  // namespace
}  // namespace driver

int wmain(int argc, wchar_t** argv) {
  std::vector<std::wstring> args(argv + 1, argv + argc);
  if (args.empty()) return 2;
  const std::wstring mode = args.front();
  args.erase(args.begin());
  if (mode == L"run") return driver::Run(args);
  return 2;
}
