#include "engine/commit.h"

#include "engine/install_error.h"
#include "engine/write_error.h"

namespace engine {

void FlushStagedFiles(const CommitList& commit_list, FileSystem& file_system) {
  for (const std::string& target : commit_list) {
    if (!file_system.FlushToDisk(StagedPath(target))) throw WriteError();
  }
}

void CommitStagedFiles(CommitList& commit_list, FileSystem& file_system) {
  for (auto entry = commit_list.begin(); entry != commit_list.end(); ++entry) {
    if (file_system.RenameReplacing(StagedPath(*entry), *entry)) continue;
    // A failed replace leaves the old target in place; it can only be
    // missing when the patch adds the file or something else removed it.
    if (!file_system.Exists(*entry)) commit_list.erase(entry);
    throw InstallError(InstallError::Unknown);
  }
}

void DeleteObsoleteFiles(payload::PatchStream& stream, FileSystem& file_system) {
  for (std::string path = stream.ReadName(); !path.empty(); path = stream.ReadName()) {
    file_system.RemoveFile(path);
  }
}

void DiscardStagedFiles(const CommitList& commit_list, FileSystem& file_system) {
  for (const std::string& target : commit_list) file_system.RemoveFile(StagedPath(target));
}

}  // namespace engine
