// The parts of a PE32+ (x86-64 Windows) executable that patchpack rewrites:
// the headers, the section table and the data directories. It reads an image
// and gives it back with one section's contents replaced, every header that
// describes sizes and places brought up to date, the time stamp fixed and the
// checksum recomputed, so that the same inputs always give the same bytes.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "payload/payload_writer.h"

namespace patchpack::pe {

// The image is not a PE32+ file, or one that cannot be rewritten safely.
class PeError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The image ends before what its own headers describe: a download or copy
// that was cut short, or headers that point past the end of the file.
class PeTruncated : public PeError {
 public:
  PeTruncated(std::uint64_t size, std::uint64_t described);
  std::uint64_t size() const { return size_; }
  // At least this many bytes, by the headers that could be read.
  std::uint64_t described() const { return described_; }

 private:
  std::uint64_t size_;
  std::uint64_t described_;
};

inline constexpr std::size_t kResourceDirectory = 2;
// Unlike the others, this directory gives a file offset, not an address: the
// certificate table lies outside the sections, at the end of the file.
inline constexpr std::size_t kSecurityDirectory = 4;

struct Section {
  std::string name;
  std::uint32_t virtual_address = 0;
  std::uint32_t virtual_size = 0;
  std::uint32_t raw_offset = 0;
  std::uint32_t raw_size = 0;
};

struct DataDirectory {
  std::uint32_t rva = 0;
  std::uint32_t size = 0;
};

class PeImage {
 public:
  // Throws PeError unless `bytes` is a PE32+ image whose headers and section
  // table lie inside the file; PeTruncated when the file ends before its
  // headers, a section's data or the certificate table do.
  explicit PeImage(payload::Bytes bytes);

  const payload::Bytes& bytes() const { return bytes_; }
  const std::vector<Section>& sections() const { return sections_; }
  const Section* FindSection(std::string_view name) const;
  DataDirectory Directory(std::size_t index) const;

  // `size` bytes at `rva`, when they all lie in one section's file data.
  std::optional<std::span<const std::uint8_t>> At(std::uint32_t rva, std::uint32_t size) const;

  // The image with the section that holds the resource directory replaced by
  // `contents`, which must have been laid out for that section's address. A
  // section that follows it moves up or down, which is only safe for the base
  // relocations: nothing in the program refers to them. Throws PeError for an
  // image that has other sections after its resources, a signature, a symbol
  // table or bytes after its last section, all of which the move would break.
  payload::Bytes WithResourceSection(std::span<const std::uint8_t> contents) const;

  // The certificate table of a signed image (WIN_CERTIFICATE records);
  // empty when the image is not signed.
  std::span<const std::uint8_t> CertificateTable() const;

  // The image without its signature: the security directory cleared and the
  // certificate table cut from the end of the file, the checksum recomputed.
  // A signature covers the image's bytes, so any change to them leaves it
  // false; dropping it is what tools that rewrite signed images must do.
  // Throws PeError when the table does not end the file.
  payload::Bytes WithoutSignature() const;

 private:
  std::size_t coff_header_ = 0;
  std::size_t optional_header_ = 0;
  std::size_t section_table_ = 0;
  std::uint32_t directory_count_ = 0;
  payload::Bytes bytes_;
  std::vector<Section> sections_;
};

// The checksum that the loader verifies for drivers and that tools show for
// every image: the file summed as 16-bit words with the carries folded back,
// the checksum field itself left out, plus the file size.
std::uint32_t ImageChecksum(std::span<const std::uint8_t> image, std::size_t checksum_offset);

}  // namespace patchpack::pe
