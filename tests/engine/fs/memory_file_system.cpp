#include "tests/engine/fs/memory_file_system.h"

#include <algorithm>
#include <cstring>

#include "engine/fs/zip_function_table.h"

namespace engine::test {
namespace {

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

std::string Parent(const std::string& key) {
  const std::size_t slash = key.rfind('/');
  return slash == std::string::npos ? std::string() : key.substr(0, slash);
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
    owner.files[key].clear();
  } else if (owner.Find(key) == nullptr) {
    return nullptr;
  }
  return new ZipStream{&owner, key};
}

uLong ZCALLBACK ZipRead(voidpf, voidpf stream, void* buffer, uLong size) {
  ZipStream& zip = StreamOf(stream);
  const std::string* file = zip.owner->Find(zip.key);
  if (file == nullptr || zip.position > file->size()) {
    zip.failed = true;
    return 0;
  }
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
  }
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
  files[key].clear();
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

bool MemoryFileSystem::FlushToDisk(const std::string& path) { return Find(Key(path)) != nullptr; }

bool MemoryFileSystem::LinkFile(const std::string& existing, const std::string& link) {
  changes.push_back("LinkFile " + existing + " " + link);
  if (LeavesGameFolder(existing) || !MayCreate(link) || Exists(link)) {
    if (LeavesGameFolder(existing)) outside_paths.push_back(existing);
    return false;
  }
  const std::string* source = Find(Key(existing));
  if (source == nullptr) return false;
  files[Key(link)] = *source;
  return true;
}

bool MemoryFileSystem::RemoveFile(const std::string& path) {
  changes.push_back("RemoveFile " + path);
  if (LeavesGameFolder(path)) {
    outside_paths.push_back(path);
    return false;
  }
  return files.erase(Key(path)) + links.erase(Key(path)) > 0;
}

bool MemoryFileSystem::RenameReplacing(const std::string& from, const std::string& to) {
  changes.push_back("RenameReplacing " + from + " " + to);
  if (LeavesGameFolder(from) || !MayCreate(to)) {
    if (LeavesGameFolder(from)) outside_paths.push_back(from);
    return false;
  }
  if (const auto link = links.find(Key(from)); link != links.end()) {
    std::string points_to = std::move(link->second);
    links.erase(link);
    files.erase(Key(to));
    links[Key(to)] = std::move(points_to);
    return true;
  }
  const auto source = files.find(Key(from));
  if (source == files.end()) return false;
  std::string contents = std::move(source->second);
  files.erase(source);
  links.erase(Key(to));
  files[Key(to)] = std::move(contents);
  return true;
}

zlib_filefunc64_def MemoryFileSystem::ZipFileFunctions() {
  return ZipFunctionTable(ZipOpen, ZipRead, ZipWrite, ZipTell, ZipSeek, ZipClose, ZipError, this);
}

}  // namespace engine::test
