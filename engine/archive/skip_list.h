// The names of one archive record that keep an old entry out of the staged
// archive: every new entry (it replaces the old one) and every drop name.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace engine {

class SkipList {
 public:
  void Add(std::string name);
  // Orders the names for lookup; call once, after the last Add.
  void Sort();
  // Binary search; valid only after Sort.
  bool Contains(std::string_view name) const;

 private:
  // Ordered by unsigned bytes, a prefix before its extensions: this is how
  // std::string compares, since char_traits<char> compares as unsigned char.
  std::vector<std::string> names_;
};

}  // namespace engine
