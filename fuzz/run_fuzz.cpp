// A whole installation run over a fuzzed patch stream, in a game folder held
// in memory. The first input byte scripts the run's surroundings: bit 0 the
// answer to the version question, bits 1-7 the file-system call that fails
// (counted from 1, minizip's calls included; 0 for none). The second byte is
// the check at which the user cancels; the rest is the stream, which the run
// takes as already decoded: packing every input into a payload would cost
// more than the run itself. payload_fuzz goes the whole way from the
// payload's bytes.
//
// Whatever the stream says and whichever call fails: nothing outside the
// game folder is changed, the run ends exactly one way, a failure before the
// commit point (in the commit itself too) leaves every game file as it was,
// and a success leaves no staged file behind.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "engine/run_installation.h"
#include "fuzz/fuzz_check.h"
#include "fuzz/fuzz_game.h"
#include "tests/engine/fs/faulty_file_system.h"

// minizip's zipOpenNewFileInZip4_64 allocates an entry's central header and
// loses it when writing the local header then fails: zipClose only frees the
// header of an entry that opened. The few bytes belong to the library and go
// with the process, as in the fault-injection test; a failing write there is
// what this target asks for.
extern "C" const char* __lsan_default_suppressions() { return "leak:zipOpenNewFileInZip4_64\n"; }

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  static const engine::test::MemoryFileSystem initial = fuzz::MakeGame();
  engine::test::MemoryFileSystem game = initial;
  engine::test::FaultyFileSystem faulty(game);
  faulty.fail_at = data[0] >> 1;
  fuzz::FuzzHost host(data[0] & 1, data[1]);
  const auto load_stream = [&] {
    const auto stream_size = static_cast<std::uint32_t>(size - 2);
    engine::DecodedStream decoded{std::make_unique_for_overwrite<std::uint8_t[]>(stream_size),
                                  stream_size};
    std::memcpy(decoded.block.get(), data + 2, stream_size);
    return decoded;
  };
  FUZZ_CHECK(engine::RunInstallation(host, faulty, engine::StreamLoader(load_stream)) == 0);
  // A removal made to fail in the clean-up after a run that failed for its
  // stream's sake leaves what it was to remove.
  std::string kept;
  if (faulty.fail_at > 0 && faulty.fail_at <= static_cast<int>(faulty.calls.size())) {
    const std::string& failed_call = faulty.calls[faulty.fail_at - 1];
    const std::string removal = "RemoveFile ";
    if (failed_call.starts_with(removal)) {
      kept = engine::test::MemoryFileSystem::Key(failed_call.substr(removal.size()));
    }
  }
  fuzz::CheckRunOutcome(initial, game, host, kept);
  return 0;
}
