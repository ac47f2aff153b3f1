// The installed-version record, curver.txt in the game folder: the installed
// patch version in decimal, a CR LF, and the edition tag. Every run reads it
// before changing anything, lets the gate decide whether to go on, and writes
// it anew after the commit, keeping the tag.
#pragma once

#include <cstdint>
#include <string>

#include "engine/fs/file_system.h"
#include "engine/installer_host.h"

namespace engine {

inline constexpr char kVersionRecordPath[] = "curver.txt";

struct VersionRecord {
  std::int32_t version = 0;
  std::string tag;
};

// The record as it stands; version 0 and an empty tag when the file is
// missing or does not start with a number that fits 32 signed bits. The file
// is read as Windows text mode reads it: a byte 1A ends it.
VersionRecord ReadVersionRecord(FileSystem& file_system);

// Returns when the run may go on. Throws InstallError: a Text with the
// English-only message for a tag other than empty or "online", Silent when
// the user answers No to reinstalling the same or an older version.
void CheckVersionGate(const VersionRecord& record, std::int32_t patch_version, InstallerHost& host);

// Writes "<version>\r\n<tag>" with no final line break, on every platform
// alike, by a staged write, a flush and a rename over the old record, so
// the record is always whole. Failures are not reported (the record only
// informs the next run) and leave the old record as it was.
void WriteVersionRecord(FileSystem& file_system, std::int32_t version, const std::string& tag);

}  // namespace engine
