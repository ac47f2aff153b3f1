#include "shell/win32/progress_dialog.h"

#include "engine/fs/file_system.h"
#include "engine/run_installation.h"
#include "messages/message_table.h"
#include "shell/install_flags.h"
#include "shell/win32/dialog_host.h"
#include "shell/win32/embedded_payload.h"
#include "shell/win32/wide.h"

namespace shell::win32 {
namespace {

// The installer thread: one whole run against the dialog whose window handle
// it was started with. Nobody waits for it or reads its result.
DWORD WINAPI InstallerThread(LPVOID window) {
  DialogHost host(static_cast<HWND>(window));
  return static_cast<DWORD>(
      engine::RunInstallation(host, engine::NativeFileSystem(), FindEmbeddedPayload));
}

void OnInitDialog(HWND window, HINSTANCE instance) {
  SetDlgItemTextW(window, kStatusBoxId, Wide(messages::Message(messages::MsgId::Extracting)));
  SetDlgItemTextW(window, kButtonId, Wide(messages::Message(messages::MsgId::Cancel)));
  // The dialog has no caption bar; the title shows in the task bar and the
  // task switcher.
  SetWindowTextA(window, "Patch Installer");
  // This sets the icon of the standard dialog class, for the whole process.
  // The pointer-sized call keeps the handle whole on 64-bit Windows.
  HICON icon = LoadIconA(instance, MAKEINTRESOURCEA(kIconId));
  SetClassLongPtrA(window, GCLP_HICON, reinterpret_cast<LONG_PTR>(icon));

  // Reset before the thread exists, so the thread sees them cleared.
  shell::CancelRequested.store(false);
  shell::InstallFinished.store(false);

  HANDLE thread = CreateThread(nullptr, 0, InstallerThread, window, 0, nullptr);
  if (thread == nullptr) {
    // Without a run nothing would ever end the dialog; end it as a failed
    // run ends it.
    EndDialog(window, 2);
    return;
  }
  CloseHandle(thread);
}

void OnCancelButton(HWND window) {
  if (!shell::InstallFinished.load()) {
    // The run stops at its next check point and closes the dialog itself.
    shell::CancelRequested.store(true);
  } else {
    EndDialog(window, 1);
  }
}

}  // namespace

INT_PTR CALLBACK ProgressDialogProc(HWND window, UINT message, WPARAM w_param, LPARAM l_param) {
  switch (message) {
    case WM_INITDIALOG:
      OnInitDialog(window, reinterpret_cast<HINSTANCE>(l_param));
      // No default focus: focusing the status box would select its text.
      return FALSE;
    case WM_COMMAND:
      // The notification code is not examined: the button and the Esc key
      // arrive alike.
      if (LOWORD(w_param) != IDCANCEL) return FALSE;
      OnCancelButton(window);
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace shell::win32
