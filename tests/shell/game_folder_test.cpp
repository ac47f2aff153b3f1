// How the installer finds the game folder: the start directory, the
// InstallPath setting, and the prompt pre-selected from aPaths.
#include "tests/shell/installer_fixture.h"

namespace installer_test {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

const std::string kChoose = "Choose the installation path for the patch:\n";

class GameFolderTest : public InstallerTest {
 protected:
  GameFolderTest() {
    MakeGameFolder(game_);
    installer_ = MakeInstaller(SamplePatch(14));
    fs::create_directories(elsewhere_);
  }

  bool Installed() const { return ReadText(game_ / "curver.txt") == "14\r\nonline"; }

  fs::path installer_;
  fs::path elsewhere_ = root_ / "elsewhere";
};

TEST_F(GameFolderTest, StartDirectoryIsProbedWithoutRegardToCase) {
  fs::rename(game_ / "sv.exe", game_ / "SV.EXE");
  fs::rename(game_ / "data" / "game.ini", game_ / "data" / "Game.Ini");
  fs::rename(game_ / "data", game_ / "Data");
  WriteSettings("InstallPath=" + (elsewhere_ / "sv.exe").string() + "\n");

  const RunResult run = RunInstaller(installer_, {.directory = game_});

  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(run.out, SuccessTranscript());
  EXPECT_TRUE(Installed());
}

TEST_F(GameFolderTest, ExecutableWithoutGameIniIsNotTheGame) {
  fs::remove(game_ / "data" / "game.ini");
  const auto before = Snapshot(game_);
  const RunResult run = RunInstaller(installer_, {.directory = game_});
  EXPECT_EQ(run.out, kChoose + "[" + game_.string() + "] > \n");
  EXPECT_EQ(run.exit_code, 2);
  EXPECT_EQ(Snapshot(game_), before);
}

TEST_F(GameFolderTest, InstallPathNamesTheGameFolderThroughAFileInIt) {
  WriteSettings("# written by the game's setup\nInstallPath=" + (game_ / "sv.exe").string() +
                "\r\naPaths=" + elsewhere_.string() + "\n");
  const RunResult run = RunInstaller(installer_, {.directory = elsewhere_});
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(run.out, SuccessTranscript());
  EXPECT_TRUE(Installed());
  EXPECT_TRUE(fs::is_empty(elsewhere_));
}

TEST_F(GameFolderTest, SettingsFollowHomeWhenXdgConfigHomeIsUnset) {
  WriteSettings("InstallPath=" + (game_ / "sv.exe").string() + "\n");
  const RunResult run =
      RunInstaller(installer_, {.directory = elsewhere_, .environment = {{"XDG_CONFIG_HOME", ""}}});
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_TRUE(Installed());
}

TEST_F(GameFolderTest, InstallPathNamingAFolderOrNothingIsNotUsed) {
  for (const fs::path& value : {game_, game_ / "missing.exe"}) {
    WriteSettings("InstallPath=" + value.string() + "\n");
    const RunResult run = RunInstaller(installer_, {.directory = elsewhere_});
    EXPECT_EQ(run.out, kChoose + "[" + elsewhere_.string() + "] > \n") << value;
    EXPECT_EQ(run.exit_code, 2);
  }
  EXPECT_FALSE(Installed());
}

TEST_F(GameFolderTest, APathsIsCutAtItsFirstQuestionMarkAndEnterAcceptsIt) {
  WriteSettings("aPaths=" + game_.string() + "?" + elsewhere_.string() + "\n");
  const RunResult run = RunInstaller(installer_, {.directory = elsewhere_, .input = "\n"});
  EXPECT_THAT(run.out, HasSubstr(kChoose + "[" + game_.string() + "] > \n"));
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_TRUE(Installed());
}

TEST_F(GameFolderTest, APathsStartingWithAQuestionMarkPreselectsTheStartDirectory) {
  WriteSettings("aPaths=?" + game_.string() + "\n");
  const RunResult run = RunInstaller(installer_, {.directory = elsewhere_});
  EXPECT_EQ(run.out, kChoose + "[" + elsewhere_.string() + "] > \n");
  EXPECT_EQ(run.exit_code, 2);
  EXPECT_FALSE(Installed());
}

TEST_F(GameFolderTest, ATypedPathIsTakenAbsoluteOrRelative) {
  for (const std::string& typed : {game_.string() + "/", std::string("../game")}) {
    MakeGameFolder(game_);
    const RunResult run =
        RunInstaller(installer_, {.directory = elsewhere_, .input = typed + "\n"});
    EXPECT_EQ(run.exit_code, 0) << typed;
    EXPECT_THAT(run.out, HasSubstr("Update installed successfully!")) << typed;
    EXPECT_TRUE(Installed()) << typed;
  }
}

TEST_F(GameFolderTest, APathThatIsNoFolderIsAskedForAgain) {
  const RunResult run = RunInstaller(
      installer_, {.directory = elsewhere_, .input = "nowhere\n" + game_.string() + "\n"});
  EXPECT_THAT(run.out, HasSubstr("Not a folder: " + (elsewhere_ / "nowhere").string() + "\n"));
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_TRUE(Installed());
}

TEST_F(GameFolderTest, TheRootAndTheEndOfInputAreRefused) {
  const auto before = Snapshot(game_);
  for (const char* input : {"/\n", "/.\n", "nowhere\n", ""}) {
    const RunResult run = RunInstaller(installer_, {.directory = elsewhere_, .input = input});
    EXPECT_EQ(run.exit_code, 2) << input;
    EXPECT_EQ(run.err, "") << input;
    EXPECT_THAT(run.out, Not(HasSubstr("Patch Installer"))) << input;
  }
  EXPECT_EQ(Snapshot(game_), before);
  EXPECT_TRUE(fs::is_empty(elsewhere_));
}

}  // namespace
}  // namespace installer_test
