// The operations through which an installation run talks to its user. The
// Win32 progress dialog, the terminal and the tests each realise them.
// Texts are UTF-16 and may be null, which shows as empty.
#pragma once

#include <cstdint>

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
  // Staging has written `done` of `total` bytes: every loose file, then for
  // each rewritten archive its new entries and the old entries it keeps, the
  // archive counted at its old size. `total` is known before the first byte
  // is staged and stays the same; `done` never decreases and ends at `total`
  // when staging completes. Called as files and entries are staged, at most
  // once per file or entry and about once a MiB of small ones, so a host may
  // draw at once; one without a progress display ignores it.
  virtual void ShowProgress(std::uint64_t /*done*/, std::uint64_t /*total*/) {}
};

}  // namespace engine
