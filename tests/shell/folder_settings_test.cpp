#include "shell/console/folder_settings.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "tests/support/files.h"
#include "tests/support/temp_dir.h"

namespace console {
namespace {

namespace fs = std::filesystem;

class FolderSettingsTest : public ::testing::Test {
 protected:
  FolderSettings Read(const std::string& text) {
    test_support::WriteText(file_, text);
    return ReadFolderSettings(file_);
  }

  test_support::TempDir dir_{"folder-settings-test"};
  fs::path file_ = dir_ / "stormhaven.conf";
};

TEST_F(FolderSettingsTest, ReadsBothValuesWhateverTheLineEnds) {
  const FolderSettings settings =
      Read("# Stormhaven\r\nInstallPath=/games/a b/sv.exe\r\naPaths=/x?/y=z\nOther=1\nnoequals\n");
  EXPECT_EQ(settings.install_path, "/games/a b/sv.exe");
  EXPECT_EQ(settings.a_paths, "/x?/y=z");
}

TEST_F(FolderSettingsTest, ALaterLineWinsAndNamesAreExact) {
  const FolderSettings settings = Read("aPaths=/first\naPaths=/second\ninstallpath=/lower\n");
  EXPECT_EQ(settings.a_paths, "/second");
  EXPECT_EQ(settings.install_path, "");
}

TEST_F(FolderSettingsTest, AValueTooLongForTheRegistryCountsAsMissing) {
  EXPECT_EQ(Read("aPaths=/" + std::string(1021, 'a') + "\n").a_paths.size(), 1022u);
  EXPECT_EQ(Read("aPaths=/" + std::string(1022, 'a') + "\n").a_paths, "");
}

TEST_F(FolderSettingsTest, AMissingFileHoldsNothing) {
  const FolderSettings settings = ReadFolderSettings(file_ / "missing.conf");
  EXPECT_EQ(settings.install_path, "");
  EXPECT_EQ(settings.a_paths, "");
}

TEST(SettingsFilePath, FollowsXdgConfigHomeThenHome) {
  const char* saved_xdg = std::getenv("XDG_CONFIG_HOME");
  const char* saved_home = std::getenv("HOME");
  const std::string xdg = saved_xdg ? saved_xdg : "";
  const std::string home = saved_home ? saved_home : "";

  ::setenv("XDG_CONFIG_HOME", "/cfg", 1);
  ::setenv("HOME", "/home/ann", 1);
  EXPECT_EQ(SettingsFilePath(), "/cfg/quillmarch/stormhaven.conf");
  // A relative or empty XDG_CONFIG_HOME is ignored, as the XDG rules say.
  ::setenv("XDG_CONFIG_HOME", "relative", 1);
  EXPECT_EQ(SettingsFilePath(), "/home/ann/.config/quillmarch/stormhaven.conf");
  ::setenv("XDG_CONFIG_HOME", "", 1);
  EXPECT_EQ(SettingsFilePath(), "/home/ann/.config/quillmarch/stormhaven.conf");
  ::unsetenv("HOME");
  EXPECT_EQ(SettingsFilePath(), fs::path());

  saved_xdg ? ::setenv("XDG_CONFIG_HOME", xdg.c_str(), 1) : ::unsetenv("XDG_CONFIG_HOME");
  saved_home ? ::setenv("HOME", home.c_str(), 1) : ::unsetenv("HOME");
}

}  // namespace
}  // namespace console
