#include "payload/payload_container.h"

#include <lzma.h>

#include <cstring>

#include "payload/sha1.h"

namespace payload {

bool CheckPayloadTrailer(std::span<const std::uint8_t> payload) {
  std::span<const std::uint8_t> body = payload.first(payload.size() - kTrailerSize);
  Sha1Digest digest = ComputeSha1(body);
  return std::memcmp(digest.data(), payload.data() + body.size(), kTrailerSize) == 0;
}

std::optional<std::uint32_t> ReadDeclaredSize(std::span<const std::uint8_t> body) {
  if (body.size() < kHeaderSize) return std::nullopt;
  for (std::size_t i = 10; i < 14; ++i) {
    if (body[i] != 0) return std::nullopt;
  }
  return std::uint32_t{body[6]} | (std::uint32_t{body[7]} << 8) | (std::uint32_t{body[8]} << 16) |
         (std::uint32_t{body[9]} << 24);
}

bool DecodePayload(std::span<const std::uint8_t> body, std::span<std::uint8_t> block,
                   std::size_t* produced) {
  if (produced != nullptr) *produced = 0;
  if (body.size() < kHeaderSize || body[0] > 1) return false;
  (void)block;
  return false;  // decoding arrives with the liblzma decoder
}

}  // namespace payload
