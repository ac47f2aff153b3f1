#include "bench/reference_game.h"

#include <minizip/unzip.h>
#include <minizip/zip.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>

#include <unistd.h>

namespace bench {
namespace {

namespace fs = std::filesystem;
using payload::Bytes;

// The shipped stream: one loose file of this size and 4, 2, 54 and 13 new
// entries, 536 deletions, 20,182,023 bytes in all.
constexpr std::uint64_t kExecutableSize = 18'463'232;
constexpr std::uint64_t kNewEntryBytes = 1'700'000;
constexpr int kDeletions = 536;
constexpr char kStampText[] = "install_bench reference game 1, scale ";

[[noreturn]] void Fail(const std::string& message) {
  std::fprintf(stderr, "install_bench: %s\n", message.c_str());
  std::exit(1);
}

// The bytes of the regular files under some folders of this machine, in
// path order, started again from the first when they run out.
class MachineBytes {
 public:
  explicit MachineBytes(const std::vector<fs::path>& roots) {
    for (const fs::path& root : roots) Walk(root);
    if (files_.empty()) Fail("no files to take bytes from");
  }

  Bytes Take(std::size_t size) {
    Bytes bytes(size);
    for (std::size_t done = 0; done < size;) {
      if (!in_.is_open() || in_.peek() == std::ifstream::traits_type::eof()) {
        in_.close();
        in_.clear();
        in_.open(files_[next_++ % files_.size()], std::ios::binary);
        continue;
      }
      in_.read(reinterpret_cast<char*>(bytes.data() + done), static_cast<long>(size - done));
      done += static_cast<std::size_t>(in_.gcount());
    }
    return bytes;
  }

 private:
  void Walk(const fs::path& folder) {
    std::vector<fs::directory_entry> entries;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error)) entries.push_back(entry);
    std::sort(entries.begin(), entries.end());
    for (const auto& entry : entries) {
      if (entry.is_symlink(error)) continue;
      if (entry.is_directory(error)) {
        Walk(entry.path());
      } else if (entry.is_regular_file(error) && entry.file_size(error) > 0 &&
                 access(entry.path().c_str(), R_OK) == 0) {
        files_.push_back(entry.path());
      }
    }
  }

  std::vector<fs::path> files_;
  std::size_t next_ = 0;
  std::ifstream in_;
};

Bytes RawDeflate(const Bytes& input, int level) {
  z_stream stream{};
  if (deflateInit2(&stream, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
    Fail("deflateInit2");
  }
  Bytes output(deflateBound(&stream, input.size()));
  stream.next_in = const_cast<Bytef*>(input.data());
  stream.avail_in = static_cast<uInt>(input.size());
  stream.next_out = output.data();
  stream.avail_out = static_cast<uInt>(output.size());
  if (deflate(&stream, Z_FINISH) != Z_STREAM_END) Fail("deflate");
  output.resize(stream.total_out);
  deflateEnd(&stream);
  return output;
}

std::string EntryName(const ArchiveShape& archive, int index) {
  char name[64];
  std::snprintf(name, sizeof name, "%s/%05d.dat", fs::path(archive.path).stem().c_str(), index);
  return name;
}

// The old entries the patch replaces, spread over the archive.
int ReplacedIndex(const ArchiveShape& archive, int i) {
  return i * (archive.entries / archive.new_entries);
}

void WriteFile(const fs::path& path, const Bytes& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<long>(bytes.size()));
  if (!out) Fail("cannot write " + path.string());
}

// Deflated entries whose sizes follow the compression so far, so that the
// archive comes out near its size.
void MakeArchive(const fs::path& path, const ArchiveShape& shape, MachineBytes& source) {
  fs::create_directories(path.parent_path());
  zipFile zip = zipOpen64(path.c_str(), APPEND_STATUS_CREATE);
  if (zip == nullptr) Fail("cannot create " + path.string());
  std::uint64_t raw_total = 0, packed_total = 0;
  for (int i = 0; i < shape.entries; ++i) {
    const double ratio = packed_total == 0 ? 2.0 : double(raw_total) / double(packed_total);
    const double packed_goal =
        double(shape.bytes > packed_total ? shape.bytes - packed_total : 0) / (shape.entries - i);
    // Sizes vary around the goal, as game data does.
    const double spread = 0.25 + 1.5 * ((i * 7919) % 1000) / 1000.0;
    const auto size = static_cast<std::size_t>(std::max(64.0, packed_goal * ratio * spread));
    const Bytes content = source.Take(size);
    const Bytes packed = RawDeflate(content, 1);
    const std::string name = EntryName(shape, i);
    if (zipOpenNewFileInZip2_64(zip, name.c_str(), nullptr, nullptr, 0, nullptr, 0, nullptr,
                                Z_DEFLATED, 1, 1, 0) != ZIP_OK ||
        zipWriteInFileInZip(zip, packed.data(), static_cast<unsigned>(packed.size())) != ZIP_OK ||
        zipCloseFileInZipRaw64(zip, content.size(), crc32_z(0, content.data(), content.size())) !=
            ZIP_OK) {
      Fail("cannot add " + name);
    }
    raw_total += content.size();
    packed_total += packed.size();
  }
  if (zipClose(zip, nullptr) != ZIP_OK) Fail("cannot finish " + path.string());
}

struct ListedEntry {
  std::string name;
  std::uint32_t crc;
  std::uint64_t compressed;
  std::uint64_t size;
  bool operator==(const ListedEntry&) const = default;
};

std::vector<ListedEntry> ListArchive(const fs::path& path) {
  std::vector<ListedEntry> entries;
  unzFile zip = unzOpen64(path.c_str());
  if (zip == nullptr) return entries;
  for (int status = unzGoToFirstFile(zip); status == UNZ_OK; status = unzGoToNextFile(zip)) {
    unz_file_info64 info{};
    char name[512];
    unzGetCurrentFileInfo64(zip, &info, name, sizeof name, nullptr, 0, nullptr, 0);
    entries.push_back(
        {name, static_cast<std::uint32_t>(info.crc), info.compressed_size, info.uncompressed_size});
  }
  unzClose(zip);
  return entries;
}

Bytes ReadEntry(const fs::path& archive, const std::string& name) {
  Bytes bytes;
  unzFile zip = unzOpen64(archive.c_str());
  if (zip == nullptr) return bytes;
  if (unzLocateFile(zip, name.c_str(), 1) == UNZ_OK && unzOpenCurrentFile(zip) == UNZ_OK) {
    std::uint8_t chunk[65536];
    for (int got; (got = unzReadCurrentFile(zip, chunk, sizeof chunk)) > 0;) {
      bytes.insert(bytes.end(), chunk, chunk + got);
    }
    unzCloseCurrentFile(zip);
  }
  unzClose(zip);
  return bytes;
}

Bytes ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

std::string Backslashed(std::string path) {
  std::replace(path.begin(), path.end(), '/', '\\');
  return path;
}

}  // namespace

ReferenceGame MakeReferenceGame(const fs::path& dir, double scale) {
  ReferenceGame game;
  const auto scaled = [&](double value) { return std::max<double>(1, value * scale); };
  const ArchiveShape full[] = {{"data/common.zip", 44'000'000, 1500, 4},
                               {"data/maps.zip", 90'000'000, 900, 2},
                               {"data/sounds.zip", 23'000'000, 2500, 54},
                               {"data/textures.zip", 596'000'000, 20000, 13}};
  for (const ArchiveShape& shape : full) {
    game.archives.push_back({shape.path, static_cast<std::uint64_t>(scaled(double(shape.bytes))),
                             std::max(shape.new_entries * 2, int(scaled(shape.entries))),
                             shape.new_entries});
  }

  // The patch: its own bytes, whether or not the game is made again.
  MachineBytes code({"/usr/lib/x86_64-linux-gnu"});
  MachineBytes text({"/usr/share/doc", "/usr/share/man"});
  payload::PatchDescription& patch = game.patch;
  patch.version = 14;
  patch.loose_files.push_back({"sv.exe", code.Take(std::size_t(scaled(double(kExecutableSize))))});
  const auto entry_size = std::size_t(scaled(double(kNewEntryBytes) / 73));
  for (const ArchiveShape& shape : game.archives) {
    payload::ArchiveRecord record{Backslashed(shape.path), {}, {}};
    for (int i = 0; i < shape.new_entries; ++i) {
      record.new_entries.push_back({EntryName(shape, ReplacedIndex(shape, i)),
                                    i % 2 == 0 ? text.Take(entry_size) : code.Take(entry_size)});
    }
    patch.archives.push_back(std::move(record));
  }
  for (int i = 0; i < kDeletions; ++i) {
    patch.deletions.push_back("old\\obsolete_" + std::to_string(i) + ".bin");
  }
  game.loose_file_copy = dir / "sv.exe.new";

  const std::string stamp = kStampText + std::to_string(scale);
  if (fs::exists(dir / "stamp")) {
    const Bytes found = ReadFile(dir / "stamp");
    if (std::string(found.begin(), found.end()) == stamp) return game;
  }
  std::printf("Making the reference game and patch in %s (once per scale)...\n", dir.c_str());
  std::fflush(stdout);
  fs::remove_all(dir);
  const fs::path folder = dir / "game";
  MachineBytes data({"/usr/lib", "/usr/share"});
  for (const ArchiveShape& shape : game.archives) MakeArchive(folder / shape.path, shape, data);
  WriteFile(folder / "sv.exe", code.Take(patch.loose_files[0].content.size()));
  WriteFile(folder / "data/game.ini", Bytes{'[', 'g', ']', '\n'});
  const std::string version = "13\r\nonline";
  WriteFile(folder / "curver.txt", Bytes(version.begin(), version.end()));
  for (int i = 0; i < kDeletions; ++i) {
    WriteFile(folder / ("old/obsolete_" + std::to_string(i) + ".bin"), text.Take(4096));
  }

  const Bytes stream = payload::BuildPatchStream(patch);
  payload::EncodeOptions options;
  options.x86_filter = true;
  const Bytes payload = payload::BuildPayload(stream, options);
  WriteFile(dir / "payload.bin", payload);
  WriteFile(dir / "payload.raw", Bytes(payload.begin() + 14, payload.end() - 20));
  WriteFile(dir / "stream.bin", stream);
  WriteFile(game.loose_file_copy, patch.loose_files[0].content);
  WriteFile(dir / "stamp", Bytes(stamp.begin(), stamp.end()));
  return game;
}

std::string CheckInstalled(const fs::path& original, const fs::path& installed,
                           const ReferenceGame& game) {
  for (std::size_t a = 0; a < game.archives.size(); ++a) {
    const fs::path path = game.archives[a].path;
    const payload::ArchiveRecord& record = game.patch.archives[a];
    std::vector<ListedEntry> expected;
    std::set<std::string> replaced;
    for (const payload::FileEntry& entry : record.new_entries) {
      expected.push_back(
          {entry.name,
           static_cast<std::uint32_t>(crc32_z(0, entry.content.data(), entry.content.size())), 0,
           entry.content.size()});
      replaced.insert(entry.name);
    }
    for (const ListedEntry& old : ListArchive(original / path)) {
      if (!replaced.contains(old.name)) expected.push_back(old);
    }
    std::vector<ListedEntry> found = ListArchive(installed / path);
    // The new entries' compressed sizes are the merge's own.
    for (std::size_t i = 0; i < record.new_entries.size() && i < found.size(); ++i) {
      found[i].compressed = 0;
    }
    if (found != expected) return path.string() + ": the entries differ";
    for (const payload::FileEntry& entry : record.new_entries) {
      if (ReadEntry(installed / path, entry.name) != entry.content) {
        return path.string() + ": new entry " + entry.name + " has other bytes";
      }
    }
  }
  for (const payload::FileEntry& file : game.patch.loose_files) {
    std::string path = file.name;
    std::replace(path.begin(), path.end(), '\\', '/');
    if (ReadFile(installed / path) != file.content) {
      return file.name + " has other bytes";
    }
  }
  for (const std::string& deleted : game.patch.deletions) {
    std::string path = deleted;
    std::replace(path.begin(), path.end(), '\\', '/');
    if (fs::exists(installed / path)) return path + " was not deleted";
  }
  const Bytes version = ReadFile(installed / "curver.txt");
  if (std::string(version.begin(), version.end()) != "14\r\nonline") return "curver.txt is wrong";
  for (const auto& entry : fs::recursive_directory_iterator(installed)) {
    if (entry.path().extension() == ".updtmp") return entry.path().string() + " is left";
  }
  return "";
}

}  // namespace bench
