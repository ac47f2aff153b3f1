#include "engine/commit_journal.h"

#include <algorithm>
#include <optional>
#include <set>

#include "engine/atomic_write.h"
#include "engine/commit_list.h"
#include "engine/file_removal.h"
#include "engine/folder_flush.h"
#include "engine/game_path.h"
#include "engine/install_error.h"

namespace engine {
namespace {

// One record a target: its mark, then its path, then a 0 byte. Paths can
// hold any other byte, line breaks included.
constexpr char kReplaces = 'R';
constexpr char kAdds = 'N';

std::string Encode(const Journal& journal) {
  std::string text;
  for (const JournalEntry& entry : journal) {
    text += entry.replaces ? kReplaces : kAdds;
    text += entry.target;
    text += '\0';
  }
  return text;
}

// Anyone who may write in the game folder may leave a file under the
// journal's name, and the run that reads it has administrator rights. So a
// journal is taken only whole and only as an installer writes one: every
// record well formed up to the last byte, every target in the one accepted
// form (engine/game_path.h), no target twice. Anything else is refused whole,
// before any record is acted on.
std::optional<Journal> Decode(const std::string& text) {
  Journal journal;
  std::set<std::string> keys;
  for (std::size_t start = 0; start < text.size();) {
    const std::size_t end = text.find('\0', start);
    if (end == std::string::npos) return std::nullopt;
    const char mark = text[start];
    if (mark != kReplaces && mark != kAdds) return std::nullopt;
    std::string target = text.substr(start + 1, end - start - 1);
    const std::optional<std::string> key = GamePathKey(target);
    if (!key || !keys.insert(*key).second) return std::nullopt;
    journal.push_back({std::move(target), mark == kReplaces});
    start = end + 1;
  }
  return journal;
}

// The journal or marker at `path`: nullopt when there is none, a refusal
// when there is one that no installer wrote.
std::optional<Journal> ReadLeftover(const char* path, FileSystem& file_system) {
  const std::optional<std::string> text = file_system.ReadWholeFile(path);
  if (!text) {
    // One that stands there but cannot be read is not taken as absent.
    if (file_system.Exists(path)) throw InstallError(InstallError::Unknown);
    return std::nullopt;
  }
  std::optional<Journal> journal = Decode(*text);
  if (!journal) throw InstallError(InstallError::Unknown);
  return journal;
}

}  // namespace

bool WriteJournal(const Journal& journal, FileSystem& file_system) {
  return WriteFileAtomically(file_system, kJournalPath, Encode(journal));
}

bool RollBack(const Journal& journal, FileSystem& file_system) {
  bool restored = true;
  std::vector<std::string> removed;
  for (const JournalEntry& entry : journal) {
    const std::string staged = StagedPath(entry.target);
    if (entry.replaces) {
      // A backup that is gone was never made, or has been put back already.
      // One that is still the target's second name (its rename never came)
      // is not moved by a rename, which leaves two names of one file alone,
      // so it is removed after.
      const std::string backup = BackupPath(entry.target);
      if (!file_system.RenameReplacing(backup, entry.target) && file_system.Exists(backup)) {
        restored = false;
      } else {
        file_system.RemoveFile(backup);
      }
    } else if (!file_system.Exists(staged)) {
      // Every staged copy existed when the journal was written, so one that
      // is gone has become its target, which must go again.
      if (file_system.RemoveFile(entry.target)) {
        removed.push_back(entry.target);
      } else if (file_system.Exists(entry.target)) {
        restored = false;
      }
    }
    file_system.RemoveFile(staged);
  }
  // The journal is all that says which files were added; it goes only once
  // their removal is on the disk (restored backups are, by their renames),
  // or a power cut could bring back an added file that nothing names.
  if (restored && FlushFoldersOf(removed, file_system)) {
    file_system.RemoveFile(kJournalPath);
    return true;
  }
  return false;
}

void RemoveBackups(const Journal& journal, FileSystem& file_system) {
  std::vector<std::string> backups;
  for (const JournalEntry& entry : journal) {
    if (entry.replaces) backups.push_back(BackupPath(entry.target));
  }
  const std::vector<std::string> removed = RemoveFiles(backups, file_system);
  bool all_gone = true;
  for (const std::string& backup : backups) {
    if (std::find(removed.begin(), removed.end(), backup) == removed.end() &&
        file_system.Exists(backup)) {
      all_gone = false;
    }
  }
  // Likewise the marker names the backups: it goes once their removal is on
  // the disk.
  if (all_gone && FlushFoldersOf(backups, file_system)) file_system.RemoveFile(kCommittedPath);
}

void RecoverInterruptedCommit(FileSystem& file_system) {
  // Both are read and checked before either is acted on.
  const std::optional<Journal> interrupted = ReadLeftover(kJournalPath, file_system);
  const std::optional<Journal> committed = ReadLeftover(kCommittedPath, file_system);
  if (interrupted && !RollBack(*interrupted, file_system)) {
    throw InstallError(InstallError::Unknown);
  }
  if (committed) RemoveBackups(*committed, file_system);
}

}  // namespace engine
