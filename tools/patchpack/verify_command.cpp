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

#include "engine/file_system.h"
#include "engine/installer_host.h"
#include "engine/run_installation.h"
#include "messages/message_table.h"
#include "messages/shipped_messages.h"
#include "tools/patchpack/command_line.h"
#include "tools/patchpack/expected_result.h"
#include "tools/patchpack/installer_input.h"
#include "tools/patchpack/patch_preflight.h"
#include "tools/patchpack/scratch_game.h"

namespace patchpack {
namespace {

namespace fs = std::filesystem;

constexpr const char* kHelp =
    "usage: patchpack verify PAYLOAD_OR_INSTALLER GAME [--expect NEW]\n"
    "\n"
    "Installs the patch on a scratch copy of the game folder GAME (GAME itself\n"
    "is never touched) with the installer's own engine, answering its questions\n"
    "yes, and reports what the player would see: success, or the error the\n"
    "installer would show and why. Takes a payload file or a console installer\n"
    "made by attach.\n"
    "\n"
    "options:\n"
    "  --expect NEW   also check that the result equals the game folder NEW:\n"
    "                 files byte for byte, zip archives entry by entry, and\n"
    "                 curver.txt as the installer writes it\n"
    "  -h, --help     show this help\n"
    "\n"
    "Exit status: 0 when the install succeeds (and matches NEW), 1 otherwise.\n";

std::string Utf8(const char16_t* text) {
  std::string out;
  for (const char16_t* p = text; p != nullptr && *p != 0; ++p) {
    std::uint32_t c = *p;
    if (c >= 0xD800 && c < 0xDC00 && p[1] >= 0xDC00 && p[1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<std::uint32_t>(*++p) - 0xDC00);
    } else if (c >= 0xD800 && c < 0xE000) {
      c = 0xFFFD;
    }
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

// Stands in for the player: says yes to every question and keeps what the
// installer shows.
class PlayerStandIn final : public engine::InstallerHost {
 public:
  void SetStatusText(const char16_t* text) override { status_ = text; }
  void SetButtonText(const char16_t*) override {}
  bool AskYesNo(const char16_t* text) override {
    questions_.push_back(Utf8(text));
    return true;
  }
  void ShowError(const char16_t* text) override { error_ = Utf8(text); }
  void CloseDialog() override {}
  bool IsCancelRequested() override { return false; }
  void MarkFinished() override { finished_ = true; }

  bool succeeded() const { return finished_ && !error_; }
  std::string status() const { return Utf8(status_); }
  const std::optional<std::string>& error() const { return error_; }
  const std::vector<std::string>& questions() const { return questions_; }

 private:
  const char16_t* status_ = nullptr;
  std::optional<std::string> error_;
  std::vector<std::string> questions_;
  bool finished_ = false;
};

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

}  // namespace

int RunVerifyCommand(std::span<const std::string> arguments) {
  ParsedArguments parsed = ParseArguments(arguments, {.with_value = {"--expect"}, .switches = {}});
  if (parsed.help) {
    std::cout << kHelp;
    return 0;
  }
  if (parsed.positional.size() != 2) {
    throw UsageError("verify takes a PAYLOAD_OR_INSTALLER and a GAME folder");
  }
  const std::string& input_path = parsed.positional[0];
  const fs::path game = fs::absolute(parsed.positional[1]);
  std::optional<fs::path> expected;
  if (parsed.values.contains("--expect")) {
    expected = fs::absolute(parsed.values["--expect"]);
    if (!fs::is_directory(*expected)) {
      throw CommandError("NEW " + expected->string() +
                         (fs::exists(*expected) ? " is not a folder" : " does not exist"));
    }
  }
  InstallerInput input = ReadInstallerInput(input_path, input_path);
  std::optional<payload::PatchDescription> patch = DecodePatch(input.payload);

  ScratchGame scratch(game);
  PlayerMessages texts(input.messages);
  PlayerStandIn player;
  {
    WorkingDirectory in_game(scratch.folder());
    engine::RunInstallation(player, engine::NativeFileSystem(),
                            [&]() -> std::optional<std::span<const std::uint8_t>> {
                              return std::span<const std::uint8_t>(input.payload);
                            });
  }

  std::cout << "verify " << input_path << (input.is_installer ? " (installer)" : " (payload)")
            << " on a copy of " << parsed.positional[1] << "\n";
  for (const std::string& question : player.questions()) {
    std::cout << "asked, answered yes: " << question << "\n";
  }
  if (!player.succeeded()) {
    std::cout << "FAILED: the installer shows \"" << player.error().value_or("") << "\"\n";
    if (patch) {
      for (const std::string& problem : FindPatchProblems(*patch, game)) {
        std::cout << "  because " << problem << "\n";
      }
    }
    return kExitFailure;
  }
  std::cout << "installed: " << player.status() << "\n";
  if (!expected) return 0;
  std::vector<std::string> differences = CompareWithExpected(
      scratch.folder(), *expected, static_cast<std::int32_t>(patch ? patch->version : 0));
  if (differences.empty()) {
    std::cout << "the result equals " << parsed.values["--expect"] << "\n";
    return 0;
  }
  std::cout << "FAILED: the result differs from " << parsed.values["--expect"] << " in "
            << differences.size() << (differences.size() == 1 ? " place" : " places") << ":\n";
  for (const std::string& difference : differences) std::cout << "  " << difference << "\n";
  return kExitFailure;
}

}  // namespace patchpack
