#include "engine/commit.h"

#include "engine/game_path.h"
#include "engine/install_error.h"
#include "engine/write_error.h"

namespace engine {
namespace {

// Probes with the archive file layer, the one open for reading that the seam
// offers without reading the file: a target may be a large archive.
bool FileExists(const std::string& path, FileSystem& file_system) {
  const zlib_filefunc64_def functions = file_system.ZipFileFunctions();
  voidpf file = functions.zopen64_file(functions.opaque, path.c_str(),
                                       ZLIB_FILEFUNC_MODE_READ | ZLIB_FILEFUNC_MODE_EXISTING);
  if (file == nullptr) return false;
  functions.zclose_file(functions.opaque, file);
  return true;
}

}  // namespace

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
    if (!FileExists(*entry, file_system)) commit_list.erase(entry);
    throw InstallError(InstallError::Unknown);
  }
}

void DeleteObsoleteFiles(payload::PatchStream& stream, FileSystem& file_system) {
  for (std::string path = stream.ReadName(); !path.empty(); path = stream.ReadName()) {
    // Passed over like a file that cannot be removed: the commit is done.
    if (StaysInGameFolder(path)) file_system.RemoveFile(path);
  }
}

void DiscardStagedFiles(const CommitList& commit_list, FileSystem& file_system) {
  for (const std::string& target : commit_list) file_system.RemoveFile(StagedPath(target));
}

}  // namespace engine
