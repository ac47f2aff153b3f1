#include "engine/atomic_write.h"

#include <cstdint>
#include <memory>
#include <span>

#include "engine/own_names.h"

namespace engine {

bool WriteFileAtomically(FileSystem& file_system, const std::string& path,
                         std::string_view contents) {
  const std::string staged = StagedPath(path);
  std::unique_ptr<WritableFile> file = file_system.OpenForWriting(staged);
  const std::span<const std::uint8_t> bytes(reinterpret_cast<const std::uint8_t*>(contents.data()),
                                            contents.size());
  if (file && file->Write(bytes) && file->Close() && file_system.FlushToDisk(staged) &&
      file_system.RenameReplacing(staged, path)) {
    return true;
  }
  file.reset();
  file_system.RemoveFile(staged);
  return false;
}

}  // namespace engine
