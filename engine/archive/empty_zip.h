// Recognises a zip archive without entries, which is nothing but its end
// record: minizip's search for that record never looks at the first byte of
// the file, so it cannot open such an archive.
#pragma once

#include <minizip/ioapi.h>

#include <string>

namespace engine {

// True when the file at `path` begins with an end-of-central-directory record
// that declares no entries and no central directory.
bool IsZipWithoutEntries(const zlib_filefunc64_def& file_functions, const std::string& path);

}  // namespace engine
