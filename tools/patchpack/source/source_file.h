// Reads the files of a patch source with the system's own calls, so that a
// failure is reported with the path and the system's reason (strerror), and a
// folder where a file belongs is named as such rather than surfacing as a
// stream library's exception text.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "payload/payload_writer.h"

namespace patchpack {

// The whole file. Throws CommandError "cannot read SHOWN: REASON" when it
// cannot be opened or read, and "SHOWN is a folder, not a file" for a folder.
payload::Bytes ReadWholeSourceFile(const std::filesystem::path& file, const std::string& shown_as);

// The size of a regular file, with the same refusals.
std::uint64_t SourceFileSize(const std::filesystem::path& file, const std::string& shown_as);

}  // namespace patchpack
