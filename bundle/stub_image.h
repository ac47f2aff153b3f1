// How patchpack knows a console installer stub from any other file: the stub
// carries a marker text in an ELF section of its own. Looking in the section
// table rather than searching the bytes matters, because every program that
// checks for the marker holds the same text in its own data; only the stub
// has the section.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace bundle {

inline constexpr std::string_view kStubSectionName = ".pi_stub";
// Names the bundle format, so a stub that expects another format is refused.
inline constexpr char kStubMarker[] = "patch-installer console stub, bundle format 1";
// The Windows stub carries a section of the same name in its PE image; its
// text names where that stub looks for its payload and message table.
inline constexpr char kWindowsStubMarker[] =
    "patch-installer Windows stub, resources PATCHDATA 101 and LOCAL 103";

// True when `image` is a 64-bit little-endian ELF file whose section
// kStubSectionName begins with kStubMarker.
bool IsKnownStub(std::span<const std::uint8_t> image);

// How many bytes a 64-bit little-endian ELF file must hold by its own headers:
// the end of its program and section header tables and, as far as the
// section table can be read, of every section with contents in the file.
// More than `image.size()` means the file was cut short; nullopt when
// `image` does not begin as such a file.
std::optional<std::uint64_t> ElfImageSize(std::span<const std::uint8_t> image);

}  // namespace bundle
