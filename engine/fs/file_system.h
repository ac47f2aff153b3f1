// Every file-system call that an installation run makes goes through this one
// interface, so that tests can watch the calls and make any one of them fail.
//
// Paths are the stream's own: relative to the game folder (the current
// directory), backslash-separated, spelled as the patch spells them. Each
// realisation maps them onto its platform.
#pragma once

#include <minizip/ioapi.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>

namespace engine {

// A file open for writing. Destroying it closes it (ignoring the result), so
// no path out of a function leaves a file open.
class WritableFile {
 public:
  virtual ~WritableFile() = default;
  // False when not every byte was written.
  virtual bool Write(std::span<const std::uint8_t> data) = 0;
  // False when buffered data could not be written or the close failed.
  virtual bool Close() = 0;
};

// Whether a rename can put a new file at a path, as ProbeTarget finds it.
enum class TargetState {
  kMissing,      // nothing stands there: the file is one the patch adds
  kReplaceable,  // a file (or a link) that a rename can replace
  kBlocked,      // a directory, a file held open against deletion, or unknown
};

// The room left on a volume, and the unit in which it hands it out: a file
// takes its size rounded up to whole units.
struct VolumeSpace {
  std::uint64_t free_bytes = 0;  // what may still be written
  std::uint64_t unit = 1;        // bytes of one allocation unit, at least 1
};

// Keeps every other installer out of the game folder while it lives.
class FolderLock {
 public:
  virtual ~FolderLock() = default;
};

// Work that FileSystem::StartBeside has started. Destroying it waits until
// the work has ended.
class WorkBeside {
 public:
  virtual ~WorkBeside() = default;
};

// Each call states what it does on failure; none throws. The installer runs
// with administrator rights, so no call that creates a name ever writes
// through a link that someone else put there.
class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // Creates one directory; false if it could not be made (it may exist).
  virtual bool MakeDirectory(const std::string& path) = 0;
  // Creates a new, empty file of our own at the path and opens it for
  // writing. Whatever file or link stands at the name is removed first (a
  // link itself, never what it points to), and the file is then created
  // exclusively without following links, so the writes land in this new
  // file and nowhere else. Null on failure: the name could not be cleared (a
  // directory stands there), something was put there again meanwhile, or
  // the file could not be created.
  virtual std::unique_ptr<WritableFile> OpenForWriting(const std::string& path) = 0;
  // The whole contents, or nullopt when the file cannot be opened or read.
  // Opened shared with other readers and writers.
  virtual std::optional<std::string> ReadWholeFile(const std::string& path) = 0;
  // True when something (a file, a folder, a link) stands at the path; false
  // also when it cannot tell.
  virtual bool Exists(const std::string& path) = 0;
  // The size of the file in bytes; nullopt when it cannot be had.
  virtual std::optional<std::uint64_t> FileSize(const std::string& path) = 0;
  // The room on the volume of the game folder (the current directory);
  // nullopt when the system cannot tell.
  virtual std::optional<VolumeSpace> FreeSpace() = 0;
  // Whether RenameReplacing could put a file at the path now. A read-only
  // file counts as replaceable: RenameReplacing takes the attribute off.
  // kBlocked also when the state cannot be found out.
  virtual TargetState ProbeTarget(const std::string& path) = 0;
  // Forces the file's contents to the device; false on failure. Its name is
  // not forced with it: see FlushFolderOf.
  virtual bool FlushToDisk(const std::string& path) = 0;
  // Forces to the device the names of the folder that holds `path`: every
  // file or folder created, removed or renamed there, `path` itself
  // whether it still exists or not. Until then a power cut may keep any of
  // those names as it was before. False on failure.
  virtual bool FlushFolderOf(const std::string& path) = 0;
  // Removes a file or a link (never a directory, never what a link points
  // to), a read-only one included; false on failure.
  virtual bool RemoveFile(const std::string& path) = 0;
  // Gives the existing file `existing` the second name `link` (a hard link)
  // and makes the new name durable. Replaces nothing: false when something
  // stands at `link`, when the volume has no hard links, or on any other
  // failure, and then nothing has changed.
  virtual bool LinkFile(const std::string& existing, const std::string& link) = 0;
  // Renames `from` onto `to` in one step, replacing what stands at `to` (a
  // read-only file included; a link there is replaced, not followed), and
  // makes the new name durable. False on failure, and then both names are
  // as they were.
  virtual bool RenameReplacing(const std::string& from, const std::string& to) = 0;
  // Starts `work`, which makes calls on this file system and throws nothing,
  // beside the calling thread, which goes on meanwhile with calls on other
  // paths; destroying the result waits for the work to end. Only a file
  // system that keeps no state between its calls can take them from two
  // threads at once. The default, for one that does (a test double that
  // counts, records or holds the files), and for every wrapper that does
  // not forward this call, does the work at once, on the calling thread, so
  // that the calls come in the order of the code.
  virtual std::unique_ptr<WorkBeside> StartBeside(std::function<void()> work) {
    work();
    return std::make_unique<WorkBeside>();
  }
  // The file layer that minizip uses for the game's archives; file names
  // passed to it are stream paths like the ones above. An archive opened for
  // creation is created like OpenForWriting's file: of our own, never
  // through a link.
  virtual zlib_filefunc64_def ZipFileFunctions() = 0;
  // Takes the game folder for this run alone, through an exclusive lock on
  // the file at `lock_path`, created (empty) if need be without following a
  // link, and removed when the lock is let go. Does not wait: null when another
  // run holds the lock, or when the file cannot be created or locked (a
  // link or a folder stands at the name, say); nothing else has changed
  // then. The default suits a file system that no other process can reach
  // (an in-memory one): there is nobody to keep out.
  virtual std::unique_ptr<FolderLock> LockGameFolder(const std::string& lock_path) {
    static_cast<void>(lock_path);
    return std::make_unique<FolderLock>();
  }
};

// The realisation for the platform this binary was built for.
FileSystem& NativeFileSystem();

}  // namespace engine
