// Work beside the run: on a second thread where the file system takes calls
// from two threads, in line where it does not, and in both cases waited for
// and its failure thrown on the run's own thread.
#include "engine/background_task.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

#include "engine/fs/checked_file_system.h"
#include "engine/install_error.h"
#include "fs/faulty_file_system.h"
#include "fs/memory_file_system.h"

namespace engine::test {
namespace {

using namespace std::chrono_literals;

TEST(BackgroundTaskTest, AFileSystemThatKeepsStateGetsTheWorkDoneInLineBeforeItReturns) {
  MemoryFileSystem memory;
  std::thread::id worker;
  BackgroundTask task(memory, [&] { worker = std::this_thread::get_id(); });
  EXPECT_EQ(worker, std::this_thread::get_id());
  task.Wait();
}

TEST(BackgroundTaskTest, OnTheNativeFileSystemTheWorkRunsBesideTheCaller) {
  std::promise<void> go_on;
  std::shared_future<void> released = go_on.get_future().share();
  std::atomic<bool> done = false;
  std::thread::id worker;
  BackgroundTask task(NativeFileSystem(), [&] {
    worker = std::this_thread::get_id();
    released.wait();
    done = true;
  });
  // Done in line, the work would never have returned to let this go on.
  EXPECT_FALSE(done);
  go_on.set_value();
  task.Wait();
  EXPECT_TRUE(done);
  EXPECT_NE(worker, std::this_thread::get_id());
}

TEST(BackgroundTaskTest, TheRunsCheckingWrapperLetsWorkGoBesideAndACountingOneDoesNot) {
  CheckedFileSystem checked(NativeFileSystem());
  FaultyFileSystem counting(NativeFileSystem());
  std::thread::id beside_checked, beside_counting;
  BackgroundTask(checked, [&] { beside_checked = std::this_thread::get_id(); }).Wait();
  BackgroundTask(counting, [&] { beside_counting = std::this_thread::get_id(); }).Wait();
  EXPECT_NE(beside_checked, std::this_thread::get_id());
  EXPECT_EQ(beside_counting, std::this_thread::get_id());
}

TEST(BackgroundTaskTest, WaitThrowsWhatTheWorkThrewOnEitherKindOfFileSystem) {
  MemoryFileSystem memory;
  for (FileSystem* file_system : {static_cast<FileSystem*>(&memory), &NativeFileSystem()}) {
    BackgroundTask task(*file_system, [] { throw InstallError(InstallError::Unknown); });
    try {
      task.Wait();
      ADD_FAILURE() << "Wait did not throw";
    } catch (const InstallError& error) {
      EXPECT_EQ(error.kind(), InstallError::Unknown);
    }
    // Thrown once: a second wait has nothing more to say.
    EXPECT_NO_THROW(task.Wait());
  }
}

TEST(BackgroundTaskTest, ATaskLeftWithoutWaitIsWaitedForWhenItGoesAndItsFailureDropped) {
  std::atomic<bool> done = false;
  {
    BackgroundTask task(NativeFileSystem(), [&] {
      std::this_thread::sleep_for(100ms);
      done = true;
      throw InstallError(InstallError::Unknown);
    });
  }
  EXPECT_TRUE(done);
}

}  // namespace
}  // namespace engine::test
