// What the engine's end-to-end tests share: the shipped message table, a
// game folder that is the current directory, a scripted host, and payloads
// made by the payload writer.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/fs/file_system.h"
#include "game_folder.h"
#include "payload/payload_writer.h"
#include "scripted_host.h"

namespace engine::test {

using payload::PatchDescription;

// The shipped texts that the run shows.
inline const std::string kInstalling = "Patch is being installed. Please wait...";
inline const std::string kSuccess = "Update installed successfully!";
inline const std::string kClose = "Close";
inline const std::string kCorrupted = "File is corrupted! Update impossible.";
inline const std::string kUnknownError = "Unknown error";
inline const std::string kWriteError =
    "Write error to a temporary file. Possibly no free space in the disc with the game folder.";
inline const std::string kEnglishOnly = "This patch is for the English version only!";
inline const std::string kAlreadyInstalled =
    "Patch is already installed! Do you want to reinstall this patch?";
inline const std::string kNewerInstalled =
    "Setup found a newer version installed! Continue any way?";

Bytes AsBytes(const std::string& text);
payload::FileEntry Entry(const std::string& name, const std::string& content);

// The host calls of a successful run that passes `checks` cancel tests.
std::vector<std::string> SucceededCalls(int checks);

class InstallationTest : public ::testing::Test {
 protected:
  InstallationTest();
  ~InstallationTest() override;

  // Runs the installation over `payload`, or over no payload at all.
  void Run(const Bytes& payload);
  void Run(const Bytes& payload, FileSystem& file_system);
  void RunWithoutPayload();
  void Run(const PatchDescription& patch) {
    Run(payload::BuildPayload(payload::BuildPatchStream(patch)));
  }

  GameFolder folder;
  ScriptedHost host;
};

}  // namespace engine::test
