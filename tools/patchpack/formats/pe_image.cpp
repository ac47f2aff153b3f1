#include "tools/patchpack/formats/pe_image.h"

#include <algorithm>
#include <optional>
#include <span>

#include "base/little_endian.h"

namespace patchpack::pe {
namespace {

constexpr std::uint16_t kPe32PlusMagic = 0x20B;
constexpr std::size_t kSectionHeaderSize = 40;
constexpr std::size_t kSecurityDirectory = 4;
constexpr std::size_t kBaseRelocationDirectory = 5;

// Header offsets, from the COFF header and from the optional header.
constexpr std::size_t kSectionCount = 2, kTimeDateStamp = 4, kSymbolTable = 8,
                      kOptionalHeaderSize = 16;
constexpr std::size_t kInitializedDataSize = 8, kSectionAlignment = 32, kFileAlignment = 36,
                      kImageSize = 56, kChecksum = 64, kDirectoryCount = 108, kDirectories = 112;

std::uint32_t Get(const payload::Bytes& bytes, std::size_t at, std::size_t size) {
  const std::optional<std::uint64_t> value = base::LoadLittleEndianAt(bytes, at, size);
  if (!value) throw PeError("truncated PE headers");
  return static_cast<std::uint32_t>(*value);
}

void Put(payload::Bytes& bytes, std::size_t at, std::uint32_t value) {
  base::StoreLittleEndian(std::span(bytes).subspan(at, 4), value);
}

std::uint32_t Align(std::uint64_t value, std::uint32_t alignment) {
  const std::uint64_t aligned = (value + alignment - 1) / alignment * alignment;
  if (aligned > UINT32_MAX) throw PeError("the image would exceed 4 GiB");
  return static_cast<std::uint32_t>(aligned);
}

bool Contains(const Section& section, std::uint32_t rva) {
  return rva >= section.virtual_address &&
         rva - section.virtual_address < std::max(section.virtual_size, section.raw_size);
}

}  // namespace

PeImage::PeImage(payload::Bytes bytes) : bytes_(std::move(bytes)) {
  if (bytes_.size() < 0x40 || bytes_[0] != 'M' || bytes_[1] != 'Z') throw PeError("no MZ header");
  const std::size_t pe = Get(bytes_, 0x3C, 4);
  if (Get(bytes_, pe, 4) != 0x00004550) throw PeError("no PE signature");
  coff_header_ = pe + 4;
  optional_header_ = coff_header_ + 20;
  if (Get(bytes_, optional_header_, 2) != kPe32PlusMagic) throw PeError("not a PE32+ image");
  directory_count_ =
      std::min<std::uint32_t>(Get(bytes_, optional_header_ + kDirectoryCount, 4), 16);
  if (directory_count_ <= kBaseRelocationDirectory) throw PeError("too few data directories");
  // The last directory's size field ends the table; reading it checks that
  // the whole table lies in the file.
  Get(bytes_, optional_header_ + kDirectories + 8 * directory_count_ - 4, 4);
  section_table_ = optional_header_ + Get(bytes_, coff_header_ + kOptionalHeaderSize, 2);
  const std::uint32_t count = Get(bytes_, coff_header_ + kSectionCount, 2);
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::size_t at = section_table_ + i * kSectionHeaderSize;
    Get(bytes_, at + kSectionHeaderSize - 4, 4);  // the whole header lies in the file
    Section section;
    section.name.assign(reinterpret_cast<const char*>(&bytes_[at]), 8);
    section.name.resize(section.name.find('\0') == std::string::npos ? 8 : section.name.find('\0'));
    section.virtual_size = Get(bytes_, at + 8, 4);
    section.virtual_address = Get(bytes_, at + 12, 4);
    section.raw_size = Get(bytes_, at + 16, 4);
    section.raw_offset = Get(bytes_, at + 20, 4);
    if (section.raw_offset > bytes_.size() ||
        section.raw_size > bytes_.size() - section.raw_offset) {
      throw PeError("section " + section.name + " runs past the end of the file");
    }
    sections_.push_back(section);
  }
}

const Section* PeImage::FindSection(std::string_view name) const {
  for (const Section& section : sections_) {
    if (section.name == name) return &section;
  }
  return nullptr;
}

DataDirectory PeImage::Directory(std::size_t index) const {
  if (index >= directory_count_) return {};
  const std::size_t at = optional_header_ + kDirectories + 8 * index;
  return {Get(bytes_, at, 4), Get(bytes_, at + 4, 4)};
}

std::optional<std::span<const std::uint8_t>> PeImage::At(std::uint32_t rva,
                                                         std::uint32_t size) const {
  for (const Section& section : sections_) {
    if (rva < section.virtual_address) continue;
    const std::uint64_t inside = rva - section.virtual_address;
    if (inside + size > section.raw_size) continue;
    return std::span<const std::uint8_t>(bytes_).subspan(section.raw_offset + inside, size);
  }
  return std::nullopt;
}

payload::Bytes PeImage::WithResourceSection(std::span<const std::uint8_t> contents) const {
  const DataDirectory resources = Directory(kResourceDirectory);
  auto holder = std::find_if(sections_.begin(), sections_.end(), [&](const Section& section) {
    return section.virtual_address == resources.rva;
  });
  if (resources.size == 0 || holder == sections_.end()) {
    throw PeError("the image has no resource section of its own");
  }
  if (Directory(kSecurityDirectory).size != 0) {
    throw PeError("the image is signed; sign the installer after attaching instead");
  }
  if (Get(bytes_, coff_header_ + kSymbolTable, 4) != 0) {
    throw PeError("the image has a symbol table; attach to the stripped stub");
  }
  std::uint64_t file_end = 0;
  for (const Section& section : sections_) {
    file_end = std::max<std::uint64_t>(file_end, section.raw_offset + section.raw_size);
  }
  if (file_end != bytes_.size()) throw PeError("the image has bytes after its last section");
  const DataDirectory relocations = Directory(kBaseRelocationDirectory);
  for (auto later = holder + 1; later != sections_.end(); ++later) {
    bool only_relocations = Contains(*later, relocations.rva);
    for (std::size_t index = 0; index < directory_count_; ++index) {
      const DataDirectory directory = Directory(index);
      if (index != kBaseRelocationDirectory && directory.size != 0 &&
          Contains(*later, directory.rva)) {
        only_relocations = false;
      }
    }
    if (!only_relocations || later->raw_offset < (later - 1)->raw_offset) {
      throw PeError("section " + later->name + " follows the resources and cannot be moved");
    }
  }

  const std::uint32_t file_alignment = Get(bytes_, optional_header_ + kFileAlignment, 4);
  const std::uint32_t section_alignment = Get(bytes_, optional_header_ + kSectionAlignment, 4);
  if (file_alignment == 0 || section_alignment == 0) throw PeError("zero section alignment");

  // The image is made in one allocation: growing it around a section of
  // hundreds of megabytes would hold two copies of it for a moment.
  std::uint64_t image_size = holder->raw_offset + Align(contents.size(), file_alignment);
  for (auto later = holder + 1; later != sections_.end(); ++later) image_size += later->raw_size;
  payload::Bytes out;
  out.reserve(image_size);
  out.assign(bytes_.begin(), bytes_.begin() + holder->raw_offset);
  auto set_section = [&](std::size_t index, const Section& section) {
    const std::size_t at = section_table_ + index * kSectionHeaderSize;
    Put(out, at + 8, section.virtual_size);
    Put(out, at + 12, section.virtual_address);
    Put(out, at + 16, section.raw_size);
    Put(out, at + 20, section.raw_offset);
  };
  auto directory_at = [&](std::size_t index) {
    return optional_header_ + kDirectories + 8 * index;
  };

  Section placed = *holder;
  placed.virtual_size = static_cast<std::uint32_t>(contents.size());
  placed.raw_size = Align(contents.size(), file_alignment);
  out.insert(out.end(), contents.begin(), contents.end());
  out.resize(out.size() + (placed.raw_size - contents.size()));
  const std::size_t holder_index = static_cast<std::size_t>(holder - sections_.begin());
  set_section(holder_index, placed);
  Put(out, directory_at(kResourceDirectory) + 4, placed.virtual_size);
  const std::uint32_t initialized = Get(bytes_, optional_header_ + kInitializedDataSize, 4);
  Put(out, optional_header_ + kInitializedDataSize,
      initialized - holder->raw_size + placed.raw_size);

  for (std::size_t index = holder_index + 1; index < sections_.size(); ++index) {
    const Section& old = sections_[index];
    Section moved = old;
    moved.virtual_address =
        Align(std::uint64_t{placed.virtual_address} + placed.virtual_size, section_alignment);
    moved.raw_offset = static_cast<std::uint32_t>(out.size());
    out.insert(out.end(), bytes_.begin() + old.raw_offset,
               bytes_.begin() + old.raw_offset + old.raw_size);
    set_section(index, moved);
    if (Contains(old, relocations.rva)) {
      Put(out, directory_at(kBaseRelocationDirectory),
          relocations.rva - old.virtual_address + moved.virtual_address);
    }
    placed = moved;
  }
  const std::uint32_t last_size = std::max(placed.virtual_size, placed.raw_size);
  Put(out, optional_header_ + kImageSize,
      Align(std::uint64_t{placed.virtual_address} + last_size, section_alignment));
  // The linker's time stamp would make every attach of the same files differ.
  Put(out, coff_header_ + kTimeDateStamp, 0);
  Put(out, optional_header_ + kChecksum, ImageChecksum(out, optional_header_ + kChecksum));
  return out;
}

std::uint32_t ImageChecksum(std::span<const std::uint8_t> image, std::size_t checksum_offset) {
  std::uint64_t sum = 0;
  for (std::size_t at = 0; at < image.size(); at += 2) {
    if (at == checksum_offset || at == checksum_offset + 2) continue;
    std::uint32_t word = image[at];
    if (at + 1 < image.size()) word |= std::uint32_t{image[at + 1]} << 8;
    sum += word;
    sum = (sum & 0xFFFF) + (sum >> 16);
  }
  sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<std::uint32_t>(sum + image.size());
}

}  // namespace patchpack::pe
