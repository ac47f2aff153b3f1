#include "tools/patchpack/report/progress_reporter.h"

#ifdef _WIN32
#include <io.h>
#define isatty _isatty
#define fileno _fileno
#else
#include <unistd.h>
#endif

#include <cstdio>

#include "base/progress_bar_text.h"

namespace patchpack {
namespace {

using namespace std::chrono_literals;

// Nothing is shown for work that ends sooner than this.
constexpr auto kFirstShow = 1s;
constexpr auto kTerminalInterval = 200ms;
constexpr auto kLineInterval = 5s;

}  // namespace

std::string ByteCount(std::uint64_t bytes) {
  const char* units[] = {"bytes", "kB", "MB", "GB", "TB"};
  double value = static_cast<double>(bytes);
  int unit = 0;
  while (value >= 1000 && unit < 4) {
    value /= 1000;
    ++unit;
  }
  char text[32];
  if (unit == 0) {
    std::snprintf(text, sizeof text, "%llu %s", static_cast<unsigned long long>(bytes),
                  bytes == 1 ? "byte" : "bytes");
  } else {
    std::snprintf(text, sizeof text, "%.1f %s", value, units[unit]);
  }
  return text;
}

ProgressReporter::Mode ProgressReporter::ModeForStderr(bool quiet) {
  if (quiet) return Mode::Quiet;
  return isatty(fileno(stderr)) ? Mode::Terminal : Mode::Lines;
}

ProgressReporter::ProgressReporter(std::string what, std::uint64_t total, Mode mode)
    : what_(std::move(what)), total_(total), mode_(mode), start_(Clock::now()) {}

ProgressReporter::~ProgressReporter() {
  // An error is on its way: end the bar's line so the message starts afresh.
  if (!finished_ && shown_ && mode_ == Mode::Terminal) std::fputc('\n', stderr);
}

void ProgressReporter::Advance(std::uint64_t bytes) {
  done_ += bytes;
  if (mode_ == Mode::Quiet) return;
  Clock::time_point now = Clock::now();
  if (now - start_ < kFirstShow) return;
  auto interval = mode_ == Mode::Terminal ? kTerminalInterval : kLineInterval;
  if (shown_ && now - last_shown_ < interval) return;
  Show(false);
}

void ProgressReporter::Finish() {
  if (shown_) Show(true);
  if (shown_ && mode_ == Mode::Terminal) std::fputc('\n', stderr);
  finished_ = true;
}

void ProgressReporter::Show(bool final) {
  Clock::time_point now = Clock::now();
  double seconds = std::chrono::duration<double>(now - start_).count();
  double rate = seconds > 0 ? static_cast<double>(done_) / seconds : 0;
  std::string status = what_ + ": " + ByteCount(done_) + " of " + ByteCount(total_) + ", " +
                       ByteCount(static_cast<std::uint64_t>(rate)) + "/s";
  if (final) {
    status += ", done in " + std::to_string(static_cast<int>(seconds + 0.5)) + " s";
  } else if (rate > 0) {
    double left = static_cast<double>(total_ - done_) / rate;
    status += ", " + std::to_string(static_cast<int>(left + 0.5)) + " s left";
  }
  if (mode_ == Mode::Terminal) {
    std::fprintf(stderr, "\r%s %s\033[K", base::ProgressBarText(done_, total_, ' ').c_str(),
                 status.c_str());
  } else {
    std::fprintf(stderr, "%s %s\n", base::PercentText(done_, total_).c_str(), status.c_str());
  }
  std::fflush(stderr);
  shown_ = true;
  last_shown_ = now;
}

}  // namespace patchpack
