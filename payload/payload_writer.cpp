#include "payload/payload_writer.h"

#include <lzma.h>

#include <limits>
#include <memory>
#include <stdexcept>
#include <string>

#include "base/little_endian.h"
#include "payload/lzma_stream.h"
#include "payload/sha1.h"

namespace payload {
namespace {

constexpr std::uint32_t kMinDictionary = 4u << 10;
// Enough for any stream worth shipping; bounds the encoder's memory (about
// eleven times the dictionary).
constexpr std::uint32_t kMaxDictionary = 64u << 20;

// The smallest power of two that holds the whole stream, so every match can
// reach back to its start, within the bounds above.
std::uint32_t DictionaryFor(std::size_t stream_size) {
  std::uint32_t size = kMinDictionary;
  while (size < stream_size && size < kMaxDictionary) size <<= 1;
  return size;
}

[[noreturn]] void Fail(const char* what, lzma_ret result) {
  throw std::runtime_error(std::string(what) + " (liblzma error " + std::to_string(result) + ")");
}

// Raw LZMA1 (which ends with an end marker), preceded by the x86 converter
// when asked. The decoder undoes the conversion as a separate pass over the
// whole block from offset 0; the chained filter converts exactly the same
// positions, leaving the last four bytes as they are.
void Compress(std::span<const std::uint8_t> stream, lzma_options_lzma& lzma, bool x86, Bytes& out) {
  lzma_filter filters[3];
  std::size_t count = 0;
  if (x86) filters[count++] = {LZMA_FILTER_X86, nullptr};
  filters[count++] = {LZMA_FILTER_LZMA1, &lzma};
  filters[count] = {LZMA_VLI_UNKNOWN, nullptr};

  LzmaStream coder;
  lzma_ret result = lzma_raw_encoder(coder.get(), filters);
  if (result != LZMA_OK) Fail("cannot start the LZMA1 encoder", result);

  coder->next_in = stream.data();
  coder->avail_in = stream.size();
  std::size_t written = out.size();
  do {
    out.resize(written + (64u << 10) + stream.size() / 8);
    coder->next_out = out.data() + written;
    coder->avail_out = out.size() - written;
    result = lzma_code(coder.get(), LZMA_FINISH);
    written = out.size() - coder->avail_out;
  } while (result == LZMA_OK);
  if (result != LZMA_STREAM_END) Fail("LZMA1 encoding failed", result);
  out.resize(written);
}

}  // namespace

Bytes BuildPayload(std::span<const std::uint8_t> stream, const EncodeOptions& options) {
  if (options.lc < 0 || options.lp < 0 || options.pb < 0 || options.lc + options.lp > 4 ||
      options.pb > 4) {
    throw std::invalid_argument("LZMA properties need lc + lp <= 4 and pb <= 4");
  }
  if (stream.size() > std::numeric_limits<std::uint32_t>::max()) {
    throw std::invalid_argument("the patch stream is larger than 4 GiB - 1 bytes");
  }
  lzma_options_lzma lzma;
  if (lzma_lzma_preset(&lzma, LZMA_PRESET_DEFAULT))
    throw std::runtime_error("liblzma lacks its default preset");
  lzma.dict_size = DictionaryFor(stream.size());
  lzma.lc = static_cast<std::uint32_t>(options.lc);
  lzma.lp = static_cast<std::uint32_t>(options.lp);
  lzma.pb = static_cast<std::uint32_t>(options.pb);

  Bytes body;
  body.push_back(options.x86_filter ? 1 : 0);
  body.push_back(static_cast<std::uint8_t>((options.pb * 5 + options.lp) * 9 + options.lc));
  base::AppendLittleEndian(body, lzma.dict_size, 4);
  base::AppendLittleEndian(body, stream.size(), 8);
  Compress(stream, lzma, options.x86_filter, body);
  payload::Sha1Digest digest = payload::ComputeSha1(body);
  body.insert(body.end(), digest.begin(), digest.end());
  return body;
}

Bytes AppendTrailer(std::span<const std::uint8_t> body) {
  payload::Sha1Digest digest = payload::ComputeSha1(body);
  Bytes payload(body.begin(), body.end());
  payload.insert(payload.end(), digest.begin(), digest.end());
  return payload;
}

}  // namespace payload
