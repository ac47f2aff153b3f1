#include <limits>
#include <stdexcept>
#include <utility>

#include "base/little_endian.h"
#include "payload/payload_writer.h"

namespace payload {
namespace {

using Writer = std::function<void(std::span<const std::uint8_t>)>;

// Writes the stream, or with no writer only counts it, refusing anything
// the grammar cannot express: it has no lengths for names, so an empty name
// or one holding a 0 byte would end a list early, and sizes are 32-bit.
// Small fields gather in a buffer; contents go to the writer as they are.
class StreamBuilder {
 public:
  explicit StreamBuilder(const Writer* write) : write_(write) {}

  void U32(std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) Byte(static_cast<std::uint8_t>(value >> shift));
  }

  void Name(const std::string& name) {
    if (name.empty()) throw std::invalid_argument("a patch stream cannot hold an empty name");
    if (name.find('\0') != std::string::npos) {
      throw std::invalid_argument("a patch stream cannot hold a name with a 0 byte");
    }
    for (char c : name) Byte(static_cast<std::uint8_t>(c));
    Byte(0);
  }

  void Terminator() { Byte(0); }

  void File(const FileEntry& file) {
    if (file.content.size() > std::numeric_limits<std::uint32_t>::max()) {
      throw std::invalid_argument("'" + file.name + "' is larger than 4 GiB - 1 bytes");
    }
    Name(file.name);
    U32(static_cast<std::uint32_t>(file.content.size()));
    Flush();
    size_ += file.content.size();
    if (write_ != nullptr && !file.content.empty()) (*write_)(file.content);
  }

  std::uint64_t Finish() {
    Flush();
    // The container declares the decoded size in 32 bits.
    if (size_ > std::numeric_limits<std::uint32_t>::max()) {
      throw std::invalid_argument("the patch stream is larger than 4 GiB - 1 bytes");
    }
    return size_;
  }

 private:
  void Byte(std::uint8_t byte) {
    pending_.push_back(byte);
    if (pending_.size() >= (64u << 10)) Flush();
  }

  void Flush() {
    size_ += pending_.size();
    if (write_ != nullptr && !pending_.empty()) (*write_)(pending_);
    pending_.clear();
  }

  const Writer* write_;
  Bytes pending_;
  std::uint64_t size_ = 0;
};

std::uint64_t Build(const PatchDescription& description, const Writer* write) {
  StreamBuilder stream(write);
  stream.U32(description.version);
  for (const FileEntry& file : description.loose_files) stream.File(file);
  stream.Terminator();
  for (const ArchiveRecord& archive : description.archives) {
    stream.Name(archive.path);
    for (const FileEntry& entry : archive.new_entries) stream.File(entry);
    stream.Terminator();
    for (const std::string& drop : archive.drop_names) stream.Name(drop);
    stream.Terminator();
  }
  stream.Terminator();
  for (const std::string& path : description.deletions) stream.Name(path);
  stream.Terminator();
  return stream.Finish();
}

}  // namespace

std::uint64_t PatchStreamSize(const PatchDescription& description) {
  return Build(description, nullptr);
}

void WritePatchStream(const PatchDescription& description, const Writer& write) {
  Build(description, &write);
}

Bytes BuildPatchStream(const PatchDescription& description) {
  Bytes bytes;
  bytes.reserve(PatchStreamSize(description));
  WritePatchStream(description, [&](std::span<const std::uint8_t> piece) {
    bytes.insert(bytes.end(), piece.begin(), piece.end());
  });
  return bytes;
}

}  // namespace payload
