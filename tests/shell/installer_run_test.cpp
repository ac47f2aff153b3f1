// Whole runs of the console installer in a game folder: what the player
// sees, the exit code, and the bytes left on disk.
#include <fstream>

#include "bundle/bundle_format.h"
#include "tests/shell/installer_fixture.h"

namespace installer_test {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

class InstallerRunTest : public InstallerTest {};

// The archive tools that a player would use to look inside the game's zips.
std::string RunTool(const std::vector<std::string>& command, const fs::path& directory) {
  const RunResult run = RunProgram(
      command[0], {.arguments = {command.begin() + 1, command.end()}, .directory = directory});
  EXPECT_EQ(run.exit_code, 0) << command[0] << ": " << run.err;
  return run.out;
}

TEST_F(InstallerRunTest, InstallsThePatchAndShowsEachStatus) {
  MakeGameFolder(game_);
  for (const char* entry : {"a.txt", "b.txt", "c.txt"})
    WriteText(root_ / entry, "old " + std::string(entry));
  RunTool({"/usr/bin/zip", "-q", "-X", (game_ / "data" / "pak.zip").string(), "a.txt", "b.txt",
           "c.txt"},
          root_);
  payload::PatchDescription patch = SamplePatch(14);
  patch.archives = {
      {.path = "data\\pak.zip",
       .new_entries = {{"b.txt", Bytes{'n', 'e', 'w'}}, {"d.txt", Bytes{'a', 'd', 'd'}}},
       .drop_names = {"c.txt"}}};
  const fs::path installer = MakeInstaller(patch);

  const RunResult run = RunInstaller(installer, {.directory = game_});

  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(run.out, SuccessTranscript());
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(ReadText(game_ / "data" / "readme.txt"), "new readme 14");
  EXPECT_EQ(ReadText(game_ / "data" / "maps" / "new.map"), "a new map");
  EXPECT_FALSE(fs::exists(game_ / "old.txt"));
  EXPECT_EQ(ReadText(game_ / "curver.txt"), "14\r\nonline");
  EXPECT_EQ(ReadText(game_ / "sv.exe"), "MZ game");
  const std::string pak = (game_ / "data" / "pak.zip").string();
  EXPECT_EQ(RunTool({"/usr/bin/unzip", "-Z1", pak}, root_), "b.txt\nd.txt\na.txt\n");
  EXPECT_EQ(RunTool({"/usr/bin/unzip", "-p", pak, "b.txt", "d.txt", "a.txt"}, root_),
            "newaddold a.txt");
}

struct Question {
  std::string installed;  // curver.txt before the run
  std::string input;
  std::string question;
  bool installs;
};

void PrintTo(const Question& question, std::ostream* out) {
  *out << "installed " << ::testing::PrintToString(question.installed) << ", answer "
       << ::testing::PrintToString(question.input);
}

class VersionQuestionTest : public InstallerTest, public ::testing::WithParamInterface<Question> {};

TEST_P(VersionQuestionTest, OnlyNoRefuses) {
  const Question& question = GetParam();
  MakeGameFolder(game_, question.installed);
  const auto before = Snapshot(game_);
  const fs::path installer = MakeInstaller(SamplePatch(14));

  const RunResult run = RunInstaller(installer, {.directory = game_, .input = question.input});

  EXPECT_THAT(run.out, HasSubstr(question.question + " [y/n] "));
  EXPECT_EQ(run.err, "");
  if (question.installs) {
    EXPECT_EQ(run.exit_code, 0);
    EXPECT_THAT(run.out, HasSubstr("Update installed successfully!\n"));
    const bool online = question.installed.ends_with("online");
    EXPECT_EQ(ReadText(game_ / "curver.txt"), online ? "14\r\nonline" : "14\r\n");
    EXPECT_EQ(ReadText(game_ / "data" / "readme.txt"), "new readme 14");
  } else {
    EXPECT_EQ(run.exit_code, 2);
    EXPECT_THAT(run.out, Not(HasSubstr("Patch is being installed")));
    EXPECT_EQ(Snapshot(game_), before);
  }
}

const std::string kAlready = "Patch is already installed! Do you want to reinstall this patch?";
const std::string kNewer = "Setup found a newer version installed! Continue any way?";

INSTANTIATE_TEST_SUITE_P(Answers, VersionQuestionTest,
                         ::testing::Values(Question{"14\r\nonline", "y\n", kAlready, true},
                                           Question{"14\r\nonline", "n\n", kAlready, false},
                                           Question{"14", " YES \n", kAlready, true},
                                           Question{"14", "No\n", kAlready, false},
                                           Question{"15\r\nonline", "yes\n", kNewer, true},
                                           Question{"15\r\nonline", "N\n", kNewer, false},
                                           // Anything else asks again; end of input counts as yes.
                                           Question{"15", "maybe\n\nn\n", kNewer, false},
                                           Question{"15", "maybe\n", kNewer, true},
                                           Question{"14", "", kAlready, true}));

TEST_F(InstallerRunTest, AnUnclearAnswerAsksAgain) {
  MakeGameFolder(game_, "14");
  const RunResult run =
      RunInstaller(MakeInstaller(SamplePatch(14)), {.directory = game_, .input = "maybe\nn\n"});
  EXPECT_THAT(run.out, HasSubstr(kAlready + " [y/n] maybe\n[y/n] n\n"));
  EXPECT_EQ(run.exit_code, 2);
}

// Started with standard input closed (as some service managers do), the
// question meets the end of its input at once, which counts as yes.
TEST_F(InstallerRunTest, ClosedStandardInputIsTheEndOfInput) {
  MakeGameFolder(game_, "14");
  const RunResult run =
      RunInstaller(MakeInstaller(SamplePatch(14)),
                   {.directory = game_, .close_input = true, .timeout_seconds = 30});
  EXPECT_THAT(run.out, HasSubstr(kAlready + " [y/n] \nPatch is being installed."));
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(ReadText(game_ / "curver.txt"), "14\r\n");
  EXPECT_EQ(ReadText(game_ / "data" / "readme.txt"), "new readme 14");
}

TEST_F(InstallerRunTest, AnotherEditionIsRefusedBeforeAnyQuestion) {
  MakeGameFolder(game_, "14\r\nOnline");
  const auto before = Snapshot(game_);
  const RunResult run = RunInstaller(MakeInstaller(SamplePatch(14)), {.directory = game_});
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(run.err, "Error: This patch is for the English version only!\n");
  EXPECT_THAT(run.out, Not(HasSubstr("[y/n]")));
  EXPECT_EQ(Snapshot(game_), before);
}

TEST_F(InstallerRunTest, CtrlCDuringAQuestionAnswersNo) {
  MakeGameFolder(game_, "14");
  const auto before = Snapshot(game_);
  const RunResult run =
      RunInstaller(MakeInstaller(SamplePatch(14)),
                   {.directory = game_, .keep_input_open = true, .interrupt_when = "[y/n] "});
  EXPECT_TRUE(run.interrupted);
  EXPECT_EQ(run.exit_code, 2);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(Snapshot(game_), before);
}

TEST_F(InstallerRunTest, CorruptedPayloadIsReportedAndNothingChanges) {
  MakeGameFolder(game_);
  const auto before = Snapshot(game_);
  const fs::path installer = MakeInstaller(SamplePatch(14));
  {
    // One byte inside the attached payload, found through the footer.
    std::fstream file(installer, std::ios::in | std::ios::out | std::ios::binary);
    file.seekg(-static_cast<std::streamoff>(bundle::kFooterSize), std::ios::end);
    std::uint8_t footer[bundle::kFooterSize];
    file.read(reinterpret_cast<char*>(footer), sizeof footer);
    const auto layout = bundle::DecodeFooter(footer, fs::file_size(installer));
    ASSERT_TRUE(layout);
    file.seekg(static_cast<std::streamoff>(layout->payload_offset() + 20));
    char byte = 0;
    file.read(&byte, 1);
    file.seekp(static_cast<std::streamoff>(layout->payload_offset() + 20));
    file.put(static_cast<char>(byte ^ 0x40));
  }

  const RunResult run = RunInstaller(installer, {.directory = game_});

  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(run.err, "Error: File is corrupted! Update impossible.\n");
  EXPECT_THAT(run.out, Not(HasSubstr("Patch is being installed")));
  EXPECT_EQ(Snapshot(game_), before);
}

TEST_F(InstallerRunTest, StubWithoutPayloadShowsUnknownError) {
  MakeGameFolder(game_);
  const auto before = Snapshot(game_);
  const RunResult run = RunInstaller(kInstallerStub, {.directory = game_});
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(run.err, "Error: Unknown error\n");
  EXPECT_EQ(run.out, "Patch Installer\nExtracting data...\n[Cancel: Ctrl+C]\n");
  EXPECT_EQ(Snapshot(game_), before);
}

TEST_F(InstallerRunTest, MissingMessageTableEndsWith255AndSaysNothing) {
  MakeGameFolder(game_);
  const auto before = Snapshot(game_);
  const fs::path installer = Attach(
      kStubWithoutMessages, WritePayload(SamplePatch(14), "patch.payload"), root_ / "installer");
  const RunResult run = RunInstaller(installer, {.directory = game_});
  EXPECT_EQ(run.exit_code, 255);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(Snapshot(game_), before);
}

TEST_F(InstallerRunTest, HelpAndVersionInstallNothingAndOtherArgumentsAreIgnored) {
  MakeGameFolder(game_);
  const auto before = Snapshot(game_);
  const fs::path installer = MakeInstaller(SamplePatch(14));

  const RunResult help = RunInstaller(installer, {.arguments = {"--help"}, .directory = game_});
  EXPECT_EQ(help.exit_code, 0);
  EXPECT_THAT(help.out, HasSubstr("Usage: patch-installer"));
  const RunResult version =
      RunInstaller(installer, {.arguments = {"--version"}, .directory = game_});
  EXPECT_EQ(version.exit_code, 0);
  EXPECT_THAT(version.out, HasSubstr("patch-installer "));
  EXPECT_EQ(Snapshot(game_), before);

  const RunResult run =
      RunInstaller(installer, {.arguments = {"--force", "/elsewhere"}, .directory = game_});
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(run.out, SuccessTranscript());
}

}  // namespace
}  // namespace installer_test
