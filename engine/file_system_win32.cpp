// The file system on Windows. Stream paths are already Windows paths
// (relative, backslash-separated, in the ANSI code page), so they go to the
// narrow Win32 calls unchanged, and the system matches letter case itself.
#include <windows.h>
// In this order: iowin32.h uses what the other two declare.
#include <minizip/ioapi.h>
#include <minizip/iowin32.h>

#include <cstdint>
#include <memory>
#include <string>

#include "engine/file_system.h"

namespace engine {
namespace {

// Readers and writers of the game (a running launcher, a virus scanner)
// may hold the same files open; sharing both ways keeps our opens working
// beside them.
constexpr DWORD kShareReadWrite = FILE_SHARE_READ | FILE_SHARE_WRITE;

class Handle {
 public:
  explicit Handle(HANDLE handle) : handle_(handle) {}
  ~Handle() {
    if (valid()) CloseHandle(handle_);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;

  bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
  HANDLE get() const { return handle_; }
  // Gives up ownership, so the caller can close and see the result.
  HANDLE release() {
    HANDLE handle = handle_;
    handle_ = INVALID_HANDLE_VALUE;
    return handle;
  }

 private:
  HANDLE handle_;
};

class Win32WritableFile final : public WritableFile {
 public:
  explicit Win32WritableFile(HANDLE handle) : file_(handle) {}

  bool Write(std::span<const std::uint8_t> data) override {
    // WriteFile takes a 32-bit count; larger blocks go in pieces.
    constexpr std::size_t kMaxPiece = 1u << 30;
    while (!data.empty()) {
      const DWORD piece = static_cast<DWORD>(data.size() < kMaxPiece ? data.size() : kMaxPiece);
      DWORD written = 0;
      if (!WriteFile(file_.get(), data.data(), piece, &written, nullptr) || written != piece) {
        return false;
      }
      data = data.subspan(piece);
    }
    return true;
  }

  bool Close() override { return CloseHandle(file_.release()) != 0; }

 private:
  Handle file_;
};

class Win32FileSystem final : public FileSystem {
 public:
  Win32FileSystem() { fill_win32_filefunc64A(&zip_functions_); }

  bool MakeDirectory(const std::string& path) override {
    return CreateDirectoryA(path.c_str(), nullptr) != 0;
  }

  std::unique_ptr<WritableFile> OpenForWriting(const std::string& path) override {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, kShareReadWrite, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return nullptr;
    return std::make_unique<Win32WritableFile>(file);
  }

  std::optional<std::string> ReadWholeFile(const std::string& path) override {
    Handle file(CreateFileA(path.c_str(), GENERIC_READ, kShareReadWrite, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) return std::nullopt;
    // Read to the end rather than trusting the size: another writer may be
    // changing the file.
    std::string contents;
    char chunk[4096];
    for (;;) {
      DWORD count = 0;
      if (!ReadFile(file.get(), chunk, sizeof chunk, &count, nullptr)) return std::nullopt;
      if (count == 0) return contents;
      contents.append(chunk, count);
    }
  }

  bool Exists(const std::string& path) override {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
  }

  bool FlushToDisk(const std::string& path) override {
    // FlushFileBuffers needs a handle with write access.
    Handle file(CreateFileA(path.c_str(), GENERIC_WRITE, kShareReadWrite, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
    return file.valid() && FlushFileBuffers(file.get()) != 0;
  }

  bool RemoveFile(const std::string& path) override { return DeleteFileA(path.c_str()) != 0; }

  bool RenameReplacing(const std::string& from, const std::string& to) override {
    // Write-through: the call returns only when the new name is on the disk.
    return MoveFileExA(from.c_str(), to.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
  }

  // minizip's own Win32 layer over CreateFileA: an archive opened for
  // reading is shared with other readers and must exist; a created one
  // replaces any file of its name and is not shared.
  zlib_filefunc64_def ZipFileFunctions() override { return zip_functions_; }

 private:
  zlib_filefunc64_def zip_functions_;
};

}  // namespace

FileSystem& NativeFileSystem() {
  static Win32FileSystem file_system;
  return file_system;
}

}  // namespace engine
