// The seven operations through which an installation run talks to its user.
// The Win32 progress dialog, the terminal and the tests each realise them.
// Texts are UTF-16 and may be null, which shows as empty.
#pragma once

namespace engine {

class InstallerHost {
 public:
  virtual ~InstallerHost() = default;

  virtual void SetStatusText(const char16_t* text) = 0;
  virtual void SetButtonText(const char16_t* text) = 0;
  // Blocks until answered; only an explicit No returns false.
  virtual bool AskYesNo(const char16_t* text) = 0;
  // Blocks until dismissed.
  virtual void ShowError(const char16_t* text) = 0;
  // Ends the progress display after a failed or cancelled run.
  virtual void CloseDialog() = 0;
  virtual bool IsCancelRequested() = 0;
  // From now on the button closes the dialog instead of cancelling.
  virtual void MarkFinished() = 0;
};

}  // namespace engine
