#include "shell/console/progress_bar.h"

#include <unistd.h>

#include <string>

namespace console {
namespace {

constexpr auto kRedrawInterval = std::chrono::milliseconds(100);
constexpr int kBarWidth = 30;

double Megabytes(std::uint64_t bytes) { return static_cast<double>(bytes) / 1e6; }

}  // namespace

ProgressBar::ProgressBar(std::FILE* stream)
    : stream_(stream), terminal_(::isatty(::fileno(stream)) == 1) {}

void ProgressBar::Show(std::uint64_t done, std::uint64_t total) {
  if (!terminal_ || total == 0) return;
  const Clock::time_point now = Clock::now();
  if (drawn_ && done < total && now - last_drawn_ < kRedrawInterval) return;
  const double fraction = done >= total ? 1.0 : static_cast<double>(done) / total;
  std::string bar(static_cast<std::size_t>(fraction * kBarWidth), '#');
  bar.resize(kBarWidth, '.');
  std::fprintf(stream_, "\r[%s] %3d%%  %.1f of %.1f MB\033[K", bar.c_str(),
               static_cast<int>(fraction * 100), Megabytes(done), Megabytes(total));
  std::fflush(stream_);
  drawn_ = true;
  last_drawn_ = now;
}

void ProgressBar::Clear() {
  if (!drawn_) return;
  std::fputs("\r\033[K", stream_);
  std::fflush(stream_);
  drawn_ = false;
}

}  // namespace console
