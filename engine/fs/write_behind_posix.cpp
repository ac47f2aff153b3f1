#include "engine/fs/write_behind_posix.h"

#include <cstring>
#include <utility>

#include "engine/fs/early_write_out_posix.h"

namespace engine {
namespace {

constexpr std::size_t kLargePiece = std::size_t{64} << 10;
// As many large pieces as the queue can hold, and the one being written.
constexpr std::size_t kSpareLimit = WriteBehind::kQueueLimit / (std::size_t{1} << 20) + 1;

}  // namespace

WriteBehind::WriteBehind(int fd) : fd_(fd), thread_([this] { Run(); }) {}

WriteBehind::~WriteBehind() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

bool WriteBehind::Write(off_t offset, const void* data, std::size_t size) {
  std::unique_lock lock(mutex_);
  changed_.wait(lock,
                [&] { return failed_ || queue_.empty() || queued_bytes_ + size <= kQueueLimit; });
  if (failed_) return false;
  Piece piece;
  piece.offset = offset;
  // Small pieces (a header's fix-up) get buffers of their own, so that the
  // large buffers serve large pieces only and their number stays that of
  // the large pieces in the queue at once.
  if (size >= kLargePiece && !spare_.empty()) {
    piece.bytes = std::move(spare_.back());
    spare_.pop_back();
  }
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  piece.bytes.assign(bytes, bytes + size);
  queued_bytes_ += size;
  queue_.push_back(std::move(piece));
  lock.unlock();
  changed_.notify_all();
  return true;
}

bool WriteBehind::Drain() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [&] { return queue_.empty() && !writing_; });
  return !failed_;
}

bool WriteBehind::failed() {
  std::lock_guard lock(mutex_);
  return failed_;
}

void WriteBehind::Run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
    if (queue_.empty()) return;
    Piece piece = std::move(queue_.front());
    queue_.pop_front();
    writing_ = true;
    const bool skip = failed_;
    lock.unlock();
    // After a failure the rest is dropped: the file is lost either way.
    const bool written =
        skip || WriteAllAt(fd_, piece.offset, piece.bytes.data(), piece.bytes.size());
    lock.lock();
    writing_ = false;
    failed_ = failed_ || !written;
    queued_bytes_ -= piece.bytes.size();
    if (piece.bytes.size() >= kLargePiece && spare_.size() < kSpareLimit) {
      spare_.push_back(std::move(piece.bytes));
    }
    changed_.notify_all();
  }
}

}  // namespace engine
