// The targets that a run has staged, loose files first, then archives, in
// stream order. A target is listed before its staged copy is created, so a
// listed target may have no staged copy; every reader tolerates that.
#pragma once

#include <string>
#include <vector>

#include "engine/own_names.h"

namespace engine {

using CommitList = std::vector<std::string>;

}  // namespace engine
