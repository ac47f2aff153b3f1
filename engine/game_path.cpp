#include "engine/game_path.h"

#include <array>

#include "base/ascii.h"
#include "engine/own_names.h"

namespace engine {
namespace {

bool EndsWith(std::string_view text, std::string_view end) {
  return text.size() >= end.size() && text.substr(text.size() - end.size()) == end;
}

// Windows opens these as devices whatever folder they stand in, with any
// extension and spaces before it: "data\nul .txt" is the null device.
bool IsDeviceName(std::string_view folded_part) {
  std::string_view stem = folded_part.substr(0, folded_part.find('.'));
  while (stem.ends_with(' ')) stem.remove_suffix(1);
  static constexpr std::array<std::string_view, 6> kDevices = {"con", "prn",    "aux",
                                                               "nul", "conin$", "conout$"};
  for (std::string_view device : kDevices) {
    if (stem == device) return true;
  }
  return stem.size() == 4 && (stem.starts_with("com") || stem.starts_with("lpt")) &&
         stem[3] >= '0' && stem[3] <= '9';
}

// "PROGRA~1" is the short name Windows may give "Program Files": a second
// spelling of another file that no comparison of keys could catch.
bool MayBeShortName(std::string_view part) {
  for (std::size_t tilde = part.find('~'); tilde != std::string_view::npos;
       tilde = part.find('~', tilde + 1)) {
    if (tilde + 1 < part.size() && part[tilde + 1] >= '0' && part[tilde + 1] <= '9') return true;
  }
  return false;
}

bool IsAcceptedPart(std::string_view folded_part) {
  if (folded_part.empty() || folded_part.back() == '.' || folded_part.back() == ' ') return false;
  for (const char c : folded_part) {
    if (static_cast<unsigned char>(c) < 0x20 ||
        std::string_view(":<>\"|?*").find(c) != std::string_view::npos) {
      return false;
    }
  }
  return !IsDeviceName(folded_part) && !MayBeShortName(folded_part) &&
         !EndsWith(folded_part, kStagedSuffix) && !EndsWith(folded_part, kBackupSuffix);
}

}  // namespace

std::optional<std::string> GamePathKey(std::string_view path) {
  std::string key = base::ToLowerAscii(path);
  for (char& c : key) {
    if (c == '/') c = '\\';
  }
  for (std::size_t start = 0;;) {
    const std::size_t end = key.find('\\', start);
    const std::string_view part =
        std::string_view(key).substr(start, end == std::string::npos ? end : end - start);
    if (!IsAcceptedPart(part)) return std::nullopt;
    if (end == std::string::npos) break;
    start = end + 1;
  }
  if (key == kJournalPath || key == kCommittedPath || key == kRunLockPath) return std::nullopt;
  return key;
}

}  // namespace engine
