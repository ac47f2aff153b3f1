#include "payload/payload_writer.h"

#include "payload/payload_encoder.h"
#include "payload/sha1.h"

namespace payload {

Bytes BuildPayload(std::span<const std::uint8_t> stream, const EncodeOptions& options) {
  Bytes payload;
  PayloadEncoder encoder(stream.size(), options, [&](std::span<const std::uint8_t> piece) {
    payload.insert(payload.end(), piece.begin(), piece.end());
  });
  encoder.Feed(stream);
  encoder.Finish();
  return payload;
}

Bytes AppendTrailer(std::span<const std::uint8_t> body) {
  payload::Sha1Digest digest = payload::ComputeSha1(body);
  Bytes payload(body.begin(), body.end());
  payload.insert(payload.end(), digest.begin(), digest.end());
  return payload;
}

}  // namespace payload
