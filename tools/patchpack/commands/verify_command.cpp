// patchpack verify: installs a patch on a scratch copy of a game, with the
// real installation run and a host that answers every question yes, and
// reports what the player would see; with --expect, also whether the result
// is the new game.
#include <cstdint>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "engine/fs/file_system.h"
#include "engine/run_installation.h"
#include "messages/message_table.h"
#include "messages/shipped_messages.h"
#include "tools/patchpack/commands/command_line.h"
#include "tools/patchpack/formats/installer_input.h"
#include "tools/patchpack/formats/payload_check.h"
#include "tools/patchpack/report/progress_reporter.h"
#include "tools/patchpack/report/verify_json.h"
#include "tools/patchpack/source/source_file.h"
#include "tools/patchpack/trial/expected_result.h"
#include "tools/patchpack/trial/patch_preflight.h"
#include "tools/patchpack/trial/player_stand_in.h"
#include "tools/patchpack/trial/scratch_game.h"

namespace patchpack {
namespace {

namespace fs = std::filesystem;

constexpr const char* kHelp =
    "usage: patchpack verify PAYLOAD_OR_INSTALLER GAME [--expect NEW] [--json] [--quiet]\n"
    "\n"
    "Installs the patch on a scratch copy of the game folder GAME (GAME itself\n"
    "is never touched) with the installer's own engine, answering its questions\n"
    "yes, and reports what the player would see: success, or the error the\n"
    "installer would show and why. Takes a payload file or an installer made\n"
    "by attach, console or Windows.\n"
    "\n"
    "options:\n"
    "  --expect NEW   also check that the result equals the game folder NEW:\n"
    "                 files byte for byte, zip archives entry by entry, and\n"
    "                 curver.txt as the installer writes it\n"
    "  --json         print one JSON document instead: the patch as inspect\n"
    "                 --json lists it, the staging space this game needs, the\n"
    "                 questions, and the result with the error and why, or the\n"
    "                 differences from NEW\n"
    "  --quiet        no progress of the decoding and the staging on stderr\n"
    "                 (shown for work longer than a second: a bar on a\n"
    "                 terminal, a line every 5 s otherwise)\n"
    "  -h, --help     show this help\n"
    "\n"
    "Exit status: 0 when the install succeeds (and matches NEW), 1 otherwise.\n";

// The texts the player sees: the installer's attached table, else the one
// every stub links in.
class PlayerMessages {
 public:
  explicit PlayerMessages(const std::optional<payload::Bytes>& attached) {
    std::span<const std::uint8_t> table =
        attached ? std::span<const std::uint8_t>(*attached) : messages::ShippedMessageTable();
    if (!messages::LoadMessageTable(table)) throw CommandError("the message table is empty");
  }
  ~PlayerMessages() { messages::ReleaseMessageTable(); }
  PlayerMessages(const PlayerMessages&) = delete;
  PlayerMessages& operator=(const PlayerMessages&) = delete;
};

// The installation runs in the scratch copy, so every folder given is taken
// from where the command started.
fs::path AbsolutePath(const std::string& given) {
  std::error_code error;
  fs::path path = fs::absolute(given, error);
  if (error) throw CommandError("cannot find " + given + ": " + error.message());
  return path;
}

void PrintReport(const VerifyReport& report) {
  std::cout << "verify " << report.file << " ("
            << (report.kind == "payload" ? "payload" : "installer")
            << (report.signature.empty() ? "" : ", ") << report.signature << ") on a copy of "
            << report.game << "\n";
  for (const std::string& question : report.questions) {
    std::cout << "asked, answered yes: " << question << "\n";
  }
  if (report.error) {
    std::cout << "FAILED: the installer shows \"" << *report.error << "\"\n";
    for (const std::string& reason : report.reasons) std::cout << "  because " << reason << "\n";
    return;
  }
  std::cout << "installed: " << report.installed << "\n";
  if (!report.expect) return;
  if (report.differences.empty()) {
    std::cout << "the result equals NEW (" << *report.expect << ")\n";
    return;
  }
  std::cout << "FAILED: the result differs from NEW (" << *report.expect << ") in "
            << report.differences.size() << (report.differences.size() == 1 ? " place" : " places")
            << ":\n";
  for (const std::string& difference : report.differences) std::cout << "  " << difference << "\n";
}

}  // namespace

int RunVerifyCommand(std::span<const std::string> arguments) {
  ParsedArguments parsed =
      ParseArguments(arguments, {.with_value = {"--expect"}, .switches = {"--json", "--quiet"}});
  if (AnswerHelpOrVersion(parsed, kHelp)) return 0;
  if (parsed.positional.size() != 2) {
    throw UsageError("verify takes a PAYLOAD_OR_INSTALLER and a GAME folder");
  }
  const std::string& input_path = parsed.positional[0];
  const fs::path game = AbsolutePath(parsed.positional[1]);
  std::optional<fs::path> expected;
  if (parsed.values.contains("--expect")) {
    expected = AbsolutePath(parsed.values["--expect"]);
    RequireFolder(*expected, "NEW");
  }
  InstallerInput input = ReadInstallerInput(input_path, input_path);
  // A payload that does not decode is reported by the run in the installer's
  // own words.
  const ProgressReporter::Mode progress =
      ProgressReporter::ModeForStderr(parsed.switches.contains("--quiet"));
  std::optional<payload::PatchDescription> patch =
      CheckPayload(input.payload, progress).description;

  ScratchGame scratch(game);
  PlayerMessages texts(input.messages);
  PlayerStandIn player(progress);
  {
    WorkingDirectory in_game(scratch.folder());
    engine::RunInstallation(player, engine::NativeFileSystem(),
                            [&]() -> std::optional<std::span<const std::uint8_t>> {
                              return std::span<const std::uint8_t>(input.payload);
                            });
  }

  VerifyReport report;
  report.file = input_path;
  report.kind = input.kind;
  report.signature = input.signature;
  report.game = parsed.positional[1];
  report.payload = &input.payload;
  report.patch = patch ? &*patch : nullptr;
  report.staging = player.staging_total();
  report.questions = player.questions();
  if (!player.succeeded()) {
    report.error = player.error().value_or("");
    if (patch) report.reasons = FindPatchProblems(*patch, game);
  } else {
    report.installed = player.status();
    if (expected) {
      report.expect = parsed.values["--expect"];
      report.differences = CompareWithExpected(
          scratch.folder(), *expected, static_cast<std::int32_t>(patch ? patch->version : 0));
    }
  }
  if (parsed.switches.contains("--json")) {
    WriteVerifyJson(std::cout, report);
  } else {
    PrintReport(report);
  }
  return report.error || !report.differences.empty() ? kExitFailure : 0;
}

}  // namespace patchpack
