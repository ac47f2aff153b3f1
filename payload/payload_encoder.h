// Compresses a patch stream into a payload piece by piece, so that a writer
// never holds the whole stream or the whole payload: the stream's size is
// declared up front (the container's header carries it, and the dictionary
// is chosen from it), the bytes are fed in any number of pieces, and the
// payload leaves through a sink as it is made, the SHA-1 trailer last. The
// output does not depend on how the stream is cut into pieces, so it equals
// BuildPayload's for the same stream and options.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>

#include "payload/payload_writer.h"

namespace payload {

class PayloadEncoder {
 public:
  using Sink = std::function<void(std::span<const std::uint8_t>)>;

  // Throws std::invalid_argument for lc + lp > 4, pb > 4, an unknown preset
  // or a stream of 4 GiB or more.
  PayloadEncoder(std::uint64_t stream_size, const EncodeOptions& options, Sink sink);
  ~PayloadEncoder();
  PayloadEncoder(const PayloadEncoder&) = delete;
  PayloadEncoder& operator=(const PayloadEncoder&) = delete;

  // Throws std::logic_error when more than the declared size is fed.
  void Feed(std::span<const std::uint8_t> bytes);
  // Ends the LZMA1 data and sends the trailer. Throws std::logic_error when
  // less than the declared size was fed.
  void Finish();

  std::uint64_t fed() const { return fed_; }

 private:
  void Code(std::span<const std::uint8_t> bytes, bool finish);
  void Emit(std::span<const std::uint8_t> bytes);

  struct Coder;
  std::unique_ptr<Coder> coder_;
  Sink sink_;
  std::uint64_t stream_size_;
  std::uint64_t fed_ = 0;
};

}  // namespace payload
