// The engine's second thread and its monitor: the thread runs beside the one
// that started it, the two hand work back and forth under the lock, and the
// owner's end waits for the thread's.
#include "base/worker_thread.h"

#include <gtest/gtest.h>

#include <vector>

namespace base {
namespace {

// A ping-pong of turns: each side waits for the other's move before making
// its own, so neither can finish unless both really run at once and every
// wake-up reaches the waiter.
TEST(WorkerThreadTest, TakesTurnsWithItsStarterUnderTheMonitor) {
  Monitor monitor;
  int turn = 0;
  std::vector<int> moves;
  {
    WorkerThread thread([&] {
      for (int i = 1; i < 200; i += 2) {
        MonitorLock lock(monitor);
        monitor.WaitUntil([&] { return turn == i; });
        moves.push_back(i);
        ++turn;
        monitor.NotifyAll();
      }
    });
    for (int i = 0; i < 200; i += 2) {
      MonitorLock lock(monitor);
      monitor.WaitUntil([&] { return turn == i; });
      moves.push_back(i);
      ++turn;
      monitor.NotifyAll();
    }
  }
  ASSERT_EQ(moves.size(), 200u);
  for (int i = 0; i < 200; ++i) EXPECT_EQ(moves[i], i);
}

TEST(WorkerThreadTest, ItsOwnerWaitsForItToEnd) {
  Monitor monitor;
  bool released = false;
  bool finished = false;
  {
    WorkerThread thread([&] {
      MonitorLock lock(monitor);
      monitor.WaitUntil([&] { return released; });
      finished = true;
    });
    MonitorLock lock(monitor);
    released = true;
    monitor.NotifyAll();
  }
  // Read without the lock: the join is what orders it after the write.
  EXPECT_TRUE(finished);
}

}  // namespace
}  // namespace base
