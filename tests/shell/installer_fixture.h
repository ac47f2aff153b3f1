// Drives the real console installer as a user would: a temporary home with
// its settings, game folders on disk, installers made with the real
// `patchpack attach`, and runs with answers on standard input and Ctrl+C
// sent as SIGINT.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <csignal>
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "payload/payload_writer.h"
#include "tests/support/files.h"
#include "tests/support/temp_dir.h"

namespace installer_test {

namespace fs = std::filesystem;
using payload::Bytes;

inline const fs::path kInstallerStub = PI_PATCH_INSTALLER;
inline const fs::path kStubWithoutMessages = PI_PATCH_INSTALLER_NO_MESSAGES;
inline const fs::path kPatchpack = PI_PATCHPACK;

struct RunOptions {
  std::vector<std::string> arguments;
  fs::path directory;  // the start directory
  std::string input;   // standard input; it ends after this text
  bool keep_input_open = false;
  bool close_input = false;    // start the program with descriptor 0 closed
  std::string interrupt_when;  // send `signal` once standard output holds this
  int interrupts = 1;          // how many, a moment apart
  int signal = SIGINT;
  std::map<std::string, std::string> environment;  // set or, when empty, unset
  int timeout_seconds = 180;                       // a run that takes longer has hung and is killed
  int kill_after_milliseconds = 0;                 // send SIGKILL this long after the start
};

struct RunResult {
  int exit_code = -1;  // 128 + signal when the program was killed
  std::string out;
  std::string err;
  bool interrupted = false;  // whether the signal was sent
};

RunResult RunProgram(const fs::path& program, const RunOptions& options);

using test_support::ReadText;
using test_support::Snapshot;
using test_support::WriteText;

class InstallerTest : public ::testing::Test {
 public:
  // A patch of `version` that replaces data\readme.txt, adds
  // data\maps\new.map in a new folder and deletes old.txt.
  static payload::PatchDescription SamplePatch(std::uint32_t version = 14);

 protected:
  InstallerTest();

  // A game folder with sv.exe, data/game.ini, a curver.txt holding
  // `installed_record`, a file the patches replace and one they delete.
  void MakeGameFolder(const fs::path& folder, const std::string& installed_record = "13\r\nonline");

  fs::path WritePayload(const payload::PatchDescription& patch, const std::string& name);
  // Runs `patchpack attach STUB PAYLOAD -o OUTPUT extra...`; fails the test
  // when it fails.
  fs::path Attach(const fs::path& stub, const fs::path& payload, const fs::path& output,
                  const std::vector<std::string>& extra = {});
  fs::path MakeInstaller(const payload::PatchDescription& patch);

  // Runs with HOME and XDG_CONFIG_HOME inside the temporary folder.
  RunResult RunInstaller(const fs::path& installer, RunOptions options);
  void WriteSettings(const std::string& lines);

  // The lines that a successful run prints.
  static std::string SuccessTranscript();

  test_support::TempDir temp_{"console-installer-test"};
  fs::path root_ = temp_.path();
  fs::path home_ = root_ / "home";
  fs::path game_ = root_ / "game";
};

}  // namespace installer_test
