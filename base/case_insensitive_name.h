// The choice of one folder entry for a name that Windows would match without
// regard to letter case. A folder on another file system, or one copied from
// there, may hold several entries that differ only in case ("Data" and
// "DATA"); every part of the product that looks a game path up must then pick
// the same one, or the tool that checks a game folder would examine a file
// other than the one the installer replaces. The rule: the entry spelt exactly
// as wanted if there is one; else, among the entries equal to the wanted name
// ignoring ASCII case, the smallest in byte order. Neither depends on the
// order in which the folder lists its entries.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "base/ascii.h"

namespace base {

class CaseInsensitiveChoice {
 public:
  explicit CaseInsensitiveChoice(std::string_view wanted) : wanted_(wanted) {}

  // One entry of the folder, in whatever order the folder lists them.
  void Offer(std::string_view name) {
    if (exact_ || !EqualIgnoringAsciiCase(name, wanted_)) return;
    exact_ = name == wanted_;
    if (exact_ || !chosen_ || name < *chosen_) chosen_ = std::string(name);
  }

  // The entry chosen so far; nullopt when none matched.
  const std::optional<std::string>& chosen() const { return chosen_; }

 private:
  std::string wanted_;
  std::optional<std::string> chosen_;
  bool exact_ = false;
};

}  // namespace base
