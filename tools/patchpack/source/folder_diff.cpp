#include "tools/patchpack/source/folder_diff.h"

#include <algorithm>
#include <array>
#include <map>

#include "base/ascii.h"
#include "tools/patchpack/report/command_error.h"
#include "tools/patchpack/source/source_file.h"

namespace patchpack {
namespace {

namespace fs = std::filesystem;

using FileList = std::map<std::string, std::string>;  // folded path -> path as spelled

constexpr std::size_t kCompareBlock = 65536;

FileList ListFiles(const fs::path& root, const std::string& shown) {
  RequireFolder(root, shown);
  FileList files;
  std::error_code error;
  fs::recursive_directory_iterator it(root, error);
  for (; !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
    std::error_code kind_error;
    if (it->is_symlink(kind_error) || !it->is_regular_file(kind_error)) continue;
    std::string path = it->path().lexically_relative(root).generic_string();
    if (path.find('\\') != std::string::npos) {
      throw CommandError(shown + " file '" + path +
                         "' has a backslash in its name, which Windows reads as a separator");
    }
    std::string folded = base::ToLowerAscii(path);
    if (folded == "curver.txt") continue;
    auto [existing, inserted] = files.try_emplace(folded, path);
    if (!inserted) {
      throw CommandError(shown + " holds '" + existing->second + "' and '" + path +
                         "', which differ only in case");
    }
  }
  if (error)
    throw CommandError("cannot list " + shown + " folder " + root.string() + ": " +
                       error.message());
  return files;
}

// The installer writes every file before it deletes any, so one patch cannot
// turn a file into a folder of the same name or back.
void CheckKinds(const FileList& files, const FileList& other, const std::string& shown,
                const std::string& other_shown) {
  for (const auto& [folded, path] : files) {
    for (std::size_t slash = folded.find('/'); slash != std::string::npos;
         slash = folded.find('/', slash + 1)) {
      auto file = other.find(folded.substr(0, slash));
      if (file != other.end()) {
        throw CommandError("'" + file->second + "' is a file in " + other_shown +
                           " but a folder in " + shown + " (holding '" + path +
                           "'); one patch cannot make that change");
      }
    }
  }
}

bool SameBytes(const fs::path& a, const std::string& shown_a, const fs::path& b,
               const std::string& shown_b) {
  SourceFileReader in_a(a, shown_a);
  SourceFileReader in_b(b, shown_b);
  if (in_a.size() != in_b.size()) return false;
  std::vector<std::uint8_t> block_a(kCompareBlock);
  std::vector<std::uint8_t> block_b(kCompareBlock);
  for (std::uint64_t left = in_a.size(); left > 0;) {
    const std::size_t piece =
        static_cast<std::size_t>(std::min<std::uint64_t>(left, kCompareBlock));
    in_a.Read(std::span(block_a).first(piece));
    in_b.Read(std::span(block_b).first(piece));
    if (!std::equal(block_a.begin(), block_a.begin() + piece, block_b.begin())) return false;
    left -= piece;
  }
  return true;
}

std::uint64_t SizeOf(const fs::path& file) {
  std::error_code error;
  const std::uint64_t size = fs::file_size(file, error);
  return error ? 0 : size;
}

}  // namespace

FolderDiff DiffFolders(const fs::path& old_root, const fs::path& new_root,
                       ProgressReporter::Mode progress_mode, const FolderRoles& roles) {
  const std::string& old_shown = roles.old_folder;
  const std::string& new_shown = roles.new_folder;
  FileList old_files = ListFiles(old_root, old_shown);
  FileList new_files = ListFiles(new_root, new_shown);
  CheckKinds(new_files, old_files, new_shown, old_shown);
  CheckKinds(old_files, new_files, old_shown, new_shown);

  struct Pair {
    std::string old_path, new_path;
    std::uint64_t bytes;
  };
  std::vector<Pair> pairs;
  std::uint64_t total = 0;
  FolderDiff diff;
  for (const auto& [folded, new_path] : new_files) {
    auto old = old_files.find(folded);
    if (old == old_files.end()) {
      diff.changed.push_back({"", new_path});
      continue;
    }
    const std::uint64_t bytes = SizeOf(old_root / old->second) + SizeOf(new_root / new_path);
    pairs.push_back({old->second, new_path, bytes});
    total += bytes;
  }
  ProgressReporter progress("comparing", total, progress_mode);
  for (const Pair& pair : pairs) {
    if (!SameBytes(old_root / pair.old_path, old_shown + " " + pair.old_path,
                   new_root / pair.new_path, new_shown + " " + pair.new_path)) {
      diff.changed.push_back({pair.old_path, pair.new_path});
    }
    progress.Advance(pair.bytes);
  }
  progress.Finish();
  // In NEW's order, as the listing is, whatever the order of the comparisons.
  std::sort(diff.changed.begin(), diff.changed.end(),
            [](const ChangedFile& a, const ChangedFile& b) {
              return base::ToLowerAscii(a.new_path) < base::ToLowerAscii(b.new_path);
            });
  for (const auto& [folded, old_path] : old_files) {
    if (!new_files.contains(folded)) diff.deletions.push_back(old_path);
  }
  return diff;
}

}  // namespace patchpack
