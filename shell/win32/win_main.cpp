// Start-up of the Windows installer: load the texts, find the game folder,
// make it the current directory and run the installation behind the progress
// dialog. The command line is ignored.
#include <windows.h>

#include <cstdint>
#include <span>
#include <string>

#include "engine/fs/file_system.h"
#include "messages/message_table.h"
#include "shell/win32/game_folder.h"
#include "shell/win32/progress_dialog.h"

namespace {

constexpr int kMessageTableId = 103;

// Loads the texts from the executable's own "LOCAL" resource. The resource
// memory belongs to the image and is only read.
bool LoadMessagesFromResource() {
  HRSRC found = FindResourceA(nullptr, MAKEINTRESOURCEA(kMessageTableId), "LOCAL");
  if (found == nullptr) return false;
  HGLOBAL loaded = LoadResource(nullptr, found);
  if (loaded == nullptr) return false;
  const void* bytes = LockResource(loaded);
  const DWORD size = SizeofResource(nullptr, found);
  if (bytes == nullptr) return false;
  return messages::LoadMessageTable(
      std::span<const std::uint8_t>(static_cast<const std::uint8_t*>(bytes), size));
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE /*previous*/, LPSTR /*command_line*/,
                   int /*show*/) {
  // The file layer that the zip library is handed is set up before anything
  // else, so that it never comes into being on the installer thread.
  engine::NativeFileSystem();

  // Without its texts the installer cannot say anything, not even why.
  if (!LoadMessagesFromResource()) return -1;

  const std::string game_folder = shell::win32::FindGameFolder();
  if (!game_folder.empty()) {
    // Every path of the run is relative to the game folder from here on. A
    // failure is not examined: the run then works in the start directory.
    SetCurrentDirectoryA(game_folder.c_str());
    DialogBoxParamA(instance, MAKEINTRESOURCEA(shell::win32::kProgressDialogId), nullptr,
                    shell::win32::ProgressDialogProc, reinterpret_cast<LPARAM>(instance));
  }

  messages::ReleaseMessageTable();
  return 0;
}
