#include "engine/staging_progress.h"

#include <algorithm>
#include <numeric>
#include <utility>

namespace engine {
namespace {

constexpr std::uint64_t kShowEvery = std::uint64_t{1} << 20;

}  // namespace

StagingProgress::StagingProgress(InstallerHost& host, std::vector<std::uint64_t> parts)
    : host_(host),
      parts_(std::move(parts)),
      part_end_(parts_.empty() ? 0 : parts_.front()),
      total_(std::accumulate(parts_.begin(), parts_.end(), std::uint64_t{0})) {
  Show();
}

void StagingProgress::Advance(std::uint64_t bytes) {
  if (part_ == parts_.size()) return;
  done_ += std::min(bytes, part_end_ - done_);
  if (done_ - shown_ >= kShowEvery) Show();
}

void StagingProgress::EndPart() {
  if (part_ == parts_.size()) return;
  done_ = part_end_;
  if (++part_ < parts_.size()) part_end_ += parts_[part_];
  Show();
}

void StagingProgress::Show() {
  shown_ = done_;
  host_.ShowProgress(done_, total_);
}

}  // namespace engine
