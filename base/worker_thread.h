// A second thread for the engine (the disk layer writes behind on one, the
// archive merge deflates ahead on another), and the one lock and condition through
// which it and the thread that started it take turns. The Windows toolchain's
// thread model has no std::thread or std::mutex, so each platform realises
// these with its own calls (worker_thread_posix.cpp, worker_thread_win32.cpp)
// and the code above them is the same on both.
#pragma once

#include <functional>
#include <memory>

namespace base {

// A lock with one condition variable.
class Monitor {
 public:
  Monitor();
  ~Monitor();
  Monitor(const Monitor&) = delete;
  Monitor& operator=(const Monitor&) = delete;

  void Lock();
  void Unlock();
  // With the lock held: releases it until NotifyAll is called (or a
  // spurious wake-up comes), then takes it again.
  void Wait();
  void NotifyAll();

  // With the lock held: waits until `ready` is true.
  template <class Ready>
  void WaitUntil(Ready ready) {
    while (!ready()) Wait();
  }

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// Holds a monitor's lock for a scope; Unlock and Lock let go of it for a
// stretch inside the scope.
class MonitorLock {
 public:
  explicit MonitorLock(Monitor& monitor) : monitor_(monitor) { monitor_.Lock(); }
  ~MonitorLock() {
    if (held_) monitor_.Unlock();
  }
  MonitorLock(const MonitorLock&) = delete;
  MonitorLock& operator=(const MonitorLock&) = delete;
  void Unlock() {
    held_ = false;
    monitor_.Unlock();
  }
  void Lock() {
    monitor_.Lock();
    held_ = true;
  }

 private:
  Monitor& monitor_;
  bool held_ = true;
};

// Runs `run` on a thread of its own; the destructor waits for it to end.
class WorkerThread {
 public:
  // Throws std::system_error when no thread can be started.
  explicit WorkerThread(std::function<void()> run);
  ~WorkerThread();
  WorkerThread(const WorkerThread&) = delete;
  WorkerThread& operator=(const WorkerThread&) = delete;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace base
