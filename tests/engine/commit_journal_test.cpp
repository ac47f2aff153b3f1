// Journals and committed markers found in the game folder at the start of a
// run. Anyone who can write there can leave one, and the run has
// administrator rights: one that no installer wrote is refused before it
// touches anything, in the folder or in the sentinel folder beside it; one
// that an installer wrote is still recovered.
#include <filesystem>

#include "engine/own_names.h"
#include "installation_test.h"
#include "tests/support/files.h"
#include "tests/support/temp_dir.h"

namespace engine::test {
namespace {

namespace fs = std::filesystem;
using Files = std::map<std::string, std::string>;

class LeftoverJournalTest : public InstallationTest {
 protected:
  LeftoverJournalTest() {
    test_support::WriteText(sentinel / "victim.txt", "outside");
    test_support::WriteText(sentinel / "victim.txt.updbak", "planted bytes");
    test_support::WriteText(sentinel / "victim.txt.updtmp", "planted bytes");
    folder.Write("sv.exe", "MZ old");
    folder.Write("sv.exe.updbak", "MZ planted");
    folder.Write("data/config.cfg", "old config");
    folder.Write("curver.txt", "5\r\n");
  }

  // The victim, reached from the game folder by `..` and by its full path.
  std::string Upward() const {
    return "..\\" + sentinel.path().filename().string() + "\\victim.txt";
  }
  std::string Absolute() const { return (sentinel / "victim.txt").string(); }

  Files Sentinel() const {
    Files files;
    for (const auto& entry : fs::recursive_directory_iterator(sentinel.path())) {
      files[entry.path().filename().string()] = test_support::ReadText(entry.path());
    }
    return files;
  }

  // Plants `bytes` under `name`, runs a patch, and expects the run to end
  // with the unknown error having changed nothing anywhere.
  void ExpectRefused(const char* name, const std::string& bytes) {
    SCOPED_TRACE(std::string(name) + ": " + bytes);
    host = ScriptedHost();
    folder.Write(name, bytes);
    const Files game = folder.Files();
    const Files outside = Sentinel();
    PatchDescription patch;
    patch.version = 6;
    patch.loose_files = {Entry("sv.exe", "MZ new")};
    Run(patch);
    EXPECT_EQ(host.Errors(), std::vector<std::string>{kUnknownError});
    EXPECT_EQ(Sentinel(), outside);
    EXPECT_EQ(folder.Files(), game);
    fs::remove(name);
  }

  std::vector<std::string> Hostile() const {
    using namespace std::string_literals;
    return {
        "R" + Upward() + "\0"s,    // once put the planted backup outside
        "N" + Absolute() + "\0"s,  // once deleted the file outside
        "N" + Upward() + "\0"s,
        "Rsv.exe\0R"s + Upward() + "\0"s,  // a good record first changes nothing
        "Rc:\\victim.txt\0"s,
        "Rsv.exe\0Nsv.exe\0"s,  // one target twice
        "Rdata\\config.cfg\0Rdata\\\\config.cfg\0"s,
        "Nupdrun.lock\0"s,  // the installer's own names
        "Rsv.exe.updbak\0"s,
        "R\0"s,  // malformed
        "Rsv.exe"s,
        "Xsv.exe\0"s,
        "garbage"s,
    };
  }

  test_support::TempDir sentinel{"sentinel"};
};

TEST_F(LeftoverJournalTest, HostileJournalIsRefusedWithoutTouchingAnything) {
  for (const std::string& bytes : Hostile()) ExpectRefused(kJournalPath, bytes);
}

TEST_F(LeftoverJournalTest, HostileCommittedMarkerIsRefusedWithoutTouchingAnything) {
  for (const std::string& bytes : Hostile()) ExpectRefused(kCommittedPath, bytes);
}

TEST_F(LeftoverJournalTest, JournalThatCannotBeReadIsRefused) {
  fs::create_directory(kJournalPath);
  const Files game = folder.Files();
  Run(PatchDescription{});
  EXPECT_EQ(host.Errors(), std::vector<std::string>{kUnknownError});
  EXPECT_EQ(folder.Files(), game);
  EXPECT_TRUE(fs::is_directory(kJournalPath));
}

// A commit killed after sv.exe was replaced and a new file added: the next
// run puts the old game back before it reads the record. Answering No to
// the reinstall question then shows the rolled-back game.
TEST_F(LeftoverJournalTest, JournalAnInstallerWroteIsStillRolledBack) {
  folder.Write("sv.exe", "MZ new");
  folder.Write("sv.exe.updbak", "MZ old");
  folder.Write("added.txt", "new file");
  folder.Write("curver.txt", "6\r\n");
  folder.Write(kJournalPath, std::string("Rsv.exe\0Nadded.txt\0", 19));
  host.answers = {false};
  PatchDescription patch;
  patch.version = 6;
  Run(patch);

  EXPECT_EQ(host.Errors(), std::vector<std::string>{});
  EXPECT_EQ(
      folder.Files(),
      (Files{{"sv.exe", "MZ old"}, {"data/config.cfg", "old config"}, {"curver.txt", "6\r\n"}}));
}

}  // namespace
}  // namespace engine::test
