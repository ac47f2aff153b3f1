// The file system on Windows. Stream paths are already Windows paths
// (relative, backslash-separated, in the ANSI code page), so they go to the
// narrow Win32 calls unchanged, and the system matches letter case itself.
// Every call first walks the folders on the way to its path and holds them
// until it has finished (path_beneath_win32.h): a junction or a link on the
// way fails the call as the seam documents for failure, and no folder can
// be swapped for one meanwhile.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>

#include "base/unique_handle_win32.h"
#include "engine/fs/file_system.h"
#include "engine/fs/path_beneath_win32.h"
#include "engine/fs/thread_beside.h"
#include "engine/fs/zip_layer_win32.h"

namespace engine {
namespace {

// Readers and writers of the game (a running launcher, a virus scanner)
// may hold the same files open; sharing both ways keeps our opens working
// beside them.
constexpr DWORD kShareReadWrite = FILE_SHARE_READ | FILE_SHARE_WRITE;

// Holds the folders on the way for as long as the file is open.
class Win32WritableFile final : public WritableFile {
 public:
  Win32WritableFile(FoldersOnTheWay way, HANDLE handle) : way_(std::move(way)), file_(handle) {}

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
  FoldersOnTheWay way_;
  base::UniqueHandle file_;
};

// Takes the read-only attribute off a file that has it, so that it can be
// replaced or removed: the patch owns the game's files. Returns the
// attributes to put back should that fail, or 0 when nothing was changed.
DWORD ClearReadOnly(const char* path) {
  const DWORD attributes = GetFileAttributesA(path);
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_READONLY) == 0) {
    return 0;
  }
  SetFileAttributesA(path, attributes & ~FILE_ATTRIBUTE_READONLY);
  return attributes;
}

void PutBack(const char* path, DWORD attributes) {
  if (attributes != 0) SetFileAttributesA(path, attributes);
}

// Removes whatever file or link stands at a name we are about to create. A
// reparse point (a symbolic link, a junction) is removed itself, never what
// it points to; a real directory stays, and the creation then fails.
void ClearName(const char* path) {
  const DWORD attributes = GetFileAttributesA(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) return;
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) RemoveDirectoryA(path);
    return;
  }
  const DWORD previous = ClearReadOnly(path);
  if (!DeleteFileA(path)) PutBack(path, previous);
}

// Creates a file of our own at the name, for every staged file, the staged
// archive included. CREATE_NEW fails on anything at the name, a link
// included, so a link put there after the name was cleared is not followed
// either. A leftover that another program holds open cannot be removed; it
// is truncated instead, opened as itself should it have become a link
// meanwhile.
HANDLE CreateOwnFile(const char* path, DWORD access, DWORD share) {
  ClearName(path);
  HANDLE file =
      CreateFileA(path, access, share, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_EXISTS) {
    const DWORD attributes = GetFileAttributesA(path);
    if (attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) == 0) {
      file = CreateFileA(path, access, share, nullptr, TRUNCATE_EXISTING,
                         FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    }
  }
  return file;
}

// The lock file, open and shared with nobody: while this handle lives no
// other installer can open it, and the system removes the file when the
// handle closes, however the process ends. Removing it cannot let a third
// run in beside a second one, as it could with a lock on a shared file:
// nobody else has it open.
class Win32FolderLock final : public FolderLock {
 public:
  explicit Win32FolderLock(HANDLE handle) : file_(handle) {}

 private:
  base::UniqueHandle file_;
};

class Win32FileSystem final : public FileSystem {
 public:
  bool MakeDirectory(const std::string& path) override {
    const FoldersOnTheWay way(path);
    return way.held() && CreateDirectoryA(path.c_str(), nullptr) != 0;
  }

  std::unique_ptr<WritableFile> OpenForWriting(const std::string& path) override {
    FoldersOnTheWay way(path);
    if (!way.held()) return nullptr;
    HANDLE file = CreateOwnFile(path.c_str(), GENERIC_WRITE, kShareReadWrite);
    if (file == INVALID_HANDLE_VALUE) return nullptr;
    return std::make_unique<Win32WritableFile>(std::move(way), file);
  }

  std::optional<std::string> ReadWholeFile(const std::string& path) override {
    const FoldersOnTheWay way(path);
    if (!way.held()) return std::nullopt;
    base::UniqueHandle file(CreateFileA(path.c_str(), GENERIC_READ, kShareReadWrite, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
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
    const FoldersOnTheWay way(path);
    return way.held() && GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
  }

  std::optional<std::uint64_t> FileSize(const std::string& path) override {
    const FoldersOnTheWay way(path);
    if (!way.held()) return std::nullopt;
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
    return (std::uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
  }

  // The free bytes as this user may use them (quotas included); the
  // cluster from the root of the volume the folder is on, which may be
  // mounted in a folder of another. Without a cluster, bytes are counted.
  std::optional<VolumeSpace> FreeSpace() override {
    ULARGE_INTEGER available;
    if (!GetDiskFreeSpaceExA(".\\", &available, nullptr, nullptr)) return std::nullopt;
    VolumeSpace space{available.QuadPart, 1};
    wchar_t root[MAX_PATH];
    DWORD sectors_per_cluster = 0, bytes_per_sector = 0, free_clusters = 0, clusters = 0;
    if (GetVolumePathNameW(L".", root, MAX_PATH) &&
        GetDiskFreeSpaceW(root, &sectors_per_cluster, &bytes_per_sector, &free_clusters,
                          &clusters) &&
        sectors_per_cluster != 0 && bytes_per_sector != 0) {
      space.unit = std::uint64_t{sectors_per_cluster} * bytes_per_sector;
    }
    return space;
  }

  // MoveFileEx cannot replace a directory, nor a file that another program
  // holds open without FILE_SHARE_DELETE; an open asking for delete access,
  // shared every way, is refused in just that case. A read-only file is
  // no obstacle: RenameReplacing takes the attribute off. A folder missing
  // on the way is one that the patch creates; a link there blocks.
  TargetState ProbeTarget(const std::string& path) override {
    const FoldersOnTheWay way(path);
    if (!way.held()) {
      return way.error() == ERROR_PATH_NOT_FOUND ? TargetState::kMissing : TargetState::kBlocked;
    }
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
      const DWORD error = GetLastError();
      return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? TargetState::kMissing
                                                                            : TargetState::kBlocked;
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return TargetState::kBlocked;
    base::UniqueHandle probe(CreateFileA(path.c_str(), DELETE | FILE_WRITE_ATTRIBUTES,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                         nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT,
                                         nullptr));
    return probe.valid() ? TargetState::kReplaceable : TargetState::kBlocked;
  }

  bool FlushToDisk(const std::string& path) override {
    const FoldersOnTheWay way(path);
    return way.held() && Flush(path, 0);
  }

  // A folder opened as itself (backup semantics) flushes like a file: what
  // the file system holds of it, its entries, goes to the device.
  bool FlushFolderOf(const std::string& path) override {
    const FoldersOnTheWay way(path);
    if (!way.held()) return false;
    const std::size_t separator = path.find_last_of("\\/");
    return Flush(separator == std::string::npos ? "." : path.substr(0, separator),
                 FILE_FLAG_BACKUP_SEMANTICS);
  }

  bool RemoveFile(const std::string& path) override {
    const FoldersOnTheWay way(path);
    if (!way.held()) return false;
    const DWORD previous = ClearReadOnly(path.c_str());
    if (DeleteFileA(path.c_str())) return true;
    PutBack(path.c_str(), previous);
    return false;
  }

  // NTFS keeps every name of a file with the file itself, so flushing the
  // file through its new name puts that name on the disk. Not reported
  // should it fail: the link is there either way.
  bool LinkFile(const std::string& existing, const std::string& link) override {
    const FoldersOnTheWay existing_way(existing);
    const FoldersOnTheWay link_way(link);
    if (!existing_way.held() || !link_way.held()) return false;
    if (!CreateHardLinkA(link.c_str(), existing.c_str(), nullptr)) return false;
    Flush(link, FILE_FLAG_OPEN_REPARSE_POINT);
    return true;
  }

  // The replacing move refuses a read-only target, so the attribute comes
  // off just before it, and goes back on should the move fail.
  bool RenameReplacing(const std::string& from, const std::string& to) override {
    const FoldersOnTheWay from_way(from);
    const FoldersOnTheWay to_way(to);
    if (!from_way.held() || !to_way.held()) return false;
    const DWORD previous = ClearReadOnly(to.c_str());
    // Write-through: the call returns only when the new name is on the disk.
    if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      return true;
    }
    PutBack(to.c_str(), previous);
    return false;
  }

  // Each call above holds what it opens for its own length and keeps
  // nothing; the archive layer's state is its streams', which work beside
  // the run never opens.
  std::unique_ptr<WorkBeside> StartBeside(std::function<void()> work) override {
    return StartOnThreadBeside(std::move(work));
  }

  zlib_filefunc64_def ZipFileFunctions() override { return zip_layer_.functions(); }

  // A link at the name is refused before it is opened; one put there in
  // between is opened as itself (FILE_FLAG_OPEN_REPARSE_POINT), refused,
  // and goes with the handle, the link and never what it points to.
  std::unique_ptr<FolderLock> LockGameFolder(const std::string& lock_path) override {
    const FoldersOnTheWay way(lock_path);
    if (!way.held()) return nullptr;
    constexpr DWORD kNotAFile = FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY;
    const DWORD attributes = GetFileAttributesA(lock_path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & kNotAFile) != 0) return nullptr;
    base::UniqueHandle file(CreateFileA(
        lock_path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
        FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    BY_HANDLE_FILE_INFORMATION information;
    if (!file.valid() || !GetFileInformationByHandle(file.get(), &information) ||
        (information.dwFileAttributes & kNotAFile) != 0) {
      return nullptr;
    }
    return std::make_unique<Win32FolderLock>(file.release());
  }

 private:
  // FlushFileBuffers needs a handle with write access.
  static bool Flush(const std::string& path, DWORD flags) {
    base::UniqueHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, kShareReadWrite, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | flags, nullptr));
    return file.valid() && FlushFileBuffers(file.get()) != 0;
  }

  ZipLayerWin32 zip_layer_{CreateOwnFile};
};

}  // namespace

FileSystem& NativeFileSystem() {
  static Win32FileSystem file_system;
  return file_system;
}

}  // namespace engine
