#include "payload/payload_encoder.h"

#include <lzma.h>

#include <array>
#include <limits>
#include <stdexcept>
#include <string>

#include "base/little_endian.h"
#include "payload/lzma_stream.h"
#include "payload/sha1.h"

namespace payload {
namespace {

constexpr std::uint32_t kMinDictionary = 4u << 10;
// The installer's budget: its decoder holds a dictionary of this size beside
// the decoded stream, and the encoder needs about eleven times it.
constexpr std::uint32_t kMaxDictionary = 64u << 20;
constexpr std::size_t kOutputChunk = 1u << 20;

// The smallest power of two that holds the whole stream, so every match can
// reach back to its start, within the bounds above.
std::uint32_t DictionaryFor(std::uint64_t stream_size) {
  std::uint32_t size = kMinDictionary;
  while (size < stream_size && size < kMaxDictionary) size <<= 1;
  return size;
}

[[noreturn]] void Fail(const char* what, lzma_ret result) {
  throw std::runtime_error(std::string(what) + " (liblzma error " + std::to_string(result) + ")");
}

}  // namespace

struct PayloadEncoder::Coder {
  LzmaStream stream;
  lzma_options_lzma lzma{};
  Sha1 sha1;
  // Left unset (see the constructor): only what the coder writes is read.
  std::array<std::uint8_t, kOutputChunk> out;
};

PayloadEncoder::PayloadEncoder(std::uint64_t stream_size, const EncodeOptions& options, Sink sink)
    // Not value-initialised, which would clear the whole output buffer: for
    // a small payload that costs more than the compression.
    : coder_(std::make_unique_for_overwrite<Coder>()), sink_(std::move(sink)), stream_size_(stream_size) {
  if (options.lc < 0 || options.lp < 0 || options.pb < 0 || options.lc + options.lp > 4 ||
      options.pb > 4) {
    throw std::invalid_argument("LZMA properties need lc + lp <= 4 and pb <= 4");
  }
  if (options.preset < 0 || options.preset > 9) {
    throw std::invalid_argument("the preset is a level from 0 to 9");
  }
  if (stream_size > std::numeric_limits<std::uint32_t>::max()) {
    throw std::invalid_argument("the patch stream is larger than 4 GiB - 1 bytes");
  }
  std::uint32_t preset = static_cast<std::uint32_t>(options.preset);
  if (options.extreme) preset |= LZMA_PRESET_EXTREME;
  lzma_options_lzma& lzma = coder_->lzma;
  if (lzma_lzma_preset(&lzma, preset)) throw std::runtime_error("liblzma lacks the preset");
  lzma.dict_size = DictionaryFor(stream_size);
  lzma.lc = static_cast<std::uint32_t>(options.lc);
  lzma.lp = static_cast<std::uint32_t>(options.lp);
  lzma.pb = static_cast<std::uint32_t>(options.pb);

  // Raw LZMA1 (which ends with an end marker), preceded by the x86 converter
  // when asked. The decoder undoes the conversion as a separate pass over the
  // whole block from offset 0; the chained filter converts exactly the same
  // positions, leaving the last four bytes as they are.
  lzma_filter filters[3];
  std::size_t count = 0;
  if (options.x86_filter) filters[count++] = {LZMA_FILTER_X86, nullptr};
  filters[count++] = {LZMA_FILTER_LZMA1, &lzma};
  filters[count] = {LZMA_VLI_UNKNOWN, nullptr};
  lzma_ret result = lzma_raw_encoder(coder_->stream.get(), filters);
  if (result != LZMA_OK) Fail("cannot start the LZMA1 encoder", result);

  Bytes header;
  header.push_back(options.x86_filter ? 1 : 0);
  header.push_back(static_cast<std::uint8_t>((options.pb * 5 + options.lp) * 9 + options.lc));
  base::AppendLittleEndian(header, lzma.dict_size, 4);
  base::AppendLittleEndian(header, stream_size, 8);
  Emit(header);
}

PayloadEncoder::~PayloadEncoder() = default;

void PayloadEncoder::Emit(std::span<const std::uint8_t> bytes) {
  coder_->sha1.Update(bytes);
  sink_(bytes);
}

void PayloadEncoder::Code(std::span<const std::uint8_t> bytes, bool finish) {
  lzma_stream& stream = *coder_->stream.get();
  stream.next_in = bytes.data();
  stream.avail_in = bytes.size();
  while (true) {
    stream.next_out = coder_->out.data();
    stream.avail_out = coder_->out.size();
    lzma_ret result = lzma_code(&stream, finish ? LZMA_FINISH : LZMA_RUN);
    std::size_t produced = coder_->out.size() - stream.avail_out;
    if (produced != 0) Emit(std::span<const std::uint8_t>(coder_->out.data(), produced));
    if (finish && result == LZMA_STREAM_END) return;
    if (result != LZMA_OK) Fail("LZMA1 encoding failed", result);
    if (!finish && stream.avail_in == 0 && stream.avail_out != 0) return;
  }
}

void PayloadEncoder::Feed(std::span<const std::uint8_t> bytes) {
  if (bytes.size() > stream_size_ - fed_) {
    throw std::logic_error("more bytes fed than the stream's declared size");
  }
  fed_ += bytes.size();
  Code(bytes, false);
}

void PayloadEncoder::Finish() {
  if (fed_ != stream_size_) throw std::logic_error("fewer bytes fed than the stream's size");
  Code({}, true);
  Sha1Digest digest = coder_->sha1.Finish();
  sink_(digest);
}

}  // namespace payload
