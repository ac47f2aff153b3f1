// The record that makes the commit all or nothing, also across a kill or a
// power cut. Before the first target is touched, the run writes the journal:
// every target in commit order, each marked as replacing an old file or
// adding a new one. Each old file is then kept under a backup name until the
// last rename has succeeded; at that point the journal is renamed to the
// committed marker, and the backups go. A journal found at the start of a
// run is a commit that did not finish: it is undone, so the game is wholly
// as before. A committed marker found there names backups still to remove.
#pragma once

#include <string>
#include <vector>

#include "engine/fs/file_system.h"
#include "engine/own_names.h"

namespace engine {

struct JournalEntry {
  std::string target;
  bool replaces = false;  // an old file stood there when the commit began
};
using Journal = std::vector<JournalEntry>;

// Writes the journal under its staged name, forces it to the disk and
// renames it into place, so that it is either whole or absent. False on
// failure, with no journal and no staged copy of it left.
bool WriteJournal(const Journal& journal, FileSystem& file_system);

// Puts every target back as it was before the commit began: restores each
// backup, removes each added file, and removes the staged copies and then,
// once all that is on the disk, the journal. Safe to repeat after a kill or
// a power cut at any point of it. False when a target could not be put back
// or its folder flushed; the journal then stays for the next run.
bool RollBack(const Journal& journal, FileSystem& file_system);

// After the commit point: removes every backup and, once their removal is
// on the disk, the committed marker. A backup that cannot be removed, or a
// folder that cannot be flushed, keeps the marker, so that the next run
// tries again.
void RemoveBackups(const Journal& journal, FileSystem& file_system);

// Run before curver.txt is read: finishes whatever a killed run left of its
// commit. Throws InstallError::Unknown when an interrupted commit cannot be
// undone, since nothing may be installed over a mixed game. Also throws it,
// before touching anything, when a journal or marker stands there that no
// installer wrote (a record that does not parse, a target refused by the
// name rules or named twice, one that cannot be read): what someone else
// put in the folder is never obeyed, and the folder is left as found for
// whoever looks after the machine to clear.
void RecoverInterruptedCommit(FileSystem& file_system);

}  // namespace engine
