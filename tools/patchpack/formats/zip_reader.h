// Reads a zip archive's entry list and the contents of its entries, for
// comparing an old archive with a new one. Any failure of the archive layer
// throws CommandError "SHOWN: what is wrong", SHOWN being the name the
// caller gave the archive; a caller to whom an unreadable archive is no
// failure (an old one, shipped whole instead) catches it.
#pragma once

#include <minizip/unzip.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/archive/zip_handles.h"
#include "payload/payload_writer.h"

namespace patchpack {

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
  ZipReader(const std::filesystem::path& path, std::string shown);

  const std::vector<ZipEntry>& entries() const { return entries_; }

  // The entry's uncompressed bytes, checked against its CRC-32.
  payload::Bytes Content(const ZipEntry& entry);

 private:
  engine::UnzipHandle file_;
  std::string shown_;
  std::vector<ZipEntry> entries_;
};

}  // namespace patchpack
