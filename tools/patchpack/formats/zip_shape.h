// What a file is as a zip archive, told from its bytes rather than its name:
// games keep their archives under any extension (.pk3, .pk4, .jar...), and
// the installer rewrites whatever archive a patch names. Only an archive
// that starts at its first byte and lies in one file is one that the
// installer's rewrite reproduces; the others are zips all the same, and a
// patch must carry them whole.
#pragma once

#include <filesystem>

namespace patchpack {

enum class ZipShape {
  NotZip,    // neither starts as a zip nor ends with a zip's end record
  Zip,       // a single-file archive from its first byte
  Split,     // one part of an archive spread over several files
  Embedded,  // a zip after other data (a self-extracting program, say)
};

// Reads the first bytes and the end of the file; a file that cannot be read
// is NotZip, and the comparison of its bytes reports it.
ZipShape ShapeOfFile(const std::filesystem::path& file);

}  // namespace patchpack
