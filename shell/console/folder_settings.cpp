#include "shell/console/folder_settings.h"

#include <cstdlib>
#include <fstream>

namespace console {
namespace {

// The registry read offers 1023 bytes, its terminating NUL included.
constexpr std::size_t kLongestValue = 1022;

// The XDG rules: a variable that is unset, empty or relative is ignored.
std::filesystem::path AbsoluteFromEnvironment(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr || value[0] != '/') return {};
  return value;
}

}  // namespace

std::filesystem::path SettingsFilePath() {
  std::filesystem::path config = AbsoluteFromEnvironment("XDG_CONFIG_HOME");
  if (config.empty()) {
    const std::filesystem::path home = AbsoluteFromEnvironment("HOME");
    if (home.empty()) return {};
    config = home / ".config";
  }
  return config / "quillmarch" / "stormhaven.conf";
}

FolderSettings ReadFolderSettings(const std::filesystem::path& file) {
  FolderSettings settings;
  std::ifstream in(file);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    const std::size_t equals = line.find('=');
    if (equals == std::string::npos) continue;
    const std::string name = line.substr(0, equals);
    std::string value = line.substr(equals + 1);
    if (value.size() > kLongestValue) value.clear();
    if (name == "InstallPath") settings.install_path = value;
    if (name == "aPaths") settings.a_paths = value;
  }
  return settings;
}

}  // namespace console
