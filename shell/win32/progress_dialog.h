// The progress dialog: a status box and one button. Opening it starts the
// installer thread; the button cancels the run while it is under way and
// closes the dialog after a successful run.
#pragma once

#include <windows.h>

namespace shell::win32 {

// Resource ids of the dialog template and of the icon it shows.
inline constexpr int kProgressDialogId = 101;
inline constexpr int kIconId = 102;

// The dialog procedure. Open the dialog with DialogBoxParamA, passing the
// executable's instance handle as the initialization parameter: the icon is
// loaded from it. The dialog ends with 1 after a successful run was closed by
// the user, with 2 after a failed or cancelled run.
INT_PTR CALLBACK ProgressDialogProc(HWND window, UINT message, WPARAM w_param, LPARAM l_param);

}  // namespace shell::win32
