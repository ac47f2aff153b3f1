// What the test driver sees of another process's windows: the installer's
// progress dialog, its "Error" boxes and the folder-browse dialog. Every read
// goes through messages that Windows (and Wine) carry across processes, or
// through memory placed in the other process, so the installer is observed
// exactly as a user's screen would show it.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace driver {

// Visible top-level dialog windows (class #32770) of one process.
std::vector<HWND> DialogsOfProcess(DWORD process_id);

std::wstring WindowTitle(HWND window);
// The text of a control in another process (WM_GETTEXT, with a timeout).
std::wstring ControlText(HWND control);
std::wstring DialogItemText(HWND dialog, int id);

// The installer's progress dialog, the open "Error" box and the browse dialog
// of the process, or null.
HWND FindProgressDialog(DWORD process_id);
HWND FindErrorBox(DWORD process_id);
HWND FindBrowseDialog(DWORD process_id);

// The texts of a dialog's static controls, in z-order.
std::vector<std::wstring> StaticTexts(HWND dialog);

// The ids of a dialog's visible push buttons, in z-order.
std::vector<int> ButtonIds(HWND dialog);

// Whether the dialog shows an icon: a visible icon control holding one.
bool ShowsIcon(HWND dialog);

// Presses a button of a dialog in another process: posts the notification
// that a click on it sends. False when the button is missing or disabled.
bool ClickButton(HWND dialog, int id);

// The path of the selected item of the dialog's tree view, from the root
// down, each level's display text separated by " > "; empty when none.
std::wstring TreeSelectionPath(HANDLE process, HWND dialog);

std::string Utf8(const std::wstring& text);

}  // namespace driver
