// The two settings that the Windows build reads from the registry, kept on
// Linux where users look for settings: in
// ${XDG_CONFIG_HOME:-$HOME/.config}/quillmarch/stormhaven.conf, one
// `Name=value` line each ("InstallPath", "aPaths"). Lines starting with '#'
// and unknown names are ignored; a later line overrides an earlier one.
#pragma once

#include <filesystem>
#include <string>

namespace console {

struct FolderSettings {
  std::string install_path;  // "InstallPath", empty when missing
  std::string a_paths;       // "aPaths", empty when missing
};

// Where the settings live for this user; empty when the environment names
// no usable configuration folder.
std::filesystem::path SettingsFilePath();

// The settings in `file`; both empty when it cannot be read. A value of more
// than 1022 bytes counts as missing, as it would in the registry.
FolderSettings ReadFolderSettings(const std::filesystem::path& file);

}  // namespace console
