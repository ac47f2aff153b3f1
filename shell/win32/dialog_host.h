// The installer host of the Windows build: the run's status line, button,
// questions and errors are the progress dialog's controls and message boxes.
// Every operation is called on the installer thread and acts directly on the
// dialog's window; Win32 carries the changes over to the dialog's own thread.
#pragma once

#include <windows.h>

#include "engine/installer_host.h"

namespace shell::win32 {

// Control ids of the progress dialog template.
inline constexpr int kStatusBoxId = 1005;
inline constexpr int kButtonId = IDCANCEL;

class DialogHost final : public engine::InstallerHost {
 public:
  explicit DialogHost(HWND window) : window_(window) {}

  void SetStatusText(const char16_t* text) override;
  void SetButtonText(const char16_t* text) override;
  bool AskYesNo(const char16_t* text) override;
  void ShowError(const char16_t* text) override;
  void CloseDialog() override;
  bool IsCancelRequested() override;
  void MarkFinished() override;

 private:
  HWND window_;
};

}  // namespace shell::win32
