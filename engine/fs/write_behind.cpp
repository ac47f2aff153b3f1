#include "engine/fs/write_behind.h"

#include <utility>

namespace engine {
namespace {

constexpr std::size_t kLargePiece = std::size_t{64} << 10;
// As many large pieces as the queue can hold, and the one being written.
constexpr std::size_t kSpareLimit = WriteBehind::kQueueLimit / (std::size_t{1} << 20) + 1;

}  // namespace

WriteBehind::WriteBehind(PositionedWrite write)
    : write_(std::move(write)), thread_([this] { Run(); }) {}

WriteBehind::~WriteBehind() {
  {
    base::MonitorLock lock(monitor_);
    stopping_ = true;
  }
  monitor_.NotifyAll();
}

bool WriteBehind::Write(std::uint64_t offset, const void* data, std::size_t size) {
  base::MonitorLock lock(monitor_);
  monitor_.WaitUntil(
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
  lock.Unlock();
  monitor_.NotifyAll();
  return true;
}

bool WriteBehind::Drain() {
  base::MonitorLock lock(monitor_);
  monitor_.WaitUntil([&] { return queue_.empty() && !writing_; });
  return !failed_;
}

bool WriteBehind::failed() {
  base::MonitorLock lock(monitor_);
  return failed_;
}

void WriteBehind::Run() {
  base::MonitorLock lock(monitor_);
  for (;;) {
    monitor_.WaitUntil([&] { return stopping_ || !queue_.empty(); });
    if (queue_.empty()) return;
    Piece piece = std::move(queue_.front());
    queue_.pop_front();
    writing_ = true;
    const bool skip = failed_;
    lock.Unlock();
    // After a failure the rest is dropped: the file is lost either way.
    const bool written = skip || write_(piece.offset, piece.bytes.data(), piece.bytes.size());
    lock.Lock();
    writing_ = false;
    failed_ = failed_ || !written;
    queued_bytes_ -= piece.bytes.size();
    if (piece.bytes.size() >= kLargePiece && spare_.size() < kSpareLimit) {
      spare_.push_back(std::move(piece.bytes));
    }
    monitor_.NotifyAll();
  }
}

}  // namespace engine
