// A FileSystem held in memory, for tests and fuzz targets that run the engine
// thousands of times a second. Paths match the way the installer's own
// realisations match them on Windows: either separator, ASCII case ignored.
//
// It also watches where the engine reaches: a call that would change
// something outside the game folder (an absolute path, a drive, a `..` part)
// is refused and recorded, so a caller can assert that none was made.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "engine/fs/file_system.h"

namespace engine::test {

class MemoryFileSystem final : public FileSystem {
 public:
  // File contents and folders by key (see Key).
  std::map<std::string, std::string> files;
  std::set<std::string> directories;
  // Each changing call refused because its path leaves the game folder.
  std::vector<std::string> outside_paths;
  // What FreeSpace answers.
  std::optional<VolumeSpace> free_space = VolumeSpace{std::uint64_t{1} << 40, 4096};
  // Every changing call in order, "<Operation> <path>[ <path>]", whether it
  // succeeded or not: MakeDirectory, OpenForWriting, RemoveFile, LinkFile,
  // RenameReplacing, and ZipCreate for an archive opened to be written.
  std::vector<std::string> changes;

  // The key of a stream path: '/'-separated, lower case, without empty or
  // "." parts. The empty key is the game folder itself.
  static std::string Key(const std::string& path);
  // True when the path names something outside the game folder.
  static bool LeavesGameFolder(const std::string& path);

  // Adds a file and the folders above it.
  void AddFile(const std::string& path, std::string contents);

  bool MakeDirectory(const std::string& path) override;
  std::unique_ptr<WritableFile> OpenForWriting(const std::string& path) override;
  std::optional<std::string> ReadWholeFile(const std::string& path) override;
  bool Exists(const std::string& path) override;
  std::optional<std::uint64_t> FileSize(const std::string& path) override;
  std::optional<VolumeSpace> FreeSpace() override { return free_space; }
  TargetState ProbeTarget(const std::string& path) override;
  bool FlushToDisk(const std::string& path) override;
  bool RemoveFile(const std::string& path) override;
  // A second name holds a copy: nothing here writes to a file in place, so a
  // copy behaves as a link would.
  bool LinkFile(const std::string& existing, const std::string& link) override;
  bool RenameReplacing(const std::string& from, const std::string& to) override;
  zlib_filefunc64_def ZipFileFunctions() override;

  // ---- Symbolic links ----
  // Links planted in the folder, by key, each with what it points to as
  // written. Like the disk layer, this one follows no link: nothing is read,
  // written or made through one (it is neither a file nor a folder), while
  // a link at the last part of a path is itself what RemoveFile removes,
  // RenameReplacing moves or replaces, and OpenForWriting, a created
  // archive or LinkFile's new name replaces.
  std::map<std::string, std::string> links;
  void AddLink(const std::string& path, std::string points_to);
  // ---- end of symbolic links ----

  // For the writable files and the archive layer: the file under a key, or
  // null when there is none.
  std::string* Find(const std::string& key);
  // A changing call may go ahead: inside the game folder, in an existing
  // folder, not onto a folder. Records a refusal for an outside path.
  bool MayCreate(const std::string& path);
};

}  // namespace engine::test
