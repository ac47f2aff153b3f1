// The player in a trial installation: says yes to every question, keeps
// what the installer shows, and passes the staging progress on to a
// ProgressReporter, made when the run first tells the total.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/utf8.h"
#include "engine/installer_host.h"
#include "tools/patchpack/report/progress_reporter.h"

namespace patchpack {

class PlayerStandIn final : public engine::InstallerHost {
 public:
  explicit PlayerStandIn(ProgressReporter::Mode progress_mode);

  void SetStatusText(const char16_t* text) override { status_ = text; }
  void SetButtonText(const char16_t*) override {}
  bool AskYesNo(const char16_t* text) override;
  void ShowError(const char16_t* text) override { error_ = base::ToUtf8(text); }
  void CloseDialog() override {}
  bool IsCancelRequested() override { return false; }
  void MarkFinished() override;
  void ShowProgress(std::uint64_t done, std::uint64_t total) override;

  bool succeeded() const { return finished_ && !error_; }
  std::string status() const { return base::ToUtf8(status_); }
  const std::optional<std::string>& error() const { return error_; }
  const std::vector<std::string>& questions() const { return questions_; }
  // The bytes the run set out to stage, what its free-space check asked
  // for; nullopt when it ended before staging.
  const std::optional<std::uint64_t>& staging_total() const { return staging_total_; }

 private:
  const char16_t* status_ = nullptr;
  std::optional<std::string> error_;
  std::vector<std::string> questions_;
  bool finished_ = false;
  ProgressReporter::Mode progress_mode_;
  std::unique_ptr<ProgressReporter> progress_;
  std::uint64_t shown_done_ = 0;
  std::optional<std::uint64_t> staging_total_;
};

}  // namespace patchpack
