#include "tests/payload/lzma_test_encoder.h"

#include <lzma.h>

#include <stdexcept>

#include "base/little_endian.h"
#include "payload/sha1.h"

namespace payload_test {

Bytes EncodeLzma1(const Bytes& stream, const LzmaSettings& settings) {
  lzma_options_lzma options;
  if (lzma_lzma_preset(&options, 6) != 0) throw std::runtime_error("lzma preset");
  options.lc = settings.lc;
  options.lp = settings.lp;
  options.pb = settings.pb;
  options.dict_size = 1u << 20;

  lzma_filter filters[3];
  std::size_t next = 0;
  if (settings.x86) filters[next++] = {LZMA_FILTER_X86, nullptr};
  filters[next++] = {LZMA_FILTER_LZMA1, &options};
  filters[next] = {LZMA_VLI_UNKNOWN, nullptr};

  lzma_stream encoder = LZMA_STREAM_INIT;
  if (lzma_raw_encoder(&encoder, filters) != LZMA_OK) throw std::runtime_error("lzma encoder");
  Bytes out(stream.size() + stream.size() / 2 + 1024);
  encoder.next_in = stream.data();
  encoder.avail_in = stream.size();
  encoder.next_out = out.data();
  encoder.avail_out = out.size();
  lzma_ret result = lzma_code(&encoder, LZMA_FINISH);
  out.resize(out.size() - encoder.avail_out);
  lzma_end(&encoder);
  if (result != LZMA_STREAM_END) throw std::runtime_error("lzma encoding did not finish");
  return out;
}

std::uint8_t PropertiesByte(std::uint32_t lc, std::uint32_t lp, std::uint32_t pb) {
  return static_cast<std::uint8_t>((pb * 5 + lp) * 9 + lc);
}

Bytes MakeBody(std::uint8_t filter, std::uint8_t properties, std::uint32_t dictionary_size,
               std::uint64_t declared_size, const Bytes& lzma_data) {
  Bytes body = {filter, properties};
  base::AppendLittleEndian(body, dictionary_size, 4);
  base::AppendLittleEndian(body, declared_size, 8);
  body.insert(body.end(), lzma_data.begin(), lzma_data.end());
  return body;
}

Bytes EncodeBody(const Bytes& stream, const LzmaSettings& settings) {
  return MakeBody(settings.x86 ? 1 : 0, PropertiesByte(settings.lc, settings.lp, settings.pb),
                  1u << 20, stream.size(), EncodeLzma1(stream, settings));
}

Bytes WithTrailer(const Bytes& body) {
  Bytes payload = body;
  payload::Sha1Digest digest = payload::ComputeSha1(body);
  payload.insert(payload.end(), digest.begin(), digest.end());
  return payload;
}

}  // namespace payload_test
