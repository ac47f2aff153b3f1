// The commit's work beside the run, seen through whole runs on the real
// disk: the backups are removed beside the run while it deletes obsolete
// files and writes the record, success is shown only once every backup and
// the committed marker are gone, and obsolete files go from several threads
// with their folder flushed after the last.
#include "engine/commit.h"

#include <algorithm>
#include <chrono>
#include <mutex>
#include <set>
#include <thread>

#include "engine/fs/forwarding_file_system.h"
#include "engine/own_names.h"
#include "engine/run_installation.h"
#include "typical_game.h"

namespace engine::test {
namespace {

using namespace std::chrono_literals;

// The native file system, with the removal of each backup slowed down as
// the kernel's release of a large old archive slows it, and a note of the
// thread that each removal came from and of the order of the removals of
// obsolete files and the folder flushes.
class WatchedDisk final : public ForwardingFileSystem {
 public:
  using ForwardingFileSystem::ForwardingFileSystem;

  bool RemoveFile(const std::string& path) override {
    if (path.ends_with(kBackupSuffix)) {
      std::this_thread::sleep_for(100ms);
      Note(backup_removers);
    }
    if (path.starts_with("old\\")) {
      // As long as a discard makes an unlink wait on the device.
      std::this_thread::sleep_for(2ms);
      Note(obsolete_removers);
      const std::lock_guard lock(mutex_);
      events.push_back("RemoveFile " + path);
    }
    return ForwardingFileSystem::RemoveFile(path);
  }
  bool FlushFolderOf(const std::string& path) override {
    {
      const std::lock_guard lock(mutex_);
      events.push_back("FlushFolderOf " + path);
    }
    return ForwardingFileSystem::FlushFolderOf(path);
  }
  // Nothing here but the notes below, each taken under the lock.
  std::unique_ptr<WorkBeside> StartBeside(std::function<void()> work) override {
    return base().StartBeside(std::move(work));
  }

  std::set<std::thread::id> backup_removers, obsolete_removers;
  // The removals of obsolete files and every folder flush, in order.
  std::vector<std::string> events;

 private:
  void Note(std::set<std::thread::id>& threads) {
    const std::lock_guard lock(mutex_);
    threads.insert(std::this_thread::get_id());
  }
  std::mutex mutex_;
};

// The scripted host, with a look at the game folder when success is shown.
class LookingHost final : public InstallerHost {
 public:
  LookingHost(ScriptedHost& host, const GameFolder& folder) : host_(host), folder_(folder) {}

  void SetStatusText(const char16_t* text) override {
    if (Narrow(text) == kSuccess) at_success = folder_.Files();
    host_.SetStatusText(text);
  }
  void SetButtonText(const char16_t* text) override { host_.SetButtonText(text); }
  bool AskYesNo(const char16_t* text) override { return host_.AskYesNo(text); }
  void ShowError(const char16_t* text) override { host_.ShowError(text); }
  void CloseDialog() override { host_.CloseDialog(); }
  bool IsCancelRequested() override { return host_.IsCancelRequested(); }
  void MarkFinished() override { host_.MarkFinished(); }

  std::map<std::string, std::string> at_success;

 private:
  ScriptedHost& host_;
  const GameFolder& folder_;
};

using CommitTest = TypicalGameTest;

TEST_F(CommitTest, BackupsGoBesideTheRunAndAreGoneWhenSuccessIsShown) {
  InstallGame();
  const Bytes payload = payload::BuildPayload(payload::BuildPatchStream(TypicalPatch()));
  WatchedDisk disk(NativeFileSystem());
  LookingHost looking(host, folder);
  EXPECT_EQ(RunInstallation(looking, disk, [&] { return std::optional(std::span(payload)); }), 0);

  EXPECT_EQ(host.calls, SucceededCalls(kTypicalChecks));
  // Three old files were replaced, each kept under a backup name until the
  // commit was done, and removed from a thread of its own, none of them
  // the run's; none of them, nor the marker, is left at success.
  EXPECT_EQ(disk.backup_removers.size(), 3u);
  EXPECT_FALSE(disk.backup_removers.contains(std::this_thread::get_id()));
  std::map<std::string, std::string> at_success = looking.at_success;
  for (const auto& [path, content] : at_success) {
    EXPECT_FALSE(path.ends_with(kBackupSuffix)) << path;
    EXPECT_NE(path, kCommittedPath);
  }
  // The run still holds the folder then.
  EXPECT_EQ(at_success.erase(kRunLockPath), 1u);
  at_success.erase("data/pack.zip");
  std::map<std::string, std::string> now = folder.Files();
  now.erase("data/pack.zip");
  EXPECT_EQ(at_success, now);
  EXPECT_EQ(now.at("curver.txt"), "14\r\n");
}

TEST_F(CommitTest, ObsoleteFilesGoFromSeveralThreadsAndTheirFolderIsFlushedAfterTheLast) {
  PatchDescription patch;
  patch.version = 14;
  for (int i = 0; i < 40; ++i) {
    const std::string name = "obsolete_" + std::to_string(i) + ".bin";
    folder.Write("old/" + name, name);
    patch.deletions.push_back("old\\" + name);
  }
  patch.deletions.push_back("old\\missing.bin");
  folder.Write("old/kept.bin", "kept");
  const Bytes payload = payload::BuildPayload(payload::BuildPatchStream(patch));
  WatchedDisk disk(NativeFileSystem());
  EXPECT_EQ(RunInstallation(host, disk, [&] { return std::optional(std::span(payload)); }), 0);

  EXPECT_EQ(host.calls, SucceededCalls(0));
  EXPECT_EQ(folder.Files(), (std::map<std::string, std::string>{{"curver.txt", "14\r\n"},
                                                                {"old/kept.bin", "kept"}}));
  EXPECT_GT(disk.obsolete_removers.size(), 1u);
  // The folder of the removed files reaches the disk once, after all of them.
  const auto flush =
      std::find(disk.events.begin(), disk.events.end(), "FlushFolderOf old\\obsolete_0.bin");
  ASSERT_NE(flush, disk.events.end());
  EXPECT_EQ(std::count_if(disk.events.begin(), flush,
                          [](const std::string& e) { return e.starts_with("RemoveFile"); }),
            41);
  EXPECT_EQ(std::count_if(flush, disk.events.end(),
                          [](const std::string& e) { return e.starts_with("RemoveFile"); }),
            0);
}

}  // namespace
}  // namespace engine::test
