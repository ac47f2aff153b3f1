// The signer's name read from a certificate table, on real signatures made
// by openssl in the test: a publisher certificate issued by a CA of the
// test's own, both carried in the signature. Then every
// shortened and every damaged form of the same table, which must give a name
// or nothing, never a read outside it (the sanitizers watch).
#include "tools/patchpack/formats/pe_signature.h"

#include <gtest/gtest.h>

#include <string>

#include "base/little_endian.h"
#include "tests/support/command.h"
#include "tests/support/files.h"
#include "tests/support/temp_dir.h"
#include "tools/patchpack/formats/der_reader.h"

namespace patchpack::pe {
namespace {

using test_support::Quoted;
using test_support::RunCommand;

// WIN_CERTIFICATE: dwLength, wRevision 2.0, wCertificateType PKCS_SIGNED_DATA,
// the signature, padding to 8 bytes.
test_support::Bytes CertificateRecord(const test_support::Bytes& pkcs7) {
  test_support::Bytes record;
  base::AppendLittleEndian(record, pkcs7.size() + 8, 4);
  base::AppendLittleEndian(record, 0x0200, 2);
  base::AppendLittleEndian(record, 2, 2);
  record.insert(record.end(), pkcs7.begin(), pkcs7.end());
  record.resize((record.size() + 7) / 8 * 8);
  return record;
}

class PeSignatureTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string script =
        "cd " + Quoted(dir_.path()) +
        " && openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj '/O=Test/CN=Quillmarch Test "
        "CA' -keyout ca.key -out ca.pem"
        " && openssl req -newkey rsa:2048 -nodes -subj '/C=DE/O=Quillmarch/CN=Quillmarch "
        "Test Publisher' -keyout signer.key -out signer.csr"
        " && openssl x509 -req -in signer.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 2 "
        "-out signer.pem"
        " && printf 'the signed content' > content"
        " && openssl cms -sign -binary -nodetach -in content -signer signer.pem -inkey signer.key "
        "-certfile ca.pem -outform DER -out signature.der";
    const auto made = RunCommand("(" + script + ") 2>&1");
    ASSERT_TRUE(test_support::Succeeded(made)) << made.out;
    pkcs7_ = test_support::ReadBytes(dir_ / "signature.der");
  }

  test_support::TempDir dir_{"pe-signature"};
  test_support::Bytes pkcs7_;
};

// The signature with its two certificates in the other order. The set of
// certificates lies outside what is signed, so the signature stays valid.
test_support::Bytes WithCertificatesSwapped(test_support::Bytes pkcs7) {
  const auto content_info = der::Reader(pkcs7).Next(der::kSequence);
  der::Reader outer(content_info.value().content);
  outer.Next(der::kObjectIdentifier);
  const auto signed_data = der::Reader(outer.Next(der::kContextZero).value().content).Next();
  der::Reader fields(signed_data.value().content);
  fields.Next(der::kInteger);
  fields.Next(der::kSet);
  fields.Next(der::kSequence);
  const auto set = fields.Next(der::kContextZero).value().content;
  der::Reader certificates(set);
  const auto first = certificates.Next().value().encoded;
  const auto second = certificates.Next().value().encoded;
  EXPECT_TRUE(certificates.AtEnd());
  test_support::Bytes swapped(second.begin(), second.end());
  swapped.insert(swapped.end(), first.begin(), first.end());
  std::copy(swapped.begin(), swapped.end(), pkcs7.begin() + (set.data() - pkcs7.data()));
  return pkcs7;
}

TEST_F(PeSignatureTest, NamesTheSigningCertificateWhereverItIsCarried) {
  EXPECT_EQ(SignerName(CertificateRecord(pkcs7_)), "Quillmarch Test Publisher");
  const test_support::Bytes swapped = WithCertificatesSwapped(pkcs7_);
  test_support::WriteBytes(dir_ / "swapped.der", swapped);
  const auto verified =
      RunCommand("openssl cms -verify -inform DER -in " + Quoted(dir_ / "swapped.der") +
                 " -CAfile " + Quoted(dir_ / "ca.pem") + " -out /dev/null 2>&1");
  ASSERT_TRUE(test_support::Succeeded(verified)) << verified.out;
  const auto listed = RunCommand("openssl pkcs7 -inform DER -print_certs -noout -in " +
                                 Quoted(dir_ / "swapped.der"));
  // Now the CA comes first, so taking the first certificate would name it.
  ASSERT_LT(listed.out.find("CN = Quillmarch Test CA"),
            listed.out.find("CN = Quillmarch Test Publisher"))
      << listed.out;
  EXPECT_EQ(SignerName(CertificateRecord(swapped)), "Quillmarch Test Publisher");
}

TEST_F(PeSignatureTest, FindsTheSignatureAfterARecordOfAnotherType) {
  test_support::Bytes table;
  base::AppendLittleEndian(table, 12, 4);
  base::AppendLittleEndian(table, 0x0200, 2);
  base::AppendLittleEndian(table, 1, 2);  // an X.509 record, not PKCS#7
  table.resize(16);
  const test_support::Bytes record = CertificateRecord(pkcs7_);
  table.insert(table.end(), record.begin(), record.end());
  EXPECT_EQ(SignerName(table), "Quillmarch Test Publisher");
}

TEST_F(PeSignatureTest, AShortenedTableNamesNobody) {
  const test_support::Bytes record = CertificateRecord(pkcs7_);
  for (std::size_t size = 0; size < pkcs7_.size() + 8; ++size) {
    const test_support::Bytes cut(record.begin(), record.begin() + size);
    ASSERT_EQ(SignerName(cut), "") << size;
  }
}

TEST_F(PeSignatureTest, ShortenedSignaturesInAWholeRecordNameNobody) {
  // The record's length agrees with the cut signature, so the DER walk
  // itself meets the missing end.
  for (std::size_t size = 0; size < pkcs7_.size(); size += 7) {
    const test_support::Bytes cut(pkcs7_.begin(), pkcs7_.begin() + size);
    ASSERT_EQ(SignerName(CertificateRecord(cut)), "") << size;
  }
}

TEST_F(PeSignatureTest, DamagedSignaturesStayInsideTheirBytes) {
  const test_support::Bytes record = CertificateRecord(pkcs7_);
  std::size_t named = 0;
  for (std::size_t at = 0; at < record.size(); ++at) {
    for (std::uint8_t value : {0x00, 0x80, 0x84, 0xFF}) {
      test_support::Bytes damaged = record;
      damaged[at] = value;
      const std::string name = SignerName(damaged);
      // A damaged byte may leave the name readable, or change a letter of it.
      EXPECT_LE(name.size(), 256u);
      for (char c : name) ASSERT_GE(static_cast<unsigned char>(c), 0x20) << at;
      named += name == "Quillmarch Test Publisher";
    }
  }
  // Most damage lies in the keys and signature bytes, which the name does
  // not depend on.
  EXPECT_GT(named, record.size());
}

}  // namespace
}  // namespace patchpack::pe
