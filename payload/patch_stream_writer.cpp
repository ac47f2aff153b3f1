#include <limits>
#include <stdexcept>
#include <utility>

#include "base/little_endian.h"
#include "payload/payload_writer.h"

namespace payload {
namespace {

// Appends to the stream, refusing anything the grammar cannot express: it has
// no lengths for names, so an empty name or one holding a 0 byte would end a
// list early, and sizes are 32-bit.
class StreamBuilder {
 public:
  void U32(std::uint32_t value) { base::AppendLittleEndian(bytes_, value, 4); }

  void Name(const std::string& name) {
    if (name.empty()) throw std::invalid_argument("a patch stream cannot hold an empty name");
    if (name.find('\0') != std::string::npos) {
      throw std::invalid_argument("a patch stream cannot hold a name with a 0 byte");
    }
    bytes_.insert(bytes_.end(), name.begin(), name.end());
    bytes_.push_back(0);
  }

  void Terminator() { bytes_.push_back(0); }

  void File(const FileEntry& file) {
    if (file.content.size() > std::numeric_limits<std::uint32_t>::max()) {
      throw std::invalid_argument("'" + file.name + "' is larger than 4 GiB - 1 bytes");
    }
    Name(file.name);
    U32(static_cast<std::uint32_t>(file.content.size()));
    bytes_.insert(bytes_.end(), file.content.begin(), file.content.end());
  }

  Bytes Finish() {
    // The container declares the decoded size in 32 bits.
    if (bytes_.size() > std::numeric_limits<std::uint32_t>::max()) {
      throw std::invalid_argument("the patch stream is larger than 4 GiB - 1 bytes");
    }
    return std::move(bytes_);
  }

 private:
  Bytes bytes_;
};

}  // namespace

Bytes BuildPatchStream(const PatchDescription& description) {
  StreamBuilder stream;
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

}  // namespace payload
