#include "engine/archive/entry_name.h"

namespace engine {

void LowerCaseAscii(std::string& name) {
  for (char& c : name) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
}

}  // namespace engine
