#include "payload/payload_container.h"

#include <lzma.h>

#include <algorithm>
#include <cstring>

#include "base/little_endian.h"
#include "payload/bcj_x86.h"
#include "payload/lzma_stream.h"
#include "payload/sha1.h"

namespace payload {
namespace {

constexpr std::uint8_t kFilterNone = 0;
constexpr std::uint8_t kFilterX86 = 1;
constexpr std::uint8_t kPropertiesLimit = 9 * 5 * 5;  // lc < 9, lp < 5, pb < 5
// A range decoder starts by reading five bytes, even for an empty stream.
constexpr std::size_t kMinimumLzmaData = 5;
constexpr std::size_t kOutputSlice = 64 * 1024;

// What a decoder result means for the decoding loop: kOk goes on, anything
// else ends it with that result.
// Every result liblzma can give, in one place.
DecodeResult Interpret(lzma_ret result) {
  switch (result) {
    case LZMA_OK:
      return DecodeResult::kOk;
    // An end marker before the block is full would leave the rest of the
    // block undefined; such a payload was built wrong.
    case LZMA_STREAM_END:
      return DecodeResult::kEndsEarly;
    // Out of memory for the dictionary or the probability table.
    case LZMA_MEM_ERROR:
    case LZMA_MEMLIMIT_ERROR:
      return DecodeResult::kNoMemory;
    // Properties that the decoder cannot take (lc + lp above 4).
    case LZMA_OPTIONS_ERROR:
      return DecodeResult::kBadProperties;
    // Corrupt data, or a match reaching back before the block.
    case LZMA_DATA_ERROR:
      return DecodeResult::kDamaged;
    // Input that ran out before the block was full.
    case LZMA_BUF_ERROR:
      return DecodeResult::kEndsEarly;
    // Results that belong to container formats, seeking or misuse: a raw
    // LZMA1 decoder never gives them, so one would mean something is wrong.
    case LZMA_NO_CHECK:
    case LZMA_UNSUPPORTED_CHECK:
    case LZMA_GET_CHECK:
    case LZMA_FORMAT_ERROR:
    case LZMA_PROG_ERROR:
#if LZMA_VERSION >= 50030000
    case LZMA_SEEK_NEEDED:
    case LZMA_RET_INTERNAL1:
    case LZMA_RET_INTERNAL2:
    case LZMA_RET_INTERNAL3:
    case LZMA_RET_INTERNAL4:
    case LZMA_RET_INTERNAL5:
    case LZMA_RET_INTERNAL6:
    case LZMA_RET_INTERNAL7:
    case LZMA_RET_INTERNAL8:
#endif
      return DecodeResult::kDamaged;
  }
  return DecodeResult::kDamaged;
}

// Decodes raw LZMA1 data into the block until the block is full. The decoder
// keeps its own dictionary, as large as the block (every byte produced so far
// may be referred back to); the header's dictionary size is not consulted.
DecodeResult DecodeLzma1(std::uint8_t properties, std::span<const std::uint8_t> data,
                         std::span<std::uint8_t> block, std::size_t* produced,
                         const DecodeProgress& progress) {
  lzma_options_lzma options{};
  options.lc = properties % 9;
  options.lp = (properties / 9) % 5;
  options.pb = properties / 45;
  options.dict_size =
      static_cast<std::uint32_t>(std::max<std::size_t>(block.size(), LZMA_DICT_SIZE_MIN));

  const lzma_filter filters[] = {{LZMA_FILTER_LZMA1, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
  LzmaStream stream;
  const DecodeResult started = Interpret(lzma_raw_decoder(stream.get(), filters));
  if (started != DecodeResult::kOk) return started;

  lzma_stream* s = stream.get();
  s->next_in = data.data();
  s->avail_in = data.size();
  s->next_out = block.data();
  for (;;) {
    // liblzma decodes into its dictionary and copies out what fits; handing
    // it the block a slice at a time keeps that copy in the cache.
    s->avail_out = std::min(kOutputSlice, block.size() - *produced);
    const lzma_ret result = lzma_code(s, LZMA_FINISH);
    *produced = static_cast<std::size_t>(s->next_out - block.data());
    if (progress) progress(*produced);
    // A full block ends decoding, whatever follows in the data.
    if (*produced == block.size()) return DecodeResult::kOk;
    const DecodeResult step = Interpret(result);
    if (step != DecodeResult::kOk) return step;
  }
}

}  // namespace

bool CheckPayloadTrailer(std::span<const std::uint8_t> payload) {
  // The run never asks about a payload this short; should one come, it has
  // no body to vouch for.
  if (payload.size() <= kTrailerSize) return false;
  std::span<const std::uint8_t> body = payload.first(payload.size() - kTrailerSize);
  Sha1Digest digest = ComputeSha1(body);
  return std::memcmp(digest.data(), payload.data() + body.size(), kTrailerSize) == 0;
}

std::optional<std::uint32_t> ReadDeclaredSize(std::span<const std::uint8_t> body) {
  if (body.size() < kHeaderSize) return std::nullopt;
  if (base::LoadLittleEndian(body.subspan(10, 4)) != 0) return std::nullopt;
  return static_cast<std::uint32_t>(base::LoadLittleEndian(body.subspan(6, 4)));
}

DecodeResult DecodePayload(std::span<const std::uint8_t> body, std::span<std::uint8_t> block,
                           std::size_t* produced, const DecodeProgress& progress) {
  std::size_t count = 0;
  if (produced == nullptr) produced = &count;
  *produced = 0;
  if (body.size() < kHeaderSize) return DecodeResult::kTooShort;
  const std::uint8_t filter = body[0];
  const std::uint8_t properties = body[1];
  if (filter != kFilterNone && filter != kFilterX86) return DecodeResult::kUnknownFilter;
  if (properties >= kPropertiesLimit) return DecodeResult::kBadProperties;
  // liblzma decodes only lc + lp up to 4; refused whatever the size, so that
  // an empty stream does not pass with properties a full one would fail on.
  if (properties % 9 + (properties / 9) % 5 > LZMA_LCLP_MAX) return DecodeResult::kBadProperties;

  std::span<const std::uint8_t> data = body.subspan(kHeaderSize);
  if (data.size() < kMinimumLzmaData) return DecodeResult::kTooShort;
  if (!block.empty()) {
    const DecodeResult result = DecodeLzma1(properties, data, block, produced, progress);
    if (result != DecodeResult::kOk) return result;
  }

  if (filter == kFilterX86) DecodeX86Branches(block.first(*produced));
  return DecodeResult::kOk;
}

}  // namespace payload
