#include "tools/patchpack/source/archive_plan.h"

#include "base/ascii.h"
#include "tools/patchpack/commands/command_line.h"
#include "tools/patchpack/formats/zip_shape.h"
#include "tools/patchpack/source/source_rules.h"

namespace patchpack {
namespace {

// Under archives/, build takes the first folder whose name has an extension
// for the archive, so the archive's name needs one and a folder above it
// must have none.
bool FitsUnderArchives(const std::string& path) {
  std::size_t start = 0;
  for (std::size_t slash = path.find('/'); slash != std::string::npos;
       slash = path.find('/', start)) {
    if (NamesArchive(path.substr(start, slash - start))) return false;
    start = slash + 1;
  }
  return NamesArchive(path.substr(start));
}

}  // namespace

bool MatchesWholePattern(std::string_view pattern, std::string_view path) {
  if (pattern.empty()) return path.empty();
  if (pattern.front() == '*') {
    for (std::size_t skip = 0; skip <= path.size(); ++skip) {
      if (MatchesWholePattern(pattern.substr(1), path.substr(skip))) return true;
      if (skip < path.size() && path[skip] == '/') return false;
    }
    return false;
  }
  if (path.empty()) return false;
  if (pattern.front() == '?'
          ? path.front() == '/'
          : base::ToLowerAscii(pattern.front()) != base::ToLowerAscii(path.front())) {
    return false;
  }
  return MatchesWholePattern(pattern.substr(1), path.substr(1));
}

namespace {

FilePlan Whole(const std::string& why) {
  return {.kind = FilePlan::Kind::Whole, .diff = {}, .why_whole = why};
}

}  // namespace

FilePlan PlanChangedFile(const std::filesystem::path& old_root,
                         const std::filesystem::path& new_root, const ChangedFile& file,
                         const std::vector<std::string>& keep_whole) {
  if (file.old_path.empty()) return {};
  const ZipShape old_shape = ShapeOfFile(old_root / file.old_path);
  const ZipShape new_shape = ShapeOfFile(new_root / file.new_path);
  // A zip in OLD that NEW holds as anything else is taken as a damaged new
  // archive: the comparison then names what is wrong with it.
  if (new_shape == ZipShape::NotZip && old_shape != ZipShape::Zip) return {};
  for (const std::string& pattern : keep_whole) {
    if (MatchesWholePattern(pattern, file.new_path))
      return Whole("kept whole by --whole " + pattern);
  }
  if (new_shape == ZipShape::Split) {
    return Whole("NEW's copy is one part of an archive split over several files");
  }
  if (new_shape == ZipShape::Embedded) {
    return Whole(
        "NEW's copy has other data before the archive, which the installer's rewrite "
        "would not keep");
  }
  if (!FitsUnderArchives(file.new_path)) {
    return Whole(
        "a patch source needs an extension on the archive's name and none on the "
        "folders above it");
  }
  ArchiveDiffOutcome outcome =
      DiffArchives(old_root / file.old_path, new_root / file.new_path, file.new_path);
  if (!outcome.diff) return Whole(outcome.why_whole);
  return {.kind = FilePlan::Kind::ByEntry, .diff = std::move(*outcome.diff), .why_whole = ""};
}

}  // namespace patchpack
