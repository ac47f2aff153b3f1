#include "engine/fs/path_beneath_win32.h"

#include <utility>

namespace engine {
namespace {

// Only what the attributes need; without FILE_SHARE_DELETE, so that nobody
// can rename or remove the folder while it is held.
base::UniqueHandle OpenFolderAsItself(const std::string& path) {
  return base::UniqueHandle(CreateFileA(
      path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
      OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// Opens the folders on the way to `stream_path` into `folders`; the error
// as FoldersOnTheWay::error() gives it.
DWORD Walk(const std::string& stream_path, std::vector<base::UniqueHandle>& folders) {
  // A drive ("C:"), a stream ("file:name") or a root ("\x", "\\server")
  // leaves the game folder before any component is looked up.
  if (stream_path.empty() || IsSeparator(stream_path[0]) ||
      stream_path.find(':') != std::string::npos) {
    return ERROR_BAD_PATHNAME;
  }
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = stream_path.find_first_of("\\/", start);
    const std::string component =
        stream_path.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (component == "..") return ERROR_BAD_PATHNAME;
    // The last component is the caller's; an empty or "." one names the
    // folder it stands in, which is already held.
    if (end == std::string::npos) return ERROR_SUCCESS;
    if (!component.empty() && component != ".") {
      // Each earlier folder is held, so this prefix goes through them.
      const std::string folder_path = stream_path.substr(0, end);
      base::UniqueHandle folder = OpenFolderAsItself(folder_path);
      if (!folder.valid()) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND ? ERROR_PATH_NOT_FOUND : error;
      }
      BY_HANDLE_FILE_INFORMATION information;
      if (!GetFileInformationByHandle(folder.get(), &information)) return GetLastError();
      // The name is asked as well as the handle: Wine opens a Unix symbolic
      // link as the folder it points to, even as itself, yet shows the
      // reparse attribute on the name. Windows opens the link itself, which
      // the held handle then keeps in place.
      const DWORD named = GetFileAttributesA(folder_path.c_str());
      if (named == INVALID_FILE_ATTRIBUTES) return GetLastError();
      if (((information.dwFileAttributes | named) & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        return ERROR_CANT_ACCESS_FILE;
      }
      if ((information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return ERROR_DIRECTORY;
      folders.push_back(std::move(folder));
    }
    start = end + 1;
  }
}

}  // namespace

FoldersOnTheWay::FoldersOnTheWay(const std::string& stream_path)
    : error_(Walk(stream_path, folders_)) {
  if (error_ != ERROR_SUCCESS) {
    folders_.clear();
    SetLastError(error_);
  }
}

}  // namespace engine
