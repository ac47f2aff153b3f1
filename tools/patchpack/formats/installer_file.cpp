#include "tools/patchpack/formats/installer_file.h"

#include <cstring>

#include "bundle/bundle_format.h"
#include "bundle/stub_image.h"
#include "tools/patchpack/formats/pe_image.h"
#include "tools/patchpack/formats/pe_resources.h"
#include "tools/patchpack/formats/pe_signature.h"
#include "tools/patchpack/report/command_error.h"

namespace patchpack {
namespace {

const pe::ResourceId kPayloadType = pe::ResourceId::Named(u"PATCHDATA");
const pe::ResourceId kPayloadName = pe::ResourceId::Numbered(101);
const pe::ResourceId kMessagesType = pe::ResourceId::Named(u"LOCAL");
const pe::ResourceId kMessagesName = pe::ResourceId::Numbered(103);
// The payload is language neutral: the installer looks it up by type and
// id alone.
constexpr std::uint16_t kNeutralLanguage = 0;

std::span<const std::uint8_t> Part(const payload::Bytes& bytes, std::uint64_t offset,
                                   std::uint64_t size) {
  return std::span<const std::uint8_t>(bytes).subspan(offset, size);
}

std::string Size(std::uint64_t bytes) { return std::to_string(bytes) + " bytes"; }

// A console installer is its stub, then the bundle, ending in the footer:
// without the footer the bundle's size is unknown, but an ELF file that is
// shorter than its headers say, or a stub followed by bytes and no footer,
// is the beginning of a longer file.
std::optional<std::string> ConsoleTruncation(const payload::Bytes& bytes) {
  const std::optional<std::uint64_t> described = bundle::ElfImageSize(bytes);
  if (!described) return std::nullopt;
  if (*described > bytes.size()) {
    return "the file is " + Size(bytes.size()) + ", its ELF headers describe at least " +
           Size(*described);
  }
  if (*described < bytes.size() && bundle::IsKnownStub(bytes)) {
    return "the file is " + Size(bytes.size()) + ": the " + Size(*described) +
           " of the stub, then " + Size(bytes.size() - *described) +
           " of a bundle whose end, with the footer that gives its sizes, is missing";
  }
  return std::nullopt;
}

std::optional<InstallerFile> ReadConsole(const std::string& path, payload::Bytes bytes) {
  InstallerFile file;
  file.kind = InstallerKind::kConsole;
  const bool has_footer =
      bytes.size() >= bundle::kFooterSize &&
      bundle::HasFooterMagic(Part(bytes, bytes.size() - bundle::kFooterSize, bundle::kFooterSize));
  if (!has_footer) {
    file.truncated = ConsoleTruncation(bytes);
    if (file.truncated) return file;
  } else {
    const auto footer = Part(bytes, bytes.size() - bundle::kFooterSize, bundle::kFooterSize);
    const auto layout = bundle::DecodeFooter(footer, bytes.size());
    if (!layout) throw CommandError(path + ": damaged installer: its bundle footer is invalid");
    const auto payload = Part(bytes, layout->payload_offset(), layout->payload_size);
    file.payload.emplace(payload.begin(), payload.end());
    if (layout->messages_size != 0) {
      const auto table = Part(bytes, layout->messages_offset(), layout->messages_size);
      file.messages.emplace(table.begin(), table.end());
    }
    bytes.resize(layout->stub_size);
  }
  if (!bundle::IsKnownStub(bytes)) return std::nullopt;
  file.stub = std::move(bytes);
  return file;
}

bool HasWindowsMarker(const pe::PeImage& image) {
  const pe::Section* section = image.FindSection(bundle::kStubSectionName);
  if (section == nullptr) return false;
  const auto marker = image.At(section->virtual_address, sizeof bundle::kWindowsStubMarker);
  return marker && std::memcmp(marker->data(), bundle::kWindowsStubMarker, marker->size()) == 0;
}

std::optional<InstallerFile> ReadWindows(const std::string& path, payload::Bytes bytes) {
  InstallerFile file;
  file.kind = InstallerKind::kWindows;
  std::optional<pe::PeImage> image;
  try {
    image.emplace(std::move(bytes));
  } catch (const pe::PeTruncated& error) {
    file.truncated = std::string("the file is ") + Size(error.size()) +
                     ", its headers describe at least " + Size(error.described());
    return file;
  } catch (const pe::PeError&) {
    return std::nullopt;
  }
  if (!HasWindowsMarker(*image)) return std::nullopt;
  if (const auto table = image->CertificateTable(); !table.empty()) {
    file.signer = pe::SignerName(table);
  }
  try {
    const std::vector<pe::Resource> resources = pe::ReadResources(*image);
    if (const auto* found = pe::FindResource(resources, kPayloadType, kPayloadName)) {
      file.payload = found->data;
    }
    if (const auto* found = pe::FindResource(resources, kMessagesType, kMessagesName)) {
      file.messages = found->data;
    }
  } catch (const pe::PeError& error) {
    throw CommandError(path + ": damaged installer: " + error.what());
  }
  file.stub = image->bytes();
  return file;
}

}  // namespace

std::string KindName(InstallerKind kind, bool attached) {
  const char* suffix = attached ? " installer" : " stub";
  switch (kind) {
    case InstallerKind::kConsole:
      return std::string("console") + suffix;
    case InstallerKind::kWindows:
      return std::string("Windows") + suffix;
    case InstallerKind::kNone:
      break;
  }
  return "payload";
}

std::string TruncationText(const InstallerFile& file) {
  return "truncated " + KindName(file.kind, true) + ": " + file.truncated.value_or("") +
         " (an interrupted download or copy?)";
}

std::string SignatureText(const InstallerFile& file) {
  if (file.kind != InstallerKind::kWindows) return "";
  if (!file.signer) return "not signed";
  if (file.signer->empty()) return "signed, with no signer named";
  return "signed by " + *file.signer;
}

InstallerFile ReadInstallerFile(const std::string& path, payload::Bytes bytes) {
  if (bytes.size() >= 4 && std::memcmp(bytes.data(),
                                       "\x7F"
                                       "ELF",
                                       4) == 0) {
    if (auto console = ReadConsole(path, std::move(bytes))) return *console;
    return {};
  }
  if (bytes.size() >= 2 && bytes[0] == 'M' && bytes[1] == 'Z') {
    if (auto windows = ReadWindows(path, std::move(bytes))) return *windows;
    return {};
  }
  return {};
}

payload::Bytes AttachToWindowsStub(const std::string& stub_path, const InstallerFile& stub,
                                   payload::Bytes payload,
                                   const std::optional<payload::Bytes>& messages) {
  try {
    const pe::PeImage image(stub.signer ? pe::PeImage(stub.stub).WithoutSignature() : stub.stub);
    std::vector<pe::Resource> resources = pe::ReadResources(image);
    pe::SetResource(resources, kPayloadType, kPayloadName, kNeutralLanguage, std::move(payload));
    if (messages) {
      pe::SetResource(resources, kMessagesType, kMessagesName, kNeutralLanguage, *messages);
    }
    const std::uint32_t rva = image.Directory(pe::kResourceDirectory).rva;
    // Two statements: the resources, the payload among them, must be gone
    // before the image is made of the section, not at the end of one
    // expression that does both.
    const payload::Bytes section = pe::BuildResourceSection(std::move(resources), rva);
    return image.WithResourceSection(section);
  } catch (const pe::PeError& error) {
    throw CommandError(stub_path + ": cannot attach to this Windows stub: " + error.what());
  }
}

}  // namespace patchpack
