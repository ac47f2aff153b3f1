// A FileSystem held in memory, for tests and fuzz targets that run the engine
// thousands of times a second. Paths match the way the installer's own
// realisations match them on Windows: either separator, ASCII case ignored.
//
// It also watches where the engine reaches: a call that would change
// something outside the game folder (an absolute path, a drive, a `..` part)
// is refused and recorded, so a caller can assert that none was made.
//
// And it keeps apart what a power cut would leave on the disk from what the
// calls have written (see the last section), so that a test can cut the
// power at any instant of a run and start again on what survived.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <random>
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
  bool FlushFolderOf(const std::string& path) override;
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
  // Puts a new, empty file under the key, in place of whatever file was
  // there: the old file loses that name, as an unlink and a create do.
  void CreateEmpty(const std::string& key);

  // ---- What a power cut keeps ----
  // The disk is modelled apart from `files` and `directories`, which are
  // what the calls have written. A file's contents reach the disk when
  // FlushToDisk is called on it. A name (a file or folder created, removed,
  // renamed or linked) reaches it when its folder is flushed, which
  // RenameReplacing and LinkFile do for the new name, as the seam promises.
  // Until then a cut may keep each name as the disk has it or as written,
  // each independently of the others in any order, a rename whole or not
  // at all, and a file's contents as flushed, as written, or any first part
  // of what was written: the weakest a POSIX file system promises, not what
  // a kind one does.

  // How a cut settles each name and each file's contents that did not reach
  // the disk: all as the disk had them, all as written, or each at random.
  enum class Cut { kKeepNothing, kKeepEverything, kRandom };
  // The power fails and comes back: the file system becomes what the disk
  // holds, all of it durable, `random` drawing the choices of kRandom.
  void CutPower(Cut cut, std::mt19937& random);

  // Called inside RenameReplacing and LinkFile once the name has changed
  // and before it is made durable: the one instant inside a call at which a
  // cut finds what neither the state before the call nor the one after
  // shows.
  std::function<void()> between_change_and_flush;

 private:
  // A file on the disk, under any number of names: a rename moves it to
  // another name, a link gives it one more.
  using FileId = std::uint64_t;

  // The name `key` no longer leads to its file; kept aside are the contents
  // of a file that thereby loses its last written name, for a cut that
  // keeps one of its old names.
  void ForgetName(const std::string& key);
  // What was written to a file under any of its names.
  std::string WrittenContents(FileId file) const;
  // Every name in the folder becomes what the calls have made of it.
  void MakeNamesDurable(const std::string& folder);
  // The first name of the group of names that renames not yet durable
  // have tied to `key`; a cut settles such a group as one.
  std::string RenameGroup(const std::string& key) const;

  std::map<std::string, FileId> file_ids_;  // written name -> file
  std::map<FileId, std::string> unnamed_contents_;
  std::map<FileId, std::string> flushed_contents_;
  std::map<std::string, FileId> durable_files_;
  std::set<std::string> durable_directories_;
  std::map<std::string, std::string> renamed_with_;  // name -> another of its group
  FileId next_file_id_ = 0;
};

}  // namespace engine::test
