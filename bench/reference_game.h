// The reference game of the installation benchmark and its patch, made from
// files on this machine: four deflated archives of 44, 90, 23 and 596 MB with
// 1,500, 900, 2,500 and 20,000 entries, an 18 MB executable and 536 files
// that the patch deletes; the patch replaces the executable, brings 4, 2, 54
// and 13 new entries, deletes the 536 files and makes a stream of about
// 20 MB. Everything is scaled by one factor for a quick run.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "payload/payload_writer.h"

namespace bench {

struct ArchiveShape {
  std::string path;  // in the game folder, with '/'
  std::uint64_t bytes;
  int entries;
  int new_entries;
};

struct ReferenceGame {
  std::vector<ArchiveShape> archives;
  payload::PatchDescription patch;
  // The patch's loose files, as bytes written to disk for the floor's copy.
  std::filesystem::path loose_file_copy;
};

// Makes the game in `dir`/game, the patch's payload in `dir`/payload.bin and
// the raw LZMA data of it in `dir`/payload.raw, unless a previous run at the
// same scale made them; returns the description in either case.
ReferenceGame MakeReferenceGame(const std::filesystem::path& dir, double scale);

// Checks an installed copy of the game against the patch, entry by entry:
// every archive holds the new entries with their bytes, then every old entry
// that was not replaced with its name, CRC-32 and sizes, in order; the loose
// files have the new bytes, the deleted files are gone, curver.txt holds the
// new version, and no staged file is left. Returns what is wrong, or empty.
std::string CheckInstalled(const std::filesystem::path& original,
                           const std::filesystem::path& installed, const ReferenceGame& game);

}  // namespace bench
