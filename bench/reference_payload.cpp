#include "bench/reference_payload.h"

#include <lzma.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "base/little_endian.h"

namespace bench {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t kLargestPiece = 2u << 20;

std::vector<fs::path> RegularFilesUnder(const fs::path& root) {
  std::vector<fs::path> files;
  std::error_code error;
  for (fs::recursive_directory_iterator
           it(root, fs::directory_options::skip_permission_denied, error),
       end;
       it != end; it.increment(error)) {
    if (error) break;
    if (it->is_symlink() || !it->is_regular_file()) continue;
    files.push_back(it->path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

Bytes ReadPrefix(const fs::path& path, std::size_t limit) {
  std::ifstream in(path, std::ios::binary);
  Bytes bytes(limit);
  in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(limit));
  bytes.resize(static_cast<std::size_t>(std::max<std::streamsize>(in.gcount(), 0)));
  return bytes;
}

bool IsX86_64Elf(const Bytes& bytes) {
  return bytes.size() > 20 && bytes[0] == 0x7F && bytes[1] == 'E' && bytes[2] == 'L' &&
         bytes[3] == 'F' && bytes[18] == 0x3E && bytes[19] == 0x00;
}

bool IsText(const Bytes& bytes) {
  if (bytes.size() < 256) return false;
  std::size_t probe = std::min<std::size_t>(bytes.size(), 4096);
  return std::find(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(probe), 0) ==
             bytes.begin() + static_cast<std::ptrdiff_t>(probe) &&
         bytes[0] != 0x1F;  // not gzip
}

void AppendU32(Bytes& out, std::uint32_t value) { base::AppendLittleEndian(out, value, 4); }

// A loose-file record: the target path with backslashes, size, content.
void AppendLooseFile(Bytes& out, const fs::path& path, const Bytes& content) {
  std::string name = path.relative_path().string();
  std::replace(name.begin(), name.end(), '/', '\\');
  out.insert(out.end(), name.begin(), name.end());
  out.push_back(0);
  AppendU32(out, static_cast<std::uint32_t>(content.size()));
  out.insert(out.end(), content.begin(), content.end());
}

template <typename Accept>
void TakeFiles(const std::vector<fs::path>& roots, std::size_t budget, Accept accept, Bytes& out,
               std::size_t& files, std::size_t& bytes) {
  for (const fs::path& root : roots) {
    for (const fs::path& path : RegularFilesUnder(root)) {
      if (bytes >= budget) return;
      Bytes content = ReadPrefix(path, std::min(kLargestPiece, budget - bytes));
      if (!accept(content)) continue;
      AppendLooseFile(out, path, content);
      ++files;
      bytes += content.size();
    }
  }
}

}  // namespace

ReferenceStream BuildReferenceStream(std::size_t code_budget, std::size_t text_budget) {
  ReferenceStream stream;
  AppendU32(stream.bytes, 14);
  TakeFiles({"/usr/bin", "/usr/lib/x86_64-linux-gnu"}, code_budget, IsX86_64Elf, stream.bytes,
            stream.code_files, stream.code_bytes);
  TakeFiles({"/usr/share/doc", "/usr/share/common-licenses", "/usr/include"}, text_budget, IsText,
            stream.bytes, stream.text_files, stream.text_bytes);
  // No archives and no deletions.
  stream.bytes.insert(stream.bytes.end(), {0, 0, 0});
  return stream;
}

Bytes CompressLzma1(const Bytes& stream, const Compression& compression) {
  lzma_options_lzma options;
  lzma_lzma_preset(&options, 9);
  options.lc = 3;
  options.lp = 0;
  options.pb = 2;
  options.dict_size = compression.dictionary_size;
  lzma_filter filters[] = {
      {LZMA_FILTER_X86, nullptr}, {LZMA_FILTER_LZMA1, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
  lzma_stream encoder = LZMA_STREAM_INIT;
  if (lzma_raw_encoder(&encoder, compression.x86 ? filters : filters + 1) != LZMA_OK) {
    std::fprintf(stderr, "payload_bench: cannot start the LZMA1 encoder\n");
    std::exit(1);
  }
  Bytes out(stream.size() + stream.size() / 8 + 65536);
  encoder.next_in = stream.data();
  encoder.avail_in = stream.size();
  encoder.next_out = out.data();
  encoder.avail_out = out.size();
  lzma_ret result = lzma_code(&encoder, LZMA_FINISH);
  out.resize(out.size() - encoder.avail_out);
  lzma_end(&encoder);
  if (result != LZMA_STREAM_END) {
    std::fprintf(stderr, "payload_bench: LZMA1 encoding failed (%d)\n", static_cast<int>(result));
    std::exit(1);
  }
  return out;
}

Bytes MakeBody(const Bytes& lzma_data, const Compression& compression, std::size_t stream_size) {
  Bytes body = {static_cast<std::uint8_t>(compression.x86 ? 1 : 0), (2 * 5 + 0) * 9 + 3};
  AppendU32(body, compression.dictionary_size);
  AppendU32(body, static_cast<std::uint32_t>(stream_size));
  AppendU32(body, 0);
  body.insert(body.end(), lzma_data.begin(), lzma_data.end());
  return body;
}

}  // namespace bench
