#include "engine/archive/skip_list.h"

#include <algorithm>
#include <utility>

namespace engine {

void SkipList::Add(std::string name) { names_.push_back(std::move(name)); }

void SkipList::Sort() { std::sort(names_.begin(), names_.end()); }

bool SkipList::Contains(std::string_view name) const {
  return std::binary_search(names_.begin(), names_.end(), name,
                            [](std::string_view a, std::string_view b) { return a < b; });
}

}  // namespace engine
