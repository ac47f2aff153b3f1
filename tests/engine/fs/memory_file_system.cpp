#include "tests/engine/fs/memory_file_system.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "engine/fs/zip_function_table.h"

namespace engine::test {
namespace {

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

std::string Parent(const std::string& key) {
  const std::size_t slash = key.rfind('/');
  return slash == std::string::npos ? std::string() : key.substr(0, slash);
}

// Whether `key` stands directly in `folder`, without building its parent:
// flushing a folder asks this of every name in the game, and a fuzzed patch
// may make hundreds.
bool IsIn(std::string_view key, std::string_view folder) {
  const std::size_t slash = key.rfind('/');
  return slash == std::string_view::npos ? folder.empty() : key.substr(0, slash) == folder;
}

class MemoryWritableFile final : public WritableFile {
 public:
  MemoryWritableFile(MemoryFileSystem& owner, std::string key)
      : owner_(owner), key_(std::move(key)) {}

  bool Write(std::span<const std::uint8_t> data) override {
    std::string* file = owner_.Find(key_);
    if (file == nullptr) return false;
    file->append(reinterpret_cast<const char*>(data.data()), data.size());
    return true;
  }
  bool Close() override { return owner_.Find(key_) != nullptr; }

 private:
  MemoryFileSystem& owner_;
  std::string key_;
};

// An open archive stream: the file is looked up by key on every call, so a
// stream whose file was removed fails instead of reaching freed memory.
struct ZipStream {
  MemoryFileSystem* owner;
  std::string key;
  std::uint64_t position = 0;
  bool failed = false;
};

MemoryFileSystem& OwnerOf(voidpf opaque) { return *static_cast<MemoryFileSystem*>(opaque); }
ZipStream& StreamOf(voidpf stream) { return *static_cast<ZipStream*>(stream); }

voidpf ZCALLBACK ZipOpen(voidpf opaque, const void* filename, int mode) {
  MemoryFileSystem& owner = OwnerOf(opaque);
  const std::string path = static_cast<const char*>(filename);
  const std::string key = MemoryFileSystem::Key(path);
  if ((mode & ZLIB_FILEFUNC_MODE_CREATE) != 0) {
    owner.changes.push_back("ZipCreate " + path);
    if (!owner.MayCreate(path)) return nullptr;
    owner.links.erase(key);
    owner.CreateEmpty(key);
  } else if (owner.Find(key) == nullptr) {
    return nullptr;
  }
  return new ZipStream{&owner, key};
}

uLong ZCALLBACK ZipRead(voidpf, voidpf stream, void* buffer, uLong size) {
  ZipStream& zip = StreamOf(stream);
  const std::string* file = zip.owner->Find(zip.key);
  if (file == nullptr) {
    zip.failed = true;
    return 0;
  }
  // Like a real file, past the end there is nothing to read, which is no
  // error.
  if (zip.position >= file->size()) return 0;
  const uLong count =
      static_cast<uLong>(std::min<std::uint64_t>(size, file->size() - zip.position));
  std::memcpy(buffer, file->data() + zip.position, count);
  zip.position += count;
  return count;
}

uLong ZCALLBACK ZipWrite(voidpf, voidpf stream, const void* buffer, uLong size) {
  ZipStream& zip = StreamOf(stream);
  std::string* file = zip.owner->Find(zip.key);
  if (file == nullptr) {
    zip.failed = true;
    return 0;
  }
  if (file->size() < zip.position + size) file->resize(zip.position + size);
  std::memcpy(file->data() + zip.position, buffer, size);
  zip.position += size;
  return size;
}

ZPOS64_T ZCALLBACK ZipTell(voidpf, voidpf stream) { return StreamOf(stream).position; }

long ZCALLBACK ZipSeek(voidpf, voidpf stream, ZPOS64_T offset, int origin) {
  ZipStream& zip = StreamOf(stream);
  const std::string* file = zip.owner->Find(zip.key);
  if (file == nullptr) return -1;
  std::uint64_t base = 0;
  if (origin == ZLIB_FILEFUNC_SEEK_CUR) base = zip.position;
  if (origin == ZLIB_FILEFUNC_SEEK_END) base = file->size();
  // Like a real file, a position past the end is allowed; before the start
  // (an offset that wraps) is not.
  if (offset > UINT64_MAX - base) return -1;
  zip.position = base + offset;
  return 0;
}

int ZCALLBACK ZipClose(voidpf, voidpf stream) {
  delete &StreamOf(stream);
  return 0;
}

int ZCALLBACK ZipError(voidpf, voidpf stream) { return StreamOf(stream).failed ? 1 : 0; }

}  // namespace

std::string MemoryFileSystem::Key(const std::string& path) {
  std::string key;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find_first_of("\\/", start);
    if (end == std::string::npos) end = path.size();
    const std::string part = path.substr(start, end - start);
    if (!part.empty() && part != ".") {
      if (!key.empty()) key += '/';
      std::transform(part.begin(), part.end(), std::back_inserter(key), Lower);
    }
    start = end + 1;
  }
  return key;
}

bool MemoryFileSystem::LeavesGameFolder(const std::string& path) {
  if (path.empty() || path[0] == '\\' || path[0] == '/') return true;
  if (path.find(':') != std::string::npos) return true;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find_first_of("\\/", start);
    if (end == std::string::npos) end = path.size();
    if (path.compare(start, end - start, "..") == 0) return true;
    start = end + 1;
  }
  return false;
}

void MemoryFileSystem::AddFile(const std::string& path, std::string contents) {
  const std::string key = Key(path);
  for (std::string folder = Parent(key); !folder.empty(); folder = Parent(folder)) {
    directories.insert(folder);
    durable_directories_.insert(folder);
  }
  const FileId file = ++next_file_id_;
  file_ids_[key] = file;
  durable_files_[key] = file;
  flushed_contents_[file] = contents;
  files[key] = std::move(contents);
}

void MemoryFileSystem::AddLink(const std::string& path, std::string points_to) {
  const std::string key = Key(path);
  for (std::string folder = Parent(key); !folder.empty(); folder = Parent(folder)) {
    directories.insert(folder);
  }
  files.erase(key);
  links[key] = std::move(points_to);
}

std::string* MemoryFileSystem::Find(const std::string& key) {
  const auto found = files.find(key);
  return found == files.end() ? nullptr : &found->second;
}

bool MemoryFileSystem::MayCreate(const std::string& path) {
  if (LeavesGameFolder(path)) {
    outside_paths.push_back(path);
    return false;
  }
  const std::string key = Key(path);
  const std::string parent = Parent(key);
  return !key.empty() && !directories.contains(key) &&
         (parent.empty() || directories.contains(parent));
}

bool MemoryFileSystem::MakeDirectory(const std::string& path) {
  changes.push_back("MakeDirectory " + path);
  if (!MayCreate(path)) return false;
  const std::string key = Key(path);
  if (files.contains(key) || links.contains(key)) return false;
  return directories.insert(key).second;
}

std::unique_ptr<WritableFile> MemoryFileSystem::OpenForWriting(const std::string& path) {
  changes.push_back("OpenForWriting " + path);
  if (!MayCreate(path)) return nullptr;
  const std::string key = Key(path);
  links.erase(key);
  CreateEmpty(key);
  return std::make_unique<MemoryWritableFile>(*this, key);
}

std::optional<std::string> MemoryFileSystem::ReadWholeFile(const std::string& path) {
  const std::string* file = Find(Key(path));
  if (file == nullptr) return std::nullopt;
  return *file;
}

bool MemoryFileSystem::Exists(const std::string& path) {
  const std::string key = Key(path);
  return files.contains(key) || directories.contains(key) || links.contains(key);
}

std::optional<std::uint64_t> MemoryFileSystem::FileSize(const std::string& path) {
  const std::string* file = Find(Key(path));
  if (file == nullptr) return std::nullopt;
  return file->size();
}

TargetState MemoryFileSystem::ProbeTarget(const std::string& path) {
  if (LeavesGameFolder(path)) return TargetState::kBlocked;
  const std::string key = Key(path);
  if (key.empty() || directories.contains(key)) return TargetState::kBlocked;
  return files.contains(key) || links.contains(key) ? TargetState::kReplaceable
                                                    : TargetState::kMissing;
}

bool MemoryFileSystem::FlushToDisk(const std::string& path) {
  const std::string key = Key(path);
  const std::string* file = Find(key);
  if (file == nullptr) return false;
  flushed_contents_[file_ids_.at(key)] = *file;
  return true;
}

bool MemoryFileSystem::FlushFolderOf(const std::string& path) {
  if (LeavesGameFolder(path)) return false;
  const std::string folder = Parent(Key(path));
  if (!folder.empty() && !directories.contains(folder)) return false;
  MakeNamesDurable(folder);
  return true;
}

bool MemoryFileSystem::LinkFile(const std::string& existing, const std::string& link) {
  changes.push_back("LinkFile " + existing + " " + link);
  if (LeavesGameFolder(existing) || !MayCreate(link) || Exists(link)) {
    if (LeavesGameFolder(existing)) outside_paths.push_back(existing);
    return false;
  }
  const std::string* source = Find(Key(existing));
  if (source == nullptr) return false;
  files[Key(link)] = *source;
  file_ids_[Key(link)] = file_ids_.at(Key(existing));
  if (between_change_and_flush) between_change_and_flush();
  MakeNamesDurable(Parent(Key(link)));
  return true;
}

bool MemoryFileSystem::RemoveFile(const std::string& path) {
  changes.push_back("RemoveFile " + path);
  if (LeavesGameFolder(path)) {
    outside_paths.push_back(path);
    return false;
  }
  const std::string key = Key(path);
  if (links.erase(key) > 0) return true;
  if (!files.contains(key)) return false;
  ForgetName(key);
  files.erase(key);
  return true;
}

bool MemoryFileSystem::RenameReplacing(const std::string& from, const std::string& to) {
  changes.push_back("RenameReplacing " + from + " " + to);
  if (LeavesGameFolder(from) || !MayCreate(to)) {
    if (LeavesGameFolder(from)) outside_paths.push_back(from);
    return false;
  }
  const std::string from_key = Key(from);
  const std::string to_key = Key(to);
  // A link moves as itself; links are not part of the power-cut model.
  if (const auto link = links.find(from_key); link != links.end()) {
    std::string points_to = std::move(link->second);
    links.erase(link);
    if (files.contains(to_key)) {
      ForgetName(to_key);
      files.erase(to_key);
    }
    links[to_key] = std::move(points_to);
    return true;
  }
  const auto source = files.find(from_key);
  if (source == files.end()) return false;
  std::string contents = std::move(source->second);
  files.erase(source);
  const FileId file = file_ids_.at(from_key);
  file_ids_.erase(from_key);
  if (files.contains(to_key)) ForgetName(to_key);
  links.erase(to_key);
  files[to_key] = std::move(contents);
  file_ids_[to_key] = file;
  const std::string from_group = RenameGroup(from_key);
  const std::string to_group = RenameGroup(to_key);
  if (from_group != to_group) renamed_with_[from_group] = to_group;
  if (between_change_and_flush) between_change_and_flush();
  MakeNamesDurable(Parent(to_key));
  return true;
}

zlib_filefunc64_def MemoryFileSystem::ZipFileFunctions() {
  return ZipFunctionTable(ZipOpen, ZipRead, ZipWrite, ZipTell, ZipSeek, ZipClose, ZipError, this);
}

}  // namespace engine::test

namespace engine::test {

// ---- What a power cut keeps ----

void MemoryFileSystem::CreateEmpty(const std::string& key) {
  if (files.contains(key)) ForgetName(key);
  files[key].clear();
  file_ids_[key] = ++next_file_id_;
}

void MemoryFileSystem::ForgetName(const std::string& key) {
  const FileId file = file_ids_.at(key);
  file_ids_.erase(key);
  const bool named_elsewhere = std::any_of(file_ids_.begin(), file_ids_.end(),
                                           [&](const auto& name) { return name.second == file; });
  if (!named_elsewhere) unnamed_contents_[file] = files.at(key);
}

std::string MemoryFileSystem::WrittenContents(FileId file) const {
  for (const auto& [key, id] : file_ids_) {
    if (id == file) return files.at(key);
  }
  if (const auto kept = unnamed_contents_.find(file); kept != unnamed_contents_.end()) {
    return kept->second;
  }
  const auto flushed = flushed_contents_.find(file);
  return flushed == flushed_contents_.end() ? std::string() : flushed->second;
}

std::string MemoryFileSystem::RenameGroup(const std::string& key) const {
  std::string group = key;
  for (auto next = renamed_with_.find(group); next != renamed_with_.end();
       next = renamed_with_.find(group)) {
    group = next->second;
  }
  return group;
}

void MemoryFileSystem::MakeNamesDurable(const std::string& folder) {
  // A group with a name here is settled now; the renames only ever tie
  // names of one folder.
  std::erase_if(renamed_with_, [&](const auto& tie) {
    return IsIn(tie.first, folder) || IsIn(tie.second, folder);
  });
  std::erase_if(durable_files_, [&](const auto& name) { return IsIn(name.first, folder); });
  std::erase_if(durable_directories_, [&](const std::string& key) { return IsIn(key, folder); });
  for (const auto& [key, file] : file_ids_) {
    if (IsIn(key, folder)) durable_files_[key] = file;
  }
  for (const std::string& key : directories) {
    if (IsIn(key, folder)) durable_directories_.insert(key);
  }
}

void MemoryFileSystem::CutPower(Cut cut, std::mt19937& random) {
  const auto keep_written = [&] {
    return cut == Cut::kKeepEverything || (cut == Cut::kRandom && random() % 2 == 1);
  };
  std::map<std::string, bool> group_kept;
  const auto keep_written_name = [&](const std::string& key) {
    const auto [choice, first] = group_kept.try_emplace(RenameGroup(key), false);
    if (first) choice->second = keep_written();
    return choice->second;
  };

  // Folders first, parents before children (a parent's key sorts before its
  // children's): a folder that the cut loses takes everything in it along.
  std::set<std::string> folders;
  std::set<std::string> all_folders = directories;
  all_folders.insert(durable_directories_.begin(), durable_directories_.end());
  for (const std::string& key : all_folders) {
    const bool written = directories.contains(key);
    const bool durable = durable_directories_.contains(key);
    const bool kept = written == durable ? written : (keep_written() ? written : durable);
    const std::string parent = Parent(key);
    if (kept && (parent.empty() || folders.contains(parent))) folders.insert(key);
  }

  std::map<std::string, FileId> names;
  std::set<std::string> all_names;
  for (const auto& [key, file] : file_ids_) all_names.insert(key);
  for (const auto& [key, file] : durable_files_) all_names.insert(key);
  for (const std::string& key : all_names) {
    std::optional<FileId> written;
    std::optional<FileId> durable;
    if (const auto found = file_ids_.find(key); found != file_ids_.end()) written = found->second;
    if (const auto found = durable_files_.find(key); found != durable_files_.end()) {
      durable = found->second;
    }
    const std::optional<FileId> kept =
        written == durable ? written : (keep_written_name(key) ? written : durable);
    const std::string parent = Parent(key);
    if (kept && (parent.empty() || folders.contains(parent))) names[key] = *kept;
  }

  // Each file's contents are settled once, whichever of its names survive.
  std::map<FileId, std::string> contents;
  for (const auto& [key, file] : names) {
    if (contents.contains(file)) continue;
    const auto flushed = flushed_contents_.find(file);
    const std::string on_disk = flushed == flushed_contents_.end() ? "" : flushed->second;
    const std::string written = WrittenContents(file);
    std::string& kept = contents[file];
    if (written == on_disk || cut == Cut::kKeepNothing) {
      kept = on_disk;
    } else if (cut == Cut::kKeepEverything) {
      kept = written;
    } else {
      switch (random() % 3) {
        case 0:
          kept = on_disk;
          break;
        case 1:
          kept = written;
          break;
        default:
          kept = written.substr(0, random() % (written.size() + 1));
      }
    }
  }

  files.clear();
  for (const auto& [key, file] : names) files[key] = contents.at(file);
  directories = folders;
  file_ids_ = names;
  durable_files_ = names;
  durable_directories_ = folders;
  flushed_contents_ = std::move(contents);
  unnamed_contents_.clear();
  renamed_with_.clear();
}

}  // namespace engine::test
