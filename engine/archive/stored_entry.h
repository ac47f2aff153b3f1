// Reading an old archive's records directly: where an entry's stored bytes
// lie and how many there are, from its central and local headers, and where
// the central directory ends. minizip's reader cannot be trusted with the
// sizes and offsets on 64-bit Linux: its test for the Zip64 markers compares
// with an `unsigned long` -1, so it never reads the Zip64 values there, and
// an entry over 4 GiB or beyond 4 GiB could not be copied.
#pragma once

#include <cstdint>
#include <optional>

#include "engine/archive/layer_stream.h"

namespace engine {

struct StoredEntry {
  std::uint64_t data_offset = 0;  // of the first stored byte in the file
  std::uint64_t compressed_size = 0;
  std::uint64_t uncompressed_size = 0;
};

// Where the zip begins in the file: the number of bytes in front of it, such
// as the stub of a self-extracting archive. Offsets inside the zip (those
// that minizip reports, and the local-header offsets of the central records)
// count from there, as minizip's own reader takes them: it derives the
// distance from where the central directory is found and where the end
// record says it is. Nullopt when the end record cannot be found or its
// directory would lie outside the file.
std::optional<std::uint64_t> FindArchiveStart(LayerStream& archive);

// Reads the central-directory record at `central_offset` through
// `directory`, and the local header that it points to through `data`: two
// streams on the same archive, so that each keeps reading near where it
// read before (the directory at the end, the entries in order). Both the
// record's offset and the local-header offset inside it count from
// `archive_start`; the entry's data_offset is a position in the file.
// Nullopt when either record cannot be read or is not what it claims to be.
std::optional<StoredEntry> LocateStoredEntry(LayerStream& directory, LayerStream& data,
                                             std::uint64_t archive_start,
                                             std::uint64_t central_offset);

// Whether the record at `offset` (a position in the file) is one of those
// that follow the central directory: the end record, the Zip64 end record or
// the digital signature.
bool IsCentralDirectoryEnd(LayerStream& archive, std::uint64_t offset);

}  // namespace engine
