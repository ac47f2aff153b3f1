#include "engine/loose_files.h"

#include "engine/install_error.h"
#include "engine/write_error.h"

namespace engine {

void CreatePathDirectories(const std::string& path, FileSystem& file_system) {
  // A prefix that long is beyond what the installer supports. Making only
  // its shorter leading part would leave stray folders behind, so none is
  // made, and the open that follows reports the failure.
  const std::size_t last = path.rfind('\\');
  if (last != std::string::npos && last > kMaxDirectoryPrefix) return;
  for (std::size_t end = path.find('\\'); end != std::string::npos;
       end = path.find('\\', end + 1)) {
    if (end == 0 || path[end - 1] == ':') continue;
    // The files that the commit puts in a new folder survive a power cut
    // only if the folder's own name does. Not reported should the flush
    // fail, like the creation itself.
    const std::string folder = path.substr(0, end);
    if (file_system.MakeDirectory(folder)) file_system.FlushFolderOf(folder);
  }
}

void StageLooseFiles(payload::PatchStream& stream, CommitList& commit_list, InstallerHost& host,
                     StagingProgress& progress, FileSystem& file_system) {
  for (std::string target = stream.ReadName(); !target.empty(); target = stream.ReadName()) {
    if (host.IsCancelRequested()) throw InstallError(InstallError::Silent);
    const std::string staged = StagedPath(target);
    commit_list.push_back(target);
    CreatePathDirectories(staged, file_system);

    std::unique_ptr<WritableFile> file = file_system.OpenForWriting(staged);
    if (!file) throw WriteError();
    const std::uint32_t size = stream.ReadU32();
    if (!file->Write(stream.TakeBytes(size))) throw WriteError();
    if (!file->Close()) throw WriteError();
    progress.Advance(size);
  }
}

}  // namespace engine
