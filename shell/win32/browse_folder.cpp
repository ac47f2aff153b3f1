#include "shell/win32/browse_folder.h"

#include <shlobj.h>

#include "messages/message_table.h"

namespace shell::win32 {
namespace {

constexpr DWORD kCurrentDirectorySize = 400;

std::string CurrentDirectory() {
  char buffer[kCurrentDirectorySize];
  const DWORD length = GetCurrentDirectoryA(kCurrentDirectorySize, buffer);
  // A longer directory does not fit and is given up: the dialog then starts
  // wherever it starts by itself.
  if (length == 0 || length >= kCurrentDirectorySize) return {};
  return std::string(buffer, length);
}

// The folder that the user chose, as a narrow path, or the empty string.
std::string ShowBrowseDialog(const std::string& initial_folder) {
  IMalloc* allocator = nullptr;
  if (FAILED(SHGetMalloc(&allocator))) return {};

  BROWSEINFOW info{};
  info.hwndOwner = nullptr;
  info.pidlRoot = nullptr;  // the namespace starts at the desktop
  info.pszDisplayName = nullptr;
  info.lpszTitle =
      reinterpret_cast<const wchar_t*>(messages::Message(messages::MsgId::ChooseFolder));
  // Nothing else: the classic dialog, without an edit box or new folders.
  info.ulFlags = BIF_RETURNONLYFSDIRS;
  info.lpfn = BrowseCallback;
  info.lParam = reinterpret_cast<LPARAM>(initial_folder.c_str());
  info.iImage = 0;

  char path[MAX_PATH] = {};
  bool converted = false;
  if (PIDLIST_ABSOLUTE list = SHBrowseForFolderW(&info)) {
    // Fails for items that are not file-system folders.
    converted = SHGetPathFromIDListA(list, path) != FALSE;
    allocator->Free(list);
  }
  allocator->Release();
  return converted ? std::string(path) : std::string();
}

}  // namespace

std::string BrowseForGameFolder(std::string initial_folder) {
  if (initial_folder.empty()) initial_folder = CurrentDirectory();

  std::string folder = ShowBrowseDialog(initial_folder);
  if (!folder.empty() && folder.back() == '\\') folder.pop_back();
  // A drive root such as C:\ has become C: and is refused: the game is never
  // installed at the top of a drive.
  if (folder.find('\\') == std::string::npos) return {};
  return folder;
}

int CALLBACK BrowseCallback(HWND window, UINT event, LPARAM /*parameter*/, LPARAM data) {
  if (event == BFFM_INITIALIZED && data != 0) {
    // The narrow-string selection message, to match the narrow initial folder,
    // although the dialog itself is the wide-string one.
    SendMessageA(window, BFFM_SETSELECTIONA, TRUE, data);
  }
  return 0;
}

}  // namespace shell::win32
