#include <condition_variable>
#include <mutex>
#include <thread>
#include <utility>

#include "base/worker_thread.h"

namespace base {

struct Monitor::State {
  std::mutex mutex;
  std::condition_variable condition;
};

Monitor::Monitor() : state_(std::make_unique<State>()) {}
Monitor::~Monitor() = default;

void Monitor::Lock() { state_->mutex.lock(); }
void Monitor::Unlock() { state_->mutex.unlock(); }

void Monitor::Wait() {
  // The caller holds the lock and keeps holding it afterwards.
  std::unique_lock lock(state_->mutex, std::adopt_lock);
  state_->condition.wait(lock);
  lock.release();
}

void Monitor::NotifyAll() { state_->condition.notify_all(); }

struct WorkerThread::State {
  std::thread thread;
};

WorkerThread::WorkerThread(std::function<void()> run) : state_(std::make_unique<State>()) {
  state_->thread = std::thread(std::move(run));
}

WorkerThread::~WorkerThread() { state_->thread.join(); }

}  // namespace base
