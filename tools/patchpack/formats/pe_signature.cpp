#include "tools/patchpack/formats/pe_signature.h"

#include <algorithm>
#include <optional>

#include "base/little_endian.h"
#include "tools/patchpack/formats/der_reader.h"

namespace patchpack::pe {
namespace {

using der::Element;
using der::Reader;
using Bytes = std::span<const std::uint8_t>;

constexpr std::size_t kCertificateHeaderSize = 8;  // dwLength, wRevision, wCertificateType
constexpr std::uint16_t kPkcsSignedData = 2;
constexpr std::uint32_t kCertificateAlignment = 8;
// 1.2.840.113549.1.7.2 (PKCS#7 signedData) and 2.5.4.3 (commonName).
constexpr std::uint8_t kSignedDataOid[] = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x07, 0x02};
constexpr std::uint8_t kCommonNameOid[] = {0x55, 0x04, 0x03};
// A name longer than this is not one a publisher shows.
constexpr std::size_t kMaxNameSize = 256;

bool Equal(Bytes a, Bytes b) { return std::equal(a.begin(), a.end(), b.begin(), b.end()); }

// The first PKCS#7 blob among the WIN_CERTIFICATE records.
std::optional<Bytes> FirstSignedData(Bytes table) {
  while (table.size() >= kCertificateHeaderSize) {
    const std::uint64_t length = base::LoadLittleEndian(table.first(4));
    const std::uint64_t type = base::LoadLittleEndian(table.subspan(6, 2));
    if (length < kCertificateHeaderSize || length > table.size()) return std::nullopt;
    if (type == kPkcsSignedData)
      return table.subspan(kCertificateHeaderSize, length - kCertificateHeaderSize);
    const std::uint64_t step =
        (length + kCertificateAlignment - 1) / kCertificateAlignment * kCertificateAlignment;
    if (step >= table.size()) return std::nullopt;
    table = table.subspan(step);
  }
  return std::nullopt;
}

// The issuer and serial number by which a certificate or a signer is named.
struct CertificateId {
  Bytes issuer;  // the encoded Name
  Bytes serial;  // the INTEGER's content
};

// tbsCertificate: [0] version, serialNumber, signature, issuer, validity,
// subject, ...
struct CertificateNames {
  CertificateId id;
  Bytes subject;  // the Name's content: a sequence of SETs
};

std::optional<CertificateNames> ReadCertificate(Bytes certificate) {
  std::optional<Element> tbs = Reader(certificate).Next(der::kSequence);
  if (!tbs) return std::nullopt;
  Reader fields(tbs->content);
  fields.NextIf(der::kContextZero);
  std::optional<Element> serial = fields.Next(der::kInteger);
  std::optional<Element> algorithm = fields.Next(der::kSequence);
  std::optional<Element> issuer = fields.Next(der::kSequence);
  std::optional<Element> validity = fields.Next(der::kSequence);
  std::optional<Element> subject = fields.Next(der::kSequence);
  if (!serial || !algorithm || !issuer || !validity || !subject) return std::nullopt;
  return CertificateNames{{issuer->encoded, serial->content}, subject->content};
}

// The text of a string value, in UTF-8 where its type allows, each control
// character replaced: the name goes to a terminal.
std::string Printable(const Element& value) {
  std::string text;
  if (value.tag == der::kBmpString) {
    // UTF-16BE; only the ASCII range is kept as it is.
    for (std::size_t at = 0; at + 1 < value.content.size(); at += 2) {
      const unsigned unit = (unsigned{value.content[at]} << 8) | value.content[at + 1];
      text.push_back(unit < 0x80 ? static_cast<char>(unit) : '?');
    }
  } else {
    text.assign(value.content.begin(), value.content.end());
  }
  if (text.size() > kMaxNameSize) text.resize(kMaxNameSize);
  for (char& c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  }
  return text;
}

std::optional<std::string> CommonName(Bytes name) {
  Reader sets(name);
  while (!sets.AtEnd()) {
    std::optional<Element> set = sets.Next(der::kSet);
    if (!set) return std::nullopt;
    Reader attributes(set->content);
    while (!attributes.AtEnd()) {
      std::optional<Element> attribute = attributes.Next(der::kSequence);
      if (!attribute) return std::nullopt;
      Reader parts(attribute->content);
      std::optional<Element> type = parts.Next(der::kObjectIdentifier);
      std::optional<Element> value = parts.Next();
      if (!type || !value) return std::nullopt;
      if (!Equal(type->content, kCommonNameOid)) continue;
      switch (value->tag) {
        case der::kUtf8String:
        case der::kPrintableString:
        case der::kTeletexString:
        case der::kIa5String:
        case der::kBmpString:
          return Printable(*value);
        default:
          return std::nullopt;
      }
    }
  }
  return std::nullopt;
}

// ContentInfo { contentType signedData, [0] SignedData { version,
// digestAlgorithms, contentInfo, [0] certificates, [1] crls, signerInfos } }.
std::optional<std::string> SignerOf(Bytes pkcs7) {
  std::optional<Element> content_info = Reader(pkcs7).Next(der::kSequence);
  if (!content_info) return std::nullopt;
  Reader outer(content_info->content);
  std::optional<Element> type = outer.Next(der::kObjectIdentifier);
  std::optional<Element> explicit_content = outer.Next(der::kContextZero);
  if (!type || !explicit_content || !Equal(type->content, kSignedDataOid)) return std::nullopt;
  std::optional<Element> signed_data = Reader(explicit_content->content).Next(der::kSequence);
  if (!signed_data) return std::nullopt;
  Reader fields(signed_data->content);
  fields.Next(der::kInteger);
  fields.Next(der::kSet);
  if (!fields.Next(der::kSequence)) return std::nullopt;
  std::optional<Element> certificates = fields.NextIf(der::kContextZero);
  fields.NextIf(der::kContextOne);
  std::optional<Element> signer_infos = fields.Next(der::kSet);
  if (!certificates || !signer_infos) return std::nullopt;

  // The first signer: Authenticode has exactly one (a nested signature
  // lives in its unsigned attributes).
  std::optional<Element> signer_info = Reader(signer_infos->content).Next(der::kSequence);
  if (!signer_info) return std::nullopt;
  Reader signer(signer_info->content);
  signer.Next(der::kInteger);
  std::optional<Element> issuer_and_serial = signer.Next(der::kSequence);
  if (!issuer_and_serial) return std::nullopt;
  Reader id(issuer_and_serial->content);
  std::optional<Element> issuer = id.Next(der::kSequence);
  std::optional<Element> serial = id.Next(der::kInteger);
  if (!issuer || !serial) return std::nullopt;

  Reader candidates(certificates->content);
  while (!candidates.AtEnd()) {
    std::optional<Element> certificate = candidates.Next();
    if (!certificate) return std::nullopt;
    if (certificate->tag != der::kSequence) continue;
    std::optional<CertificateNames> names = ReadCertificate(certificate->content);
    if (names && Equal(names->id.issuer, issuer->encoded) &&
        Equal(names->id.serial, serial->content)) {
      return CommonName(names->subject);
    }
  }
  return std::nullopt;
}

}  // namespace

std::string SignerName(std::span<const std::uint8_t> certificate_table) {
  std::optional<Bytes> pkcs7 = FirstSignedData(certificate_table);
  if (!pkcs7) return {};
  return SignerOf(*pkcs7).value_or("");
}

}  // namespace patchpack::pe
