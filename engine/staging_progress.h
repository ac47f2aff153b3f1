// The bytes staged so far, as one figure over the whole staging phase for
// InstallerHost::ShowProgress. Staging is counted in parts whose sizes are
// known before it starts (the loose files, then each archive); a part's own
// count never runs past its size, and ending a part counts it whole, so the
// figure reaches the total exactly even where an archive's directory and
// headers were not counted entry by entry.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/installer_host.h"

namespace engine {

class StagingProgress {
 public:
  // `parts` in the order they are staged. Shows 0 of their sum at once, so
  // that the host knows the total before the first write.
  StagingProgress(InstallerHost& host, std::vector<std::uint64_t> parts);
  StagingProgress(const StagingProgress&) = delete;
  StagingProgress& operator=(const StagingProgress&) = delete;

  // `bytes` more of the current part are staged. The host hears of it once
  // a MiB has gathered since it last did, so small entries cost no call.
  void Advance(std::uint64_t bytes);
  // The current part is staged whole; the host hears at once, and counting
  // moves to the next part. Beyond the last part nothing is counted.
  void EndPart();

  std::uint64_t total() const { return total_; }

 private:
  void Show();

  InstallerHost& host_;
  std::vector<std::uint64_t> parts_;
  std::size_t part_ = 0;
  std::uint64_t part_end_ = 0;
  std::uint64_t done_ = 0;
  std::uint64_t shown_ = 0;
  std::uint64_t total_ = 0;
};

}  // namespace engine
