#include "fs/faulty_file_system.h"

namespace engine::test {
namespace {

class FaultyWritableFile final : public WritableFile {
 public:
  FaultyWritableFile(std::unique_ptr<WritableFile> base, FaultyFileSystem& owner, std::string path)
      : base_(std::move(base)), owner_(owner), path_(std::move(path)) {}

  bool Write(std::span<const std::uint8_t> data) override {
    if (owner_.Fails("Write " + path_)) return false;
    return base_->Write(data);
  }

  bool Close() override {
    // A failing close still closes, as a real one does.
    const bool fails = owner_.Fails("Close " + path_);
    return base_->Close() && !fails;
  }

 private:
  std::unique_ptr<WritableFile> base_;
  FaultyFileSystem& owner_;
  std::string path_;
};

}  // namespace

bool FaultyFileSystem::Fails(const std::string& call) {
  if (before_call) before_call(call);
  calls.push_back(call);
  if (!fail_call.empty() && call == fail_call) {
    fail_call.clear();
    return true;
  }
  return static_cast<int>(calls.size()) == fail_at;
}

bool FaultyFileSystem::MakeDirectory(const std::string& path) {
  return !Fails("MakeDirectory " + path) && base().MakeDirectory(path);
}

std::unique_ptr<WritableFile> FaultyFileSystem::OpenForWriting(const std::string& path) {
  if (Fails("OpenForWriting " + path)) return nullptr;
  std::unique_ptr<WritableFile> file = base().OpenForWriting(path);
  if (!file) return nullptr;
  return std::make_unique<FaultyWritableFile>(std::move(file), *this, path);
}

std::optional<std::string> FaultyFileSystem::ReadWholeFile(const std::string& path) {
  if (Fails("ReadWholeFile " + path)) return std::nullopt;
  return base().ReadWholeFile(path);
}

bool FaultyFileSystem::Exists(const std::string& path) {
  // A failed probe cannot tell; it answers what a missing file would.
  return !Fails("Exists " + path) && base().Exists(path);
}

std::optional<std::uint64_t> FaultyFileSystem::FileSize(const std::string& path) {
  if (Fails("FileSize " + path)) return std::nullopt;
  return base().FileSize(path);
}

std::optional<VolumeSpace> FaultyFileSystem::FreeSpace() {
  if (Fails("FreeSpace")) return std::nullopt;
  return base().FreeSpace();
}

TargetState FaultyFileSystem::ProbeTarget(const std::string& path) {
  // A probe that fails cannot tell, which is what kBlocked also means.
  if (Fails("ProbeTarget " + path)) return TargetState::kBlocked;
  return base().ProbeTarget(path);
}

bool FaultyFileSystem::LinkFile(const std::string& existing, const std::string& link) {
  return !Fails("LinkFile " + link) && base().LinkFile(existing, link);
}

bool FaultyFileSystem::FlushToDisk(const std::string& path) {
  return !Fails("FlushToDisk " + path) && base().FlushToDisk(path);
}

bool FaultyFileSystem::FlushFolderOf(const std::string& path) {
  return !Fails("FlushFolderOf " + path) && base().FlushFolderOf(path);
}

bool FaultyFileSystem::RemoveFile(const std::string& path) {
  return !Fails("RemoveFile " + path) && base().RemoveFile(path);
}

bool FaultyFileSystem::RenameReplacing(const std::string& from, const std::string& to) {
  return !Fails("RenameReplacing " + to) && base().RenameReplacing(from, to);
}

voidpf FaultyFileSystem::ZipOpen(const char* name, int mode) {
  if (Fails(std::string("ZipOpen ") + name)) return nullptr;
  voidpf stream = ForwardingFileSystem::ZipOpen(name, mode);
  if (stream != nullptr) open_archives_[stream] = name;
  return stream;
}

uLong FaultyFileSystem::ZipRead(voidpf stream, void* buffer, uLong size) {
  if (Fails("ZipRead " + open_archives_[stream])) {
    streams_in_error_.insert(stream);
    return 0;
  }
  return ForwardingFileSystem::ZipRead(stream, buffer, size);
}

uLong FaultyFileSystem::ZipWrite(voidpf stream, const void* buffer, uLong size) {
  if (Fails("ZipWrite " + open_archives_[stream])) {
    streams_in_error_.insert(stream);
    return 0;
  }
  return ForwardingFileSystem::ZipWrite(stream, buffer, size);
}

ZPOS64_T FaultyFileSystem::ZipTell(voidpf stream) {
  if (Fails("ZipTell " + open_archives_[stream])) return static_cast<ZPOS64_T>(-1);
  return ForwardingFileSystem::ZipTell(stream);
}

long FaultyFileSystem::ZipSeek(voidpf stream, ZPOS64_T offset, int origin) {
  if (Fails("ZipSeek " + open_archives_[stream])) return -1;
  return ForwardingFileSystem::ZipSeek(stream, offset, origin);
}

int FaultyFileSystem::ZipClose(voidpf stream) {
  const bool fails = Fails("ZipClose " + open_archives_[stream]);
  open_archives_.erase(stream);
  streams_in_error_.erase(stream);
  const int result = ForwardingFileSystem::ZipClose(stream);
  return fails ? -1 : result;
}

int FaultyFileSystem::ZipError(voidpf stream) {
  if (Fails("ZipError " + open_archives_[stream])) return 1;
  if (streams_in_error_.contains(stream)) return 1;
  return ForwardingFileSystem::ZipError(stream);
}

}  // namespace engine::test
