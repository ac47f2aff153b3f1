#include "engine/commit.h"

#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "engine/background_task.h"
#include "engine/commit_journal.h"
#include "engine/file_removal.h"
#include "engine/folder_flush.h"
#include "engine/game_path.h"
#include "engine/install_error.h"
#include "engine/write_error.h"

namespace engine {
namespace {

Journal CheckTargets(const CommitList& commit_list, FileSystem& file_system) {
  Journal journal;
  std::set<std::string> keys;
  for (const std::string& target : commit_list) {
    // The stream's names were checked before staging; the same check here
    // keeps the commit from writing a journal that recovery would refuse.
    const std::optional<std::string> key = GamePathKey(target);
    if (!key || !keys.insert(*key).second) throw InstallError(InstallError::Unknown);
    switch (file_system.ProbeTarget(target)) {
      case TargetState::kMissing:
        journal.push_back({target, false});
        break;
      case TargetState::kReplaceable:
        // Whatever stands at the backup name now is no backup of this run's,
        // and a failed commit would restore it over the target.
        if (file_system.ProbeTarget(BackupPath(target)) != TargetState::kMissing) {
          throw InstallError(InstallError::Unknown);
        }
        journal.push_back({target, true});
        break;
      case TargetState::kBlocked:
        throw InstallError(InstallError::Unknown);
    }
  }
  return journal;
}

// A hard link keeps the old file under its backup name without a moment in
// which the target is missing. Where the volume has none (or the link
// fails), the old file is moved aside instead; a kill before the rename
// that follows leaves the target missing until the next start restores it.
bool ReplaceTarget(const JournalEntry& entry, FileSystem& file_system) {
  if (entry.replaces) {
    const std::string backup = BackupPath(entry.target);
    // Never over a backup that stands already: it would be the only copy
    // of another old file, one that the file system matches to this target
    // where the names' keys did not (letters beyond ASCII, say).
    if (!file_system.LinkFile(entry.target, backup) &&
        (file_system.Exists(backup) || !file_system.RenameReplacing(entry.target, backup))) {
      return false;
    }
  }
  return file_system.RenameReplacing(StagedPath(entry.target), entry.target);
}

}  // namespace

void FlushStagedFiles(const CommitList& commit_list, FileSystem& file_system) {
  for (const std::string& target : commit_list) {
    if (!file_system.FlushToDisk(StagedPath(target))) throw WriteError();
  }
}

BackgroundTask CommitStagedFiles(const CommitList& commit_list, FileSystem& file_system) {
  Journal journal = CheckTargets(commit_list, file_system);
  if (!WriteJournal(journal, file_system)) throw WriteError();
  for (const JournalEntry& entry : journal) {
    if (!ReplaceTarget(entry, file_system)) {
      // Restores what it can; should a restore fail too, the journal stays
      // and the next run finishes the job before it reads anything.
      RollBack(journal, file_system);
      throw InstallError(InstallError::Unknown);
    }
  }
  // The commit point: from here on the new files are the game.
  if (!file_system.RenameReplacing(kJournalPath, kCommittedPath)) {
    RollBack(journal, file_system);
    throw InstallError(InstallError::Unknown);
  }
  return BackgroundTask(file_system, [journal = std::move(journal), &file_system] {
    RemoveBackups(journal, file_system);
  });
}

void DeleteObsoleteFiles(payload::PatchStream& stream, FileSystem& file_system) {
  std::vector<std::string> paths;
  for (std::string path = stream.ReadName(); !path.empty(); path = stream.ReadName()) {
    paths.push_back(std::move(path));
  }
  // Each path was checked before staging (engine/stream_names.h); one that
  // cannot be removed is passed over: the commit is done. The record written
  // next says the new version is installed; a power cut after it must not
  // bring an obsolete file back. A folder that cannot be flushed is passed
  // over like a file that cannot be removed.
  FlushFoldersOf(RemoveFiles(paths, file_system), file_system);
}

void DiscardStagedFiles(const CommitList& commit_list, FileSystem& file_system) {
  for (const std::string& target : commit_list) file_system.RemoveFile(StagedPath(target));
}

}  // namespace engine
