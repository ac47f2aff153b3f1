#include "tools/patchpack/trial/player_stand_in.h"

namespace patchpack {

PlayerStandIn::PlayerStandIn(ProgressReporter::Mode progress_mode)
    : progress_mode_(progress_mode) {}

bool PlayerStandIn::AskYesNo(const char16_t* text) {
  questions_.push_back(base::ToUtf8(text));
  return true;
}

void PlayerStandIn::MarkFinished() {
  finished_ = true;
  if (progress_) progress_->Finish();
}

void PlayerStandIn::ShowProgress(std::uint64_t done, std::uint64_t total) {
  if (!progress_) {
    staging_total_ = total;
    progress_ = std::make_unique<ProgressReporter>("staging", total, progress_mode_);
  }
  progress_->Advance(done - shown_done_);
  shown_done_ = done;
}

}  // namespace patchpack
