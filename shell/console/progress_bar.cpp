#include "shell/console/progress_bar.h"

#include <unistd.h>

#include "base/progress_bar_text.h"

namespace console {
namespace {

constexpr auto kRedrawInterval = std::chrono::milliseconds(100);

double Megabytes(std::uint64_t bytes) { return static_cast<double>(bytes) / 1e6; }

}  // namespace

ProgressBar::ProgressBar(std::FILE* stream)
    : stream_(stream), terminal_(::isatty(::fileno(stream)) == 1) {}

void ProgressBar::Show(std::uint64_t done, std::uint64_t total) {
  if (!terminal_ || total == 0) return;
  const Clock::time_point now = Clock::now();
  if (drawn_ && done < total && now - last_drawn_ < kRedrawInterval) return;
  std::fprintf(stream_, "\r%s  %.1f of %.1f MB\033[K",
               base::ProgressBarText(done, total, '.').c_str(), Megabytes(done), Megabytes(total));
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
