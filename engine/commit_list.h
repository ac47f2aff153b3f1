// The targets that a run has staged, loose files first, then archives, in
// stream order. A target is listed before its staged copy is created, so a
// listed target may have no staged copy; every reader tolerates that.
#pragma once

#include <string>
#include <vector>

namespace engine {

using CommitList = std::vector<std::string>;

// The name under which a target is written before the commit.
inline std::string StagedPath(const std::string& target) { return target + ".updtmp"; }

}  // namespace engine
