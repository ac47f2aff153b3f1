// The installation run's user interface in a terminal: status lines printed
// as they change, the button's caption where it tells the user something,
// questions answered on standard input, errors on standard error, and while
// files are staged a progress bar, when standard output is a terminal.
#pragma once

#include <atomic>
#include <functional>

#include "base/unique_fd.h"
#include "engine/installer_host.h"
#include "shell/console/line_reader.h"
#include "shell/console/progress_bar.h"

namespace console {

class ConsoleHost final : public engine::InstallerHost {
 public:
  // `ended` is called on the installer thread when the run has ended its
  // display, by failing, being cancelled or succeeding.
  ConsoleHost(LineReader& input, std::function<void()> ended);

  void SetStatusText(const char16_t* text) override;
  void SetButtonText(const char16_t* text) override;
  // y/yes or n/no in any case; anything else asks again; end of input is
  // yes. A Ctrl+C while the question waits answers it with no.
  bool AskYesNo(const char16_t* text) override;
  void ShowError(const char16_t* text) override;
  void CloseDialog() override;
  bool IsCancelRequested() override;
  void MarkFinished() override;
  void ShowProgress(std::uint64_t done, std::uint64_t total) override;

  // Called on the main thread for Ctrl+C. Only the first press before the
  // run has finished counts; later ones change nothing.
  void RequestCancel();

  bool error_shown() const { return error_shown_; }

 private:
  LineReader& input_;
  std::function<void()> ended_;
  std::atomic<bool> error_shown_{false};
  ProgressBar bar_{stdout};
  // A byte is written here on cancel, so that a question waiting for input
  // ends at once.
  base::UniqueFd wake_read_;
  base::UniqueFd wake_write_;
};

}  // namespace console
