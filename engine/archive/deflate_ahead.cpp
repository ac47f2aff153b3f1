#include "engine/archive/deflate_ahead.h"

#include <utility>

namespace engine {

DeflateAhead::DeflateAhead() : thread_([this] { Run(); }) {}

DeflateAhead::~DeflateAhead() {
  {
    base::MonitorLock lock(monitor_);
    stopping_ = true;
  }
  monitor_.NotifyAll();
}

void DeflateAhead::Start(std::span<const std::uint8_t> content) {
  {
    base::MonitorLock lock(monitor_);
    content_ = content;
    started_ = true;
    done_ = false;
  }
  monitor_.NotifyAll();
}

std::optional<uLong> DeflateAhead::Finish(const ChunkWriter& write) {
  base::MonitorLock lock(monitor_);
  for (;;) {
    monitor_.WaitUntil([&] { return !ready_.empty() || done_; });
    if (ready_.empty()) break;
    Chunk chunk = std::move(ready_.front());
    ready_.pop_front();
    monitor_.NotifyAll();
    lock.Unlock();
    write({chunk.bytes.data(), chunk.size});
    lock.Lock();
    spare_.push_back(std::move(chunk));
  }
  if (failed_) return std::nullopt;
  return crc_;
}

void DeflateAhead::Run() {
  base::MonitorLock lock(monitor_);
  for (;;) {
    monitor_.WaitUntil([&] { return stopping_ || started_; });
    if (stopping_) return;
    started_ = false;
    const std::span<const std::uint8_t> content = content_;
    lock.Unlock();
    const uLong crc = crc32_z(0, content.data(), content.size());
    lock.Lock();
    failed_ = !DeflateEntry(lock, content);
    crc_ = crc;
    done_ = true;
    monitor_.NotifyAll();
  }
}

bool DeflateAhead::DeflateEntry(base::MonitorLock& lock, std::span<const std::uint8_t> content) {
  deflate_.Reset();
  deflate_->next_in = const_cast<Bytef*>(content.data());
  deflate_->avail_in = static_cast<uInt>(content.size());
  for (int flush = Z_NO_FLUSH;;) {
    monitor_.WaitUntil([&] { return stopping_ || ready_.size() < kChunks; });
    if (stopping_) return false;
    Chunk chunk;
    if (!spare_.empty()) {
      chunk = std::move(spare_.back());
      spare_.pop_back();
    }
    lock.Unlock();
    if (chunk.bytes.empty()) chunk.bytes.resize(kChunkSize);
    deflate_->next_out = chunk.bytes.data();
    deflate_->avail_out = static_cast<uInt>(chunk.bytes.size());
    const int status = ::deflate(deflate_.get(), flush);
    chunk.size = chunk.bytes.size() - deflate_->avail_out;
    if (deflate_->avail_in == 0) flush = Z_FINISH;
    lock.Lock();
    if (status != Z_OK && status != Z_STREAM_END && status != Z_BUF_ERROR) return false;
    ready_.push_back(std::move(chunk));
    monitor_.NotifyAll();
    if (status == Z_STREAM_END) return true;
  }
}

}  // namespace engine
