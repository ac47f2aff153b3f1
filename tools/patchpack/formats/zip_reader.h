// Reads a zip archive's entry list and the contents of its entries, for
// comparing an old archive with a new one. Any failure of the archive layer
// throws ZipReadError, so that a caller can tell an unreadable archive from
// its own refusals.
#pragma once

#include <minizip/unzip.h>

#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/archive/zip_handles.h"
#include "payload/payload_writer.h"

namespace patchpack {

class ZipReadError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct ZipEntry {
  std::string name;  // as stored
  std::uint32_t crc = 0;
  std::uint64_t size = 0;  // uncompressed
  int method = 0;
  bool encrypted = false;
  unz64_file_pos position{};
};

class ZipReader {
 public:
  // Opens the archive and reads its whole central directory.
  explicit ZipReader(const std::filesystem::path& path);

  const std::vector<ZipEntry>& entries() const { return entries_; }

  // The entry's uncompressed bytes, checked against its CRC-32.
  payload::Bytes Content(const ZipEntry& entry);

 private:
  engine::UnzipHandle file_;
  std::vector<ZipEntry> entries_;
};

}  // namespace patchpack
