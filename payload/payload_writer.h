// Builds patch streams and payloads: the writer behind `patchpack build`,
// shared with the tests, which use it to make payloads of every shape.
// Output is deterministic: the same description gives the same bytes.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace payload {

using Bytes = std::vector<std::uint8_t>;

struct FileEntry {
  std::string name;  // target path (backslashes) or archive entry name
  Bytes content;
};

struct ArchiveRecord {
  std::string path;
  std::vector<FileEntry> new_entries;
  std::vector<std::string> drop_names;
};

struct PatchDescription {
  std::uint32_t version = 0;
  std::vector<FileEntry> loose_files;
  std::vector<ArchiveRecord> archives;
  std::vector<std::string> deletions;
};

struct EncodeOptions {
  bool x86_filter = false;  // apply x86 BCJ before compressing
  int lc = 3;
  int lp = 0;
  int pb = 2;
  // The encoder's search effort, liblzma's preset level 0 to 9, and its
  // extreme variant. The dictionary does not follow the preset: it is chosen
  // from the stream's size, within what the installer's decoder may hold.
  int preset = 6;
  bool extreme = false;
};

// The uncompressed patch stream for a description. Throws
// std::invalid_argument for what the grammar cannot hold: an empty name, a
// name with a 0 byte, or a content or stream of 4 GiB or more.
Bytes BuildPatchStream(const PatchDescription& description);

// The same stream without holding it: its size first (throwing as above),
// then its bytes handed to `write` in order, contents straight from the
// description.
std::uint64_t PatchStreamSize(const PatchDescription& description);
void WritePatchStream(const PatchDescription& description,
                      const std::function<void(std::span<const std::uint8_t>)>& write);

// Compresses a stream into a payload body (filter flag, LZMA_Alone header,
// LZMA1 data ending with an end marker) and appends the SHA-1 trailer. The
// dictionary is the smallest power of two holding the stream (4 KiB to
// 64 MiB). Throws std::invalid_argument for lc + lp > 4, pb > 4 or a stream of
// 4 GiB or more.
Bytes BuildPayload(std::span<const std::uint8_t> stream, const EncodeOptions& options = {});

// Appends the SHA-1 trailer to a body made some other way.
Bytes AppendTrailer(std::span<const std::uint8_t> body);

}  // namespace payload
