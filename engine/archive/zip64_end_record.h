// Completes the end of an archive that holds 65,535 entries or more. Some
// minizip releases (Debian's among them) then write 0xFFFF as the entry
// count of the end record but add the Zip64 end record that must carry the
// real count only when the central directory lies beyond 4 GiB; every reader
// then stops after the first 65,535 entries or refuses the archive.
#pragma once

#include <minizip/ioapi.h>

#include <cstdint>
#include <string>

namespace engine {

// Adds the Zip64 end record and its locator in front of the end record of
// the closed archive at `path`, unless the archive already has them. False
// when the archive cannot be read, is not as minizip leaves it, or cannot be
// written.
bool CompleteZip64End(const zlib_filefunc64_def& file_functions, const std::string& path,
                      std::uint64_t entry_count);

}  // namespace engine
