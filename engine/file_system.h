// Every file-system call that an installation run makes goes through this one
// interface, so that tests can watch the calls and make any one of them fail.
//
// Paths are the stream's own: relative to the game folder (the current
// directory), backslash-separated, spelled as the patch spells them. Each
// realisation maps them onto its platform.
#pragma once

#include <minizip/ioapi.h>

#include <cstdint>
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

class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // Creates one directory; false if it could not be made (it may exist).
  virtual bool MakeDirectory(const std::string& path) = 0;
  // Creates the file, or truncates an existing one; null on failure.
  virtual std::unique_ptr<WritableFile> OpenForWriting(const std::string& path) = 0;
  // The whole contents, or nullopt when the file cannot be opened or read.
  // Opened shared with other readers and writers.
  virtual std::optional<std::string> ReadWholeFile(const std::string& path) = 0;
  // True when something (a file, a folder, a link) stands at the path.
  virtual bool Exists(const std::string& path) = 0;
  // Forces the file's contents to the device; false on failure.
  virtual bool FlushToDisk(const std::string& path) = 0;
  // Removes a file (never a directory); false on failure.
  virtual bool RemoveFile(const std::string& path) = 0;
  // Renames `from` onto `to` in one step, replacing `to` if it exists.
  virtual bool RenameReplacing(const std::string& from, const std::string& to) = 0;
  // The file layer that minizip uses for the game's archives; file names
  // passed to it are stream paths like the ones above.
  virtual zlib_filefunc64_def ZipFileFunctions() = 0;
};

// The realisation for the platform this binary was built for.
FileSystem& NativeFileSystem();

}  // namespace engine
