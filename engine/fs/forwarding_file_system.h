// A FileSystem that forwards every call to another one, the archive layer's
// calls included. A wrapper or a test double derives from it and overrides
// only the calls it changes; the seven minizip callbacks are written once,
// here, and reach the overridable Zip* members through the table's opaque
// pointer.
#pragma once

#include "engine/fs/file_system.h"

namespace engine {

class ForwardingFileSystem : public FileSystem {
 public:
  explicit ForwardingFileSystem(FileSystem& base) : base_(base) {}

  bool MakeDirectory(const std::string& path) override { return base_.MakeDirectory(path); }
  std::unique_ptr<WritableFile> OpenForWriting(const std::string& path) override {
    return base_.OpenForWriting(path);
  }
  std::optional<std::string> ReadWholeFile(const std::string& path) override {
    return base_.ReadWholeFile(path);
  }
  bool Exists(const std::string& path) override { return base_.Exists(path); }
  std::optional<std::uint64_t> FileSize(const std::string& path) override {
    return base_.FileSize(path);
  }
  std::optional<VolumeSpace> FreeSpace() override { return base_.FreeSpace(); }
  TargetState ProbeTarget(const std::string& path) override { return base_.ProbeTarget(path); }
  bool FlushToDisk(const std::string& path) override { return base_.FlushToDisk(path); }
  bool FlushFolderOf(const std::string& path) override { return base_.FlushFolderOf(path); }
  bool RemoveFile(const std::string& path) override { return base_.RemoveFile(path); }
  bool LinkFile(const std::string& existing, const std::string& link) override {
    return base_.LinkFile(existing, link);
  }
  bool RenameReplacing(const std::string& from, const std::string& to) override {
    return base_.RenameReplacing(from, to);
  }
  // StartBeside is not forwarded: a wrapper that keeps state of its own
  // takes calls from one thread only. One that keeps none says so itself.
  std::unique_ptr<FolderLock> LockGameFolder(const std::string& lock_path) override {
    return base_.LockGameFolder(lock_path);
  }
  // A table whose callbacks call the Zip* members of this object. It stays
  // valid as long as this object does.
  zlib_filefunc64_def ZipFileFunctions() final;

 protected:
  FileSystem& base() { return base_; }

  // The archive layer, by default the base file system's.
  virtual voidpf ZipOpen(const char* name, int mode);
  virtual uLong ZipRead(voidpf stream, void* buffer, uLong size);
  virtual uLong ZipWrite(voidpf stream, const void* buffer, uLong size);
  virtual ZPOS64_T ZipTell(voidpf stream);
  virtual long ZipSeek(voidpf stream, ZPOS64_T offset, int origin);
  virtual int ZipClose(voidpf stream);
  virtual int ZipError(voidpf stream);

 private:
  struct Callbacks;

  FileSystem& base_;
  // The base's table, fetched when this object's table is handed out.
  zlib_filefunc64_def base_zip_functions_{};
};

}  // namespace engine
