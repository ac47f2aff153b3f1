// What a read that asked for a number of bytes moved, and whether it stopped
// on an error rather than at the end of the file. A read may move some bytes
// and then fail; the caller keeps both.
#pragma once

#include <cstddef>

namespace base {

struct ReadResult {
  std::size_t done = 0;
  bool failed = false;
};

}  // namespace base
