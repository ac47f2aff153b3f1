// The text of a progress bar, "[#########.....................]  30%": the
// share of the work done as a run of '#' among `width` cells, and as a
// percentage in three columns. Both the console installer and patchpack
// draw it; each decides when and where, and what follows it on the line.
#pragma once

#include <cstdint>
#include <string>

namespace base {

// The share done, from 0 to 1. Nothing to do counts as all done, and so
// does more than was announced.
inline double DoneFraction(std::uint64_t done, std::uint64_t total) {
  return total == 0 || done >= total ? 1.0 : static_cast<double>(done) / static_cast<double>(total);
}

// " 30%": the whole percentage done, right-aligned in three digits.
inline std::string PercentText(std::uint64_t done, std::uint64_t total) {
  std::string percent = std::to_string(static_cast<int>(DoneFraction(done, total) * 100)) + "%";
  return std::string(percent.size() < 4 ? 4 - percent.size() : 0, ' ') + percent;
}

// The bar and its percentage; `empty` fills the cells not yet done.
inline std::string ProgressBarText(std::uint64_t done, std::uint64_t total, char empty,
                                   int width = 30) {
  std::string text = "[";
  text.append(static_cast<std::size_t>(DoneFraction(done, total) * width), '#');
  text.resize(static_cast<std::size_t>(width) + 1, empty);
  return text + "] " + PercentText(done, total);
}

}  // namespace base
