// The names the installer itself uses in a game folder: the staged copy and
// the backup beside each target, the commit journal and its marker, and the
// lock that keeps a second installer out while a run is in the folder. They
// are kept together because a patch must never be able to name one of them.
#pragma once

#include <string>

namespace engine {

inline constexpr char kStagedSuffix[] = ".updtmp";
inline constexpr char kBackupSuffix[] = ".updbak";
inline constexpr char kJournalPath[] = "updcommit.lst";
inline constexpr char kCommittedPath[] = "updcommit.done";
inline constexpr char kRunLockPath[] = "updrun.lock";

// The name under which a target is written before the commit.
inline std::string StagedPath(const std::string& target) { return target + kStagedSuffix; }

// Where the old file of a replaced target is kept during the commit.
inline std::string BackupPath(const std::string& target) { return target + kBackupSuffix; }

}  // namespace engine
