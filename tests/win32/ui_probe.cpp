#include "ui_probe.h"

#include <commctrl.h>

#include <cstring>

namespace driver {
namespace {

constexpr UINT kMessageTimeoutMs = 2000;

std::wstring ClassName(HWND window) {
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  return name;
}

struct ProcessWindows {
  DWORD process_id;
  std::vector<HWND> found;
};

BOOL CALLBACK CollectDialog(HWND window, LPARAM data) {
  auto* search = reinterpret_cast<ProcessWindows*>(data);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner == search->process_id && IsWindowVisible(window) && ClassName(window) == L"#32770") {
    search->found.push_back(window);
  }
  return TRUE;
}

std::vector<HWND> Children(HWND dialog) {
  std::vector<HWND> children;
  for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr;
       child = GetWindow(child, GW_HWNDNEXT)) {
    children.push_back(child);
  }
  return children;
}

// Memory in the other process, for messages whose arguments are pointers.
class RemoteBuffer {
 public:
  RemoteBuffer(HANDLE process, std::size_t size)
      : process_(process),
        address_(VirtualAllocEx(process, nullptr, size, MEM_COMMIT, PAGE_READWRITE)) {}
  ~RemoteBuffer() {
    if (address_ != nullptr) VirtualFreeEx(process_, address_, 0, MEM_RELEASE);
  }
  RemoteBuffer(const RemoteBuffer&) = delete;
  RemoteBuffer& operator=(const RemoteBuffer&) = delete;

  char* get() const { return static_cast<char*>(address_); }

 private:
  HANDLE process_;
  void* address_;
};

std::wstring TreeItemText(HANDLE process, HWND tree, HTREEITEM item) {
  constexpr std::size_t kTextUnits = 512;
  RemoteBuffer remote(process, sizeof(TVITEMW) + kTextUnits * sizeof(wchar_t));
  if (remote.get() == nullptr) return L"?";
  TVITEMW request{};
  request.mask = TVIF_TEXT | TVIF_HANDLE;
  request.hItem = item;
  request.pszText = reinterpret_cast<wchar_t*>(remote.get() + sizeof(TVITEMW));
  request.cchTextMax = kTextUnits;
  WriteProcessMemory(process, remote.get(), &request, sizeof request, nullptr);
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(remote.get()),
                           SMTO_ABORTIFHUNG, kMessageTimeoutMs, &result) ||
      result == 0) {
    return L"?";
  }
  wchar_t text[kTextUnits + 1] = {};
  ReadProcessMemory(process, request.pszText, text, kTextUnits * sizeof(wchar_t), nullptr);
  return text;
}

HTREEITEM NextItem(HWND tree, WPARAM relation, HTREEITEM from) {
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutW(tree, TVM_GETNEXTITEM, relation, reinterpret_cast<LPARAM>(from),
                           SMTO_ABORTIFHUNG, kMessageTimeoutMs, &result)) {
    return nullptr;
  }
  return reinterpret_cast<HTREEITEM>(result);
}

}  // namespace

std::vector<HWND> DialogsOfProcess(DWORD process_id) {
  ProcessWindows search{process_id, {}};
  EnumWindows(CollectDialog, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

std::wstring WindowTitle(HWND window) {
  // For another process's window this reads the title that the system keeps,
  // without sending it a message.
  wchar_t title[256] = {};
  GetWindowTextW(window, title, 256);
  return title;
}

std::wstring ControlText(HWND control) {
  wchar_t text[1024] = {};
  DWORD_PTR copied = 0;
  if (!SendMessageTimeoutW(control, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text),
                           SMTO_ABORTIFHUNG, kMessageTimeoutMs, &copied)) {
    return L"<no answer>";
  }
  return text;
}

std::wstring DialogItemText(HWND dialog, int id) {
  HWND control = GetDlgItem(dialog, id);
  return control == nullptr ? L"<no control>" : ControlText(control);
}

HWND FindProgressDialog(DWORD process_id) {
  for (HWND dialog : DialogsOfProcess(process_id)) {
    if (WindowTitle(dialog) == L"Patch Installer") return dialog;
  }
  return nullptr;
}

HWND FindErrorBox(DWORD process_id) {
  for (HWND dialog : DialogsOfProcess(process_id)) {
    if (WindowTitle(dialog) == L"Error") return dialog;
  }
  return nullptr;
}

HWND FindBrowseDialog(DWORD process_id) {
  for (HWND dialog : DialogsOfProcess(process_id)) {
    for (HWND child : Children(dialog)) {
      if (ClassName(child) == L"SysTreeView32") return dialog;
    }
  }
  return nullptr;
}

std::vector<std::wstring> StaticTexts(HWND dialog) {
  std::vector<std::wstring> texts;
  for (HWND child : Children(dialog)) {
    const LONG style = GetWindowLongW(child, GWL_STYLE);
    if (ClassName(child) == L"Static" && (style & SS_TYPEMASK) != SS_ICON) {
      texts.push_back(ControlText(child));
    }
  }
  return texts;
}

std::vector<int> ButtonIds(HWND dialog) {
  std::vector<int> ids;
  for (HWND child : Children(dialog)) {
    if (ClassName(child) == L"Button" && IsWindowVisible(child)) {
      ids.push_back(GetDlgCtrlID(child));
    }
  }
  return ids;
}

bool ShowsIcon(HWND dialog) {
  for (HWND child : Children(dialog)) {
    const LONG style = GetWindowLongW(child, GWL_STYLE);
    if (ClassName(child) != L"Static" || (style & SS_TYPEMASK) != SS_ICON ||
        !IsWindowVisible(child)) {
      continue;
    }
    // Message boxes keep their icon control when they have no icon; it is
    // then simply empty.
    DWORD_PTR icon = 0;
    if (SendMessageTimeoutW(child, STM_GETICON, 0, 0, SMTO_ABORTIFHUNG, kMessageTimeoutMs, &icon) &&
        icon != 0) {
      return true;
    }
  }
  return false;
}

bool ClickButton(HWND dialog, int id) {
  HWND button = GetDlgItem(dialog, id);
  if (button == nullptr || !IsWindowEnabled(button)) return false;
  // Posted, like the notification of a real click: the receiving dialog may
  // open a modal loop of its own and must not keep the driver waiting.
  return PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                      reinterpret_cast<LPARAM>(button)) != FALSE;
}

std::wstring TreeSelectionPath(HANDLE process, HWND dialog) {
  HWND tree = FindWindowExW(dialog, nullptr, L"SysTreeView32", nullptr);
  if (tree == nullptr) return {};
  std::wstring path;
  for (HTREEITEM item = NextItem(tree, TVGN_CARET, nullptr); item != nullptr;
       item = NextItem(tree, TVGN_PARENT, item)) {
    const std::wstring text = TreeItemText(process, tree, item);
    path = path.empty() ? text : text + L" > " + path;
  }
  return path;
}

std::string Utf8(const std::wstring& text) {
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()),
                                       nullptr, 0, nullptr, nullptr);
  std::string result(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), result.data(), size,
                      nullptr, nullptr);
  return result;
}

}  // namespace driver
