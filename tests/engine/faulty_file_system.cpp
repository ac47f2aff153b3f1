#include "faulty_file_system.h"

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

// The archive layer: `opaque` is the FaultyFileSystem, whose Fails decides
// and whose base table does the work. A failed read or write leaves the
// stream's error indicator set, as a C stream's would be; a failed seek or
// tell, like fseek and ftell, only reports through its result.
struct ZipContext {
  explicit ZipContext(voidpf opaque)
      : owner(static_cast<FaultyFileSystem*>(opaque)), base(owner->base_zip_functions()) {}
  FaultyFileSystem* owner;
  const zlib_filefunc64_def& base;
};

voidpf ZCALLBACK ZipOpen(voidpf opaque, const void* filename, int mode) {
  ZipContext context(opaque);
  const std::string name = static_cast<const char*>(filename);
  if (context.owner->Fails("ZipOpen " + name)) return nullptr;
  voidpf stream = context.base.zopen64_file(context.base.opaque, filename, mode);
  if (stream != nullptr) context.owner->open_archives[stream] = name;
  return stream;
}

uLong ZCALLBACK ZipRead(voidpf opaque, voidpf stream, void* buffer, uLong size) {
  ZipContext context(opaque);
  if (context.owner->Fails("ZipRead " + context.owner->open_archives[stream])) {
    context.owner->streams_in_error.insert(stream);
    return 0;
  }
  return context.base.zread_file(context.base.opaque, stream, buffer, size);
}

uLong ZCALLBACK ZipWrite(voidpf opaque, voidpf stream, const void* buffer, uLong size) {
  ZipContext context(opaque);
  if (context.owner->Fails("ZipWrite " + context.owner->open_archives[stream])) {
    context.owner->streams_in_error.insert(stream);
    return 0;
  }
  return context.base.zwrite_file(context.base.opaque, stream, buffer, size);
}

ZPOS64_T ZCALLBACK ZipTell(voidpf opaque, voidpf stream) {
  ZipContext context(opaque);
  if (context.owner->Fails("ZipTell " + context.owner->open_archives[stream]))
    return static_cast<ZPOS64_T>(-1);
  return context.base.ztell64_file(context.base.opaque, stream);
}

long ZCALLBACK ZipSeek(voidpf opaque, voidpf stream, ZPOS64_T offset, int origin) {
  ZipContext context(opaque);
  if (context.owner->Fails("ZipSeek " + context.owner->open_archives[stream])) return -1;
  return context.base.zseek64_file(context.base.opaque, stream, offset, origin);
}

int ZCALLBACK ZipClose(voidpf opaque, voidpf stream) {
  ZipContext context(opaque);
  const bool fails = context.owner->Fails("ZipClose " + context.owner->open_archives[stream]);
  context.owner->open_archives.erase(stream);
  context.owner->streams_in_error.erase(stream);
  const int result = context.base.zclose_file(context.base.opaque, stream);
  return fails ? -1 : result;
}

int ZCALLBACK ZipError(voidpf opaque, voidpf stream) {
  ZipContext context(opaque);
  if (context.owner->Fails("ZipError " + context.owner->open_archives[stream])) return 1;
  if (context.owner->streams_in_error.contains(stream)) return 1;
  return context.base.zerror_file(context.base.opaque, stream);
}

}  // namespace

bool FaultyFileSystem::Fails(const std::string& call) {
  calls.push_back(call);
  if (!fail_call.empty() && call == fail_call) {
    fail_call.clear();
    return true;
  }
  return static_cast<int>(calls.size()) == fail_at;
}

bool FaultyFileSystem::MakeDirectory(const std::string& path) {
  return !Fails("MakeDirectory " + path) && base_.MakeDirectory(path);
}

std::unique_ptr<WritableFile> FaultyFileSystem::OpenForWriting(const std::string& path) {
  if (Fails("OpenForWriting " + path)) return nullptr;
  std::unique_ptr<WritableFile> file = base_.OpenForWriting(path);
  if (!file) return nullptr;
  return std::make_unique<FaultyWritableFile>(std::move(file), *this, path);
}

std::optional<std::string> FaultyFileSystem::ReadWholeFile(const std::string& path) {
  if (Fails("ReadWholeFile " + path)) return std::nullopt;
  return base_.ReadWholeFile(path);
}

bool FaultyFileSystem::FlushToDisk(const std::string& path) {
  return !Fails("FlushToDisk " + path) && base_.FlushToDisk(path);
}

bool FaultyFileSystem::RemoveFile(const std::string& path) {
  return !Fails("RemoveFile " + path) && base_.RemoveFile(path);
}

bool FaultyFileSystem::RenameReplacing(const std::string& from, const std::string& to) {
  return !Fails("RenameReplacing " + to) && base_.RenameReplacing(from, to);
}

zlib_filefunc64_def FaultyFileSystem::ZipFileFunctions() {
  base_zip_functions_ = base_.ZipFileFunctions();
  zlib_filefunc64_def functions{};
  functions.zopen64_file = ZipOpen;
  functions.zread_file = ZipRead;
  functions.zwrite_file = ZipWrite;
  functions.ztell64_file = ZipTell;
  functions.zseek64_file = ZipSeek;
  functions.zclose_file = ZipClose;
  functions.zerror_file = ZipError;
  functions.opaque = this;
  return functions;
}

}  // namespace engine::test
