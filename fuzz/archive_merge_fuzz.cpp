// The archive merge over a fuzzed old archive, with a record that adds one
// entry, replaces one and drops one. Whatever the old archive holds, a merge
// that completes leaves a staged archive that opens, carries the new entries
// first with their bytes and CRC-32, and holds no other entry of the names
// the record replaces or drops.
//
// The merge adds the Zip64 end records itself only from 65,535 entries on,
// far beyond what a fuzzed input holds; so every staged archive is then
// completed with them here, and must still open with the same entries, the
// count now read from the Zip64 record, and be left as it is by a second
// completion.
#include <minizip/unzip.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "engine/archive/archive_merge.h"
#include "engine/archive/zip64_end_record.h"
#include "engine/fs/checked_file_system.h"
#include "engine/install_error.h"
#include "fuzz/fuzz_check.h"
#include "fuzz/fuzz_game.h"

namespace {

const std::vector<std::pair<std::string, std::string>> kNewEntries = {
    {"new.txt", "a new entry"}, {"b.txt", std::string(300, 'b') + "replaced"}};
const char kDropped[] = "c/d.txt";
constexpr char kArchive[] = "data\\textures.zip";
constexpr char kStaged[] = "data\\textures.zip.updtmp";

// The archive record after its path: new entries, then drop names.
std::vector<std::uint8_t> Record() {
  std::vector<std::uint8_t> bytes;
  auto name = [&](const std::string& text) {
    bytes.insert(bytes.end(), text.begin(), text.end());
    bytes.push_back(0);
  };
  for (const auto& [entry, content] : kNewEntries) {
    name(entry);
    for (int shift = 0; shift < 32; shift += 8) bytes.push_back((content.size() >> shift) & 0xFF);
    bytes.insert(bytes.end(), content.begin(), content.end());
  }
  bytes.push_back(0);
  name(kDropped);
  bytes.push_back(0);
  return bytes;
}

[[noreturn]] void RefuseOverrun() { std::abort(); }

std::string ReadEntry(unzFile zip) {
  FUZZ_CHECK(unzOpenCurrentFile(zip) == UNZ_OK);
  std::string content;
  char chunk[4096];
  int count;
  while ((count = unzReadCurrentFile(zip, chunk, sizeof chunk)) > 0) content.append(chunk, count);
  FUZZ_CHECK(count == 0);
  // Closing after the last byte checks the CRC-32.
  FUZZ_CHECK(unzCloseCurrentFile(zip) == UNZ_OK);
  return content;
}

// Checks the staged archive and returns the names of its entries in order.
std::vector<std::string> CheckStaged(engine::test::MemoryFileSystem& game) {
  zlib_filefunc64_def functions = game.ZipFileFunctions();
  unzFile zip = unzOpen2_64(kStaged, &functions);
  FUZZ_CHECK(zip != nullptr);
  unz_global_info64 global{};
  FUZZ_CHECK(unzGetGlobalInfo64(zip, &global) == UNZ_OK);
  std::vector<std::string> names;
  std::size_t index = 0;
  std::set<std::string> forbidden = {kDropped};
  for (const auto& entry : kNewEntries) forbidden.insert(entry.first);
  int status = unzGoToFirstFile(zip);
  for (; status == UNZ_OK; status = unzGoToNextFile(zip), ++index) {
    char name[300];
    unz_file_info64 info{};
    FUZZ_CHECK(unzGetCurrentFileInfo64(zip, &info, name, sizeof name, nullptr, 0, nullptr, 0) ==
               UNZ_OK);
    const std::string entry(name, std::min<std::size_t>(info.size_filename, sizeof name - 1));
    names.push_back(entry);
    if (index < kNewEntries.size()) {
      FUZZ_CHECK(entry == kNewEntries[index].first);
      FUZZ_CHECK(ReadEntry(zip) == kNewEntries[index].second);
    } else {
      FUZZ_CHECK(!forbidden.contains(entry));
    }
  }
  FUZZ_CHECK(status == UNZ_END_OF_LIST_OF_FILE);
  FUZZ_CHECK(index >= kNewEntries.size());
  FUZZ_CHECK(global.number_entry == index);
  unzClose(zip);
  return names;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::vector<std::uint8_t> record = Record();
  engine::test::MemoryFileSystem game;
  game.AddFile("data/textures.zip", std::string(reinterpret_cast<const char*>(data), size));
  engine::CheckedFileSystem checked(game);
  fuzz::FuzzHost host(0xFF, 0);

  auto block = std::make_unique<std::uint8_t[]>(record.size());
  std::memcpy(block.get(), record.data(), record.size());
  payload::PatchStream stream(std::move(block), static_cast<std::uint32_t>(record.size()),
                              RefuseOverrun);
  engine::CommitList commit_list;
  engine::StagingProgress progress(host, {});
  try {
    engine::ArchiveMerge(stream, kArchive, commit_list, host, progress, checked);
  } catch (const engine::InstallError&) {
    FUZZ_CHECK(game.outside_paths.empty());
    return 0;
  }
  FUZZ_CHECK(stream.IsFullyConsumed());
  FUZZ_CHECK(commit_list == engine::CommitList{kArchive});
  const std::vector<std::string> entries = CheckStaged(game);

  const zlib_filefunc64_def functions = game.ZipFileFunctions();
  FUZZ_CHECK(engine::CompleteZip64End(functions, kStaged, entries.size()));
  const std::string completed = *game.Find(engine::test::MemoryFileSystem::Key(kStaged));
  FUZZ_CHECK(CheckStaged(game) == entries);
  FUZZ_CHECK(engine::CompleteZip64End(functions, kStaged, entries.size()));
  FUZZ_CHECK(*game.Find(engine::test::MemoryFileSystem::Key(kStaged)) == completed);
  return 0;
}
