// A whole run that starts in a game folder where an earlier run, or anyone
// who may write there, left a commit journal, a committed marker, a run
// lock, backups, staged copies and links. The patch is a fixed, valid one;
// the input says what lies in the folder:
//   byte 0: bit 0 a link "data\link" to a folder outside, bit 1 a link as
//           the run lock, bit 2 a lock file instead;
//   then records of two bytes, (control, name), into the journal until a
//   control of 0xFE, then into the marker. A control of 0xFF appends the
//   rest of the input to the file being written, as garbage after a byte
//   that starts no record. Otherwise bit 0 of the control marks the record
//   as replacing (R) or adding (N), and bits 1-2 plant beside the target
//   nothing, its backup (holding the target's old content, as a commit's
//   backup does), or a staged copy.
//   The name byte picks from a list of game names, second spellings and
//   hostile paths.
//
// Whatever lies there: nothing outside the game folder is changed, the run
// ends exactly one way, a journal or marker that holds a name no installer
// would write (or garbage) is refused before any change, and every file of
// the game ends with its old content or the one the patch gives it.
//
// A record marking an existing game file as added, in an otherwise good
// journal, is not planted: recovery removes an added file whose staged copy
// is gone, which is just what such a record asks, and whoever could plant
// it could delete the file as well. Nor is a backup planted as a link: the
// file-system seam cannot tell a link from a file at the last part of a
// path, so recovery would move it onto its target.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <span>
#include <string>

#include "engine/own_names.h"
#include "engine/run_installation.h"
#include "fuzz/fuzz_check.h"
#include "fuzz/fuzz_game.h"
#include "payload/payload_writer.h"

namespace {

using engine::test::MemoryFileSystem;

struct Name {
  const char* path;
  int file;      // names of one file share a number; -1 for a refused name
  bool in_game;  // a file of the game before the run
};

constexpr Name kNames[] = {
    {"sv.exe", 0, true},
    {"DATA\\game.ini", 1, true},
    {"data/Game.ini", 1, true},
    {"data\\textures.zip", 2, true},
    {"data\\maps\\a.bin", 3, true},
    {"curver.txt", 4, true},
    {"data\\new\\x.bin", 5, false},
    {"added.txt", 6, false},
    {"data\\link\\x.txt", 7, false},
    {"..\\outside\\victim.txt", -1, false},
    {"/outside/victim.txt", -1, false},
    {"C:\\outside\\victim.txt", -1, false},
    {"data\\\\game.ini", -1, false},
    {".\\sv.exe", -1, false},
    {"sv.exe.updbak", -1, false},
    {"updrun.lock", -1, false},
    {"updcommit.done", -1, false},
    {"data\\maps\\..\\..\\..\\outside\\victim.txt", -1, false},
};

payload::Bytes Data(const std::string& text) { return payload::Bytes(text.begin(), text.end()); }

payload::Bytes MakeStream() {
  payload::PatchDescription patch;
  patch.version = 6;
  patch.loose_files = {{"sv.exe", Data("MZ new game")},
                       {"DATA\\game.ini", Data("[game]\r\nnew\r\n")},
                       {"data\\new\\x.bin", Data(std::string(64, 'x'))}};
  patch.archives = {
      {"data\\textures.zip", {{"e.txt", Data("echo")}, {"b.txt", Data("new")}}, {"c/d.txt"}}};
  patch.deletions = {"data\\maps\\a.bin"};
  return payload::BuildPatchStream(patch);
}

// The run starts from the decoded stream: the payload around it is not what
// this target is about, and decoding it for every input would cost more
// than the run.
int Run(MemoryFileSystem& game, const payload::Bytes& stream, fuzz::FuzzHost& host) {
  const auto load_stream = [&] {
    const auto size = static_cast<std::uint32_t>(stream.size());
    engine::DecodedStream decoded{std::make_unique_for_overwrite<std::uint8_t[]>(size), size};
    std::memcpy(decoded.block.get(), stream.data(), size);
    return decoded;
  };
  return engine::RunInstallation(host, game, engine::StreamLoader(load_stream));
}

// What the input plants, and whether the journal or marker it writes holds
// something no installer writes.
struct Leftovers {
  std::string journal, marker;
  bool journal_planted = false, marker_planted = false;
  bool hostile = false;
};

Leftovers Plant(std::span<const std::uint8_t> input, MemoryFileSystem& game) {
  Leftovers left;
  const std::uint8_t flags = input[0];
  if (flags & 1) game.AddLink("data/link", "../outside");
  if (flags & 2) {
    game.AddLink(engine::kRunLockPath, "/outside/lock");
  } else if (flags & 4) {
    game.AddFile(engine::kRunLockPath, "4242");
  }
  std::string* file = &left.journal;
  std::map<int, int> seen;  // file number to count, per journal or marker
  left.journal_planted = input.size() > 1;
  for (std::size_t at = 1; at < input.size();) {
    const std::uint8_t control = input[at++];
    if (control == 0xFE) {
      file = &left.marker;
      left.marker_planted = true;
      seen.clear();
      continue;
    }
    if (control == 0xFF) {
      // After a byte that starts no record, so that it is garbage whatever
      // follows.
      *file += '\x01';
      file->append(input.begin() + at, input.end());
      left.hostile = true;
      break;
    }
    if (at >= input.size()) break;
    const Name& name = kNames[input[at++] % std::size(kNames)];
    const bool replaces = (control & 1) != 0 || name.in_game;
    *file += replaces ? 'R' : 'N';
    *file += name.path;
    *file += '\0';
    if (name.file < 0 || ++seen[name.file] > 1) left.hostile = true;
    if (name.file < 0) continue;
    const std::string key = MemoryFileSystem::Key(name.path);
    switch ((control >> 1) & 3) {
      case 1:
        if (const std::string* old = game.Find(key)) game.files[key + ".updbak"] = *old;
        break;
      case 2:
        if (game.MayCreate(std::string(name.path) + ".updtmp")) {
          game.files[key + ".updtmp"] = "staged";
        }
        break;
      default:
        break;
    }
  }
  if (left.journal_planted) game.files[engine::kJournalPath] = left.journal;
  if (left.marker_planted) game.files[engine::kCommittedPath] = left.marker;
  return left;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  static const payload::Bytes stream = MakeStream();
  static const MemoryFileSystem initial = fuzz::MakeGame();
  static const MemoryFileSystem installed = [] {
    MemoryFileSystem game = initial;
    fuzz::FuzzHost host(0xff, 0);
    Run(game, stream, host);
    if (host.finishes != 1) std::abort();
    return game;
  }();

  MemoryFileSystem game = initial;
  const Leftovers left = Plant(std::span(data, size), game);
  const MemoryFileSystem planted = game;
  fuzz::FuzzHost host(0xff, 0);
  FUZZ_CHECK(Run(game, stream, host) == 0);

  for (const std::string& path : game.outside_paths) {
    std::fprintf(stderr, "outside: %s\n", path.c_str());
  }
  FUZZ_CHECK(game.outside_paths.empty());
  const bool succeeded = host.finishes == 1 && host.closes == 0 && host.errors == 0;
  const bool failed = host.finishes == 0 && host.closes == 1 && host.errors == 1;
  FUZZ_CHECK(succeeded != failed);

  if (left.hostile) {
    for (const std::string& change : game.changes) std::fprintf(stderr, "%s\n", change.c_str());
    FUZZ_CHECK(failed);
    FUZZ_CHECK(game.changes.empty());
    FUZZ_CHECK(game.files == planted.files && game.links == planted.links);
  }
  for (const auto& [key, old] : initial.files) {
    const std::string* now = game.Find(key);
    const auto after = installed.files.find(key);
    const bool is_old = now != nullptr && *now == old;
    const bool is_new =
        after == installed.files.end() ? now == nullptr : now != nullptr && *now == after->second;
    if (!is_old && !is_new) std::fprintf(stderr, "neither old nor new: %s\n", key.c_str());
    FUZZ_CHECK(is_old || is_new);
  }
  return 0;
}
