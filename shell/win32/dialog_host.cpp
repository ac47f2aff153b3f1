#include "shell/win32/dialog_host.h"

#include "shell/install_flags.h"
#include "shell/win32/wide.h"

namespace shell::win32 {
namespace {

// wchar_t is 16 bits on Windows, so the table's texts pass to the wide calls
// as they are; a null text shows as an empty one.
// Every box has this caption and no icon, the questions included.
constexpr const wchar_t* kBoxCaption = L"Error";

}  // namespace

void DialogHost::SetStatusText(const char16_t* text) {
  SetDlgItemTextW(window_, kStatusBoxId, Wide(text));
}

void DialogHost::SetButtonText(const char16_t* text) {
  SetDlgItemTextW(window_, kButtonId, Wide(text));
}

bool DialogHost::AskYesNo(const char16_t* text) {
  // Only an explicit No refuses: a box that could not be shown counts as yes.
  return MessageBoxW(window_, Wide(text), kBoxCaption, MB_YESNO) != IDNO;
}

void DialogHost::ShowError(const char16_t* text) {
  MessageBoxW(window_, Wide(text), kBoxCaption, MB_OK);
}

void DialogHost::CloseDialog() { EndDialog(window_, 2); }

bool DialogHost::IsCancelRequested() { return shell::CancelRequested.load(); }

void DialogHost::MarkFinished() { shell::InstallFinished.store(true); }

}  // namespace shell::win32
