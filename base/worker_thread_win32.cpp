#include <windows.h>

#include <system_error>
#include <utility>

#include "base/worker_thread.h"

namespace base {

struct Monitor::State {
  SRWLOCK lock = SRWLOCK_INIT;
  CONDITION_VARIABLE condition = CONDITION_VARIABLE_INIT;
};

Monitor::Monitor() : state_(std::make_unique<State>()) {}
Monitor::~Monitor() = default;

void Monitor::Lock() { AcquireSRWLockExclusive(&state_->lock); }
void Monitor::Unlock() { ReleaseSRWLockExclusive(&state_->lock); }
void Monitor::Wait() { SleepConditionVariableSRW(&state_->condition, &state_->lock, INFINITE, 0); }
void Monitor::NotifyAll() { WakeAllConditionVariable(&state_->condition); }

struct WorkerThread::State {
  std::function<void()> run;
  HANDLE thread = nullptr;
};

namespace {

DWORD WINAPI Start(LPVOID state) {
  static_cast<std::function<void()>*>(state)->operator()();
  return 0;
}

}  // namespace

WorkerThread::WorkerThread(std::function<void()> run) : state_(std::make_unique<State>()) {
  state_->run = std::move(run);
  state_->thread = CreateThread(nullptr, 0, Start, &state_->run, 0, nullptr);
  if (state_->thread == nullptr) {
    throw std::system_error(static_cast<int>(GetLastError()), std::system_category(),
                            "CreateThread");
  }
}

WorkerThread::~WorkerThread() {
  WaitForSingleObject(state_->thread, INFINITE);
  CloseHandle(state_->thread);
}

}  // namespace base
