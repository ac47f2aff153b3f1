// The one form in which the installer takes a path in the game folder,
// whether it comes from the patch stream or from a journal left by an
// earlier run. The installer runs with administrator rights, so a path that
// leaves the folder, names the installer's own files, or is a second
// spelling of another path must be refused before anything is done with it.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace engine {

// The key under which Windows finds `path` (ASCII case folded, '/' read as
// '\'), or nullopt when the path is refused. Refused: an empty path; a part
// that is empty (a root, a doubled or a trailing separator) or ends in a dot
// or a space (".", "..", and names Windows would shorten to another);
// a ':' (a drive or a stream of a file); a character Windows forbids in a
// name; a device name (CON, NUL, COM1...); a short-name alias ("~1"); a part
// ending in the staged or backup suffix; and, at the top of the folder, the
// journal, the committed marker and the run lock.
std::optional<std::string> GamePathKey(std::string_view path);

}  // namespace engine
