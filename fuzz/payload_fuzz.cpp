// The payload container and the decoder. The input is a payload body (filter
// flag, LZMA_Alone header, LZMA1 data); the target appends the SHA-1 trailer
// that a mutated body would fail, so that inputs reach the decoder.
//
// Then the whole way: a run whose executable carries that payload, in the
// game folder of run_fuzz, which leaves what every run must leave. The other
// run targets start from a decoded stream; this one keeps the road from the
// payload's bytes to the run under the fuzzer.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>

#include "engine/run_installation.h"
#include "fuzz/fuzz_check.h"
#include "fuzz/fuzz_game.h"
#include "payload/payload_container.h"
#include "payload/payload_writer.h"

namespace {

// Larger declared sizes are legal but would make the fuzzer spend its time
// allocating; the decoder's bounds do not depend on the size.
constexpr std::uint32_t kMaxBlock = 1 << 20;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> body(data, size);
  // The trailer check needs at least one byte before the trailer.
  payload::Bytes payload = payload::AppendTrailer(body);
  if (size > 0) {
    FUZZ_CHECK(payload::CheckPayloadTrailer(payload));
    payload::Bytes flipped = payload;
    flipped[size + (data[0] % payload::kTrailerSize)] ^= 1;
    FUZZ_CHECK(!payload::CheckPayloadTrailer(flipped));
  }

  const std::optional<std::uint32_t> declared = payload::ReadDeclaredSize(body);
  if (size < payload::kHeaderSize) FUZZ_CHECK(!declared);
  if (!declared || *declared > kMaxBlock) return 0;

  // One guard byte past the block shows a write beyond it even where the
  // sanitizer's red zone would not.
  auto block = std::make_unique<std::uint8_t[]>(*declared + 1);
  block[*declared] = 0xA5;
  std::size_t produced = 0;
  const bool decoded = payload::DecodePayload(body, {block.get(), *declared}, &produced) ==
                       payload::DecodeResult::kOk;
  FUZZ_CHECK(block[*declared] == 0xA5);
  FUZZ_CHECK(produced <= *declared);
  // A success fills the whole block.
  if (decoded) FUZZ_CHECK(produced == *declared);

  static const engine::test::MemoryFileSystem initial = fuzz::MakeGame();
  engine::test::MemoryFileSystem game = initial;
  fuzz::FuzzHost host(0xFF, 0);
  const auto load_payload = [&] { return std::optional<std::span<const std::uint8_t>>(payload); };
  FUZZ_CHECK(engine::RunInstallation(host, game, engine::PayloadLoader(load_payload)) == 0);
  fuzz::CheckRunOutcome(initial, game, host);
  // Nothing that does not decode gets as far as the game.
  if (!decoded) FUZZ_CHECK(game.changes.empty());
  return 0;
}
