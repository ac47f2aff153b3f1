#include "tools/patchpack/formats/payload_check.h"

#include <cstdint>
#include <memory>
#include <new>

#include "payload/payload_container.h"
#include "tools/patchpack/formats/patch_stream_reader.h"

namespace patchpack {
namespace {

PayloadCheck Fault(std::string result, std::string message) {
  PayloadCheck check;
  check.result = std::move(result);
  check.message = std::move(message);
  return check;
}

// The usual message names the failed check first.
PayloadCheck Fault(const std::string& result, const char* separator, const std::string& detail) {
  return Fault(result, result + separator + detail);
}

}  // namespace

PayloadCheck CheckPayload(const payload::Bytes& payload_bytes,
                          ProgressReporter::Mode progress_mode) {
  if (payload_bytes.size() <= payload::kTrailerSize) {
    return Fault("too short", ": ",
                 std::to_string(payload_bytes.size()) +
                     " bytes, not even room for the 20-byte SHA-1 trailer and a body");
  }
  if (!payload::CheckPayloadTrailer(payload_bytes)) {
    return Fault("corrupt", ": ", "the SHA-1 trailer does not match the contents");
  }
  std::span<const std::uint8_t> body(payload_bytes.data(),
                                     payload_bytes.size() - payload::kTrailerSize);
  if (body.size() < payload::kHeaderSize) {
    return Fault(
        "too short", ": ",
        "the body is " + std::to_string(body.size()) + " bytes, less than its 14-byte header");
  }
  std::optional<std::uint32_t> size = payload::ReadDeclaredSize(body);
  if (!size) return Fault("undecodable", ": ", "the declared stream size is 4 GiB or more");

  std::unique_ptr<std::uint8_t[]> block(new (std::nothrow) std::uint8_t[*size]);
  if (!block) {
    return Fault("out of memory",
                 "cannot allocate " + std::to_string(*size) + " bytes for the decoded stream");
  }
  ProgressReporter progress("decoding", *size, progress_mode);
  std::size_t shown = 0;
  const payload::DecodeResult decoded = payload::DecodePayload(
      body, std::span<std::uint8_t>(block.get(), *size), nullptr, [&](std::size_t decoded) {
        progress.Advance(decoded - shown);
        shown = decoded;
      });
  switch (decoded) {
    case payload::DecodeResult::kOk:
      progress.Finish();
      break;
    case payload::DecodeResult::kTooShort:
      return Fault(
          "undecodable", ": ",
          "the LZMA data is damaged: " + std::to_string(body.size() - payload::kHeaderSize) +
              " bytes, fewer than the 5 that LZMA data begins with");
    case payload::DecodeResult::kUnknownFilter:
      return Fault("undecodable", ": ", "unknown filter flag " + std::to_string(body[0]));
    case payload::DecodeResult::kBadProperties:
      return Fault("undecodable", ": ",
                   "LZMA properties byte " + std::to_string(body[1]) + " is out of range");
    case payload::DecodeResult::kNoMemory:
      return Fault("out of memory", "cannot allocate the decoder's dictionary of " +
                                        std::to_string(*size) + " bytes");
    case payload::DecodeResult::kDamaged:
      return Fault("undecodable", ": ", "the LZMA data is damaged");
    case payload::DecodeResult::kEndsEarly:
      return Fault("undecodable", ": ",
                   "the LZMA data ends before the declared " + std::to_string(*size) + " bytes");
  }
  PayloadCheck check;
  try {
    check.description = ReadPatchDescription(std::move(block), *size);
  } catch (const MalformedStream& error) {
    return Fault("malformed", std::string("malformed stream: ") + error.what());
  }
  return check;
}

}  // namespace patchpack
