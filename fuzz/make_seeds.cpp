// Writes the seed corpora of the fuzz targets, one folder per target under
// the folder given, from the same builders the tests use: small valid inputs
// of every shape, from which the fuzzer mutates its way into the damaged ones.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "engine/archive/zip64_end_record.h"
#include "fuzz/fuzz_game.h"
#include "payload/payload_container.h"
#include "payload/payload_writer.h"

namespace {

namespace fs = std::filesystem;
using payload::Bytes;

void Write(const fs::path& folder, const std::string& name, const std::string& bytes) {
  fs::create_directories(folder);
  std::ofstream(folder / name, std::ios::binary) << bytes;
}

std::string Text(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }
Bytes Data(const std::string& text) { return Bytes(text.begin(), text.end()); }

// Patches of the shapes the run meets, against the run target's game folder.
std::vector<payload::PatchDescription> Patches() {
  payload::PatchDescription typical;
  typical.version = 6;
  typical.loose_files = {{"sv.exe", Data("MZ new game")},
                         {"DATA\\game.ini", Data("[game]\r\nnew\r\n")},
                         {"data\\new\\x.bin", Data(std::string(64, 'x'))}};
  typical.archives = {
      {"data\\textures.zip", {{"e.txt", Data("echo")}, {"b.txt", Data("new")}}, {"c/d.txt"}}};
  typical.deletions = {"data\\maps\\a.bin"};

  payload::PatchDescription same = typical;  // asks to reinstall
  same.version = 5;
  payload::PatchDescription archive_only;
  archive_only.version = 9;
  archive_only.archives = {{"data\\new.zip", {{"n.txt", Data("new archive")}}, {}}};
  payload::PatchDescription empty;
  return {typical, same, archive_only, empty};
}

std::vector<std::string> Zips() {
  const std::string plain =
      fuzz::MakeZip({{"a.txt", "alpha"}, {"b.txt", "bravo"}, {"c/d.txt", "delta"}});
  const std::string one = fuzz::MakeZip({{"B.TXT", std::string(500, 'z')}});
  // The end record alone: an archive without entries.
  const std::string empty("PK\x05\x06" + std::string(18, '\0'));
  // Every entry with the Zip64 extra field, as minizip writes an entry of
  // 4 GiB or more; then the Zip64 end records that the merge adds to an
  // archive of 65,535 entries or more.
  const std::string zip64 = fuzz::MakeZip({{"a.txt", "alpha"}, {"b.txt", "bravo"}}, true);
  engine::test::MemoryFileSystem folder;
  folder.AddFile("z.zip", plain);
  if (!engine::CompleteZip64End(folder.ZipFileFunctions(), "z.zip", 3)) std::abort();
  return {plain, one, empty, "stub bytes in front" + plain, zip64, folder.files.at("z.zip")};
}

// One DER element: tag, definite length, content.
std::string Der(std::uint8_t tag, const std::string& content) {
  std::string length;
  if (content.size() <= 0x7F) {
    length.push_back(static_cast<char>(content.size()));
  } else {
    for (std::size_t left = content.size(); left > 0; left >>= 8) {
      length.insert(length.begin(), static_cast<char>(left & 0xFF));
    }
    length.insert(length.begin(), static_cast<char>(0x80 | length.size()));
  }
  return std::string(1, static_cast<char>(tag)) + length + content;
}

// A certificate table as a signing tool writes it, with the parts of a
// PKCS#7 SignedData that the reader walks: one self-issued certificate and
// one signer that names it by issuer and serial number. No key or signature
// bytes: the reader does not look at them.
std::string CertificateTable() {
  const std::string oid_common_name = Der(0x06, "\x55\x04\x03");
  const std::string name =
      Der(0x30, Der(0x31, Der(0x30, oid_common_name + Der(0x0C, "Quillmarch Test Publisher"))));
  const std::string serial = Der(0x02, "\x01\x23");
  const std::string algorithm = Der(0x30, Der(0x06, "\x2A\x86\x48\x86\xF7\x0D\x01\x01\x0B"));
  const std::string tbs = Der(0x30, Der(0xA0, Der(0x02, "\x02")) + serial + algorithm + name +
                                        Der(0x30, "") + name + Der(0x30, ""));
  const std::string certificate = Der(0x30, tbs + algorithm + Der(0x03, std::string(1, '\0')));
  const std::string signer_info =
      Der(0x30, Der(0x02, "\x01") + Der(0x30, name + serial) + algorithm);
  const std::string signed_data =
      Der(0x30, Der(0x02, "\x01") + Der(0x31, algorithm) + Der(0x30, Der(0x06, "\x2B\x06\x01")) +
                    Der(0xA0, certificate) + Der(0x31, signer_info));
  std::string pkcs7 =
      Der(0x30, Der(0x06, "\x2A\x86\x48\x86\xF7\x0D\x01\x07\x02") + Der(0xA0, signed_data));
  const std::size_t length = pkcs7.size() + 8;
  std::string table = {
      static_cast<char>(length & 0xFF), static_cast<char>(length >> 8), 0, 0, 0, 2, 2, 0};
  table += pkcs7;
  table.resize((table.size() + 7) / 8 * 8);
  return table;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: make_fuzz_seeds OUTPUT_FOLDER MESSAGES_TXT\n");
    return 2;
  }
  const fs::path out = argv[1];
  int index = 0;
  for (const payload::PatchDescription& patch : Patches()) {
    const std::string name = "seed" + std::to_string(index++);
    const Bytes stream = payload::BuildPatchStream(patch);
    Write(out / "patch_stream_fuzz", name, Text(stream));
    for (bool x86 : {false, true}) {
      Bytes body = payload::BuildPayload(stream, {.x86_filter = x86});
      body.resize(body.size() - payload::kTrailerSize);
      Write(out / "payload_fuzz", name + (x86 ? "x86" : ""), Text(body));
    }
    // Answers yes; no failing call, no cancel.
    Write(out / "run_fuzz", name, "\x01" + std::string(1, '\0') + Text(stream));
    // The typical patch with a call failing at points spread over its run:
    // the staging, the journal, the commit and the recovery from it.
    if (index == 1) {
      for (int fail_at = 4; fail_at < 128; fail_at += 6) {
        Write(out / "run_fuzz", name + "fail" + std::to_string(fail_at),
              std::string(1, static_cast<char>(fail_at << 1 | 1)) + std::string(1, '\0') +
                  Text(stream));
      }
    }
  }
  // The folder a commit killed half way leaves, then the same with a second
  // spelling, a path outside, garbage, and links: see leftover_journal_fuzz.
  index = 0;
  for (const std::string& leftovers :
       {std::string("\x00", 1), std::string("\x00\x03\x00\x00\x06\xfe\x03\x03", 8),
        std::string("\x03\x03\x00\x03\x02\x03\x0c", 7), std::string("\x01\x01\x09\xfe\x01\x0a", 6),
        std::string("\x04\x01\x05\xffxyz", 7)}) {
    Write(out / "leftover_journal_fuzz", "seed" + std::to_string(index++), leftovers);
  }
  index = 0;
  for (const std::string& zip : Zips()) {
    const std::string name = "seed" + std::to_string(index++);
    Write(out / "archive_merge_fuzz", name, zip);
    Write(out / "zip_reader_fuzz", name, zip);
  }
  index = 0;
  for (const char* record :
       {"5\r\nonline", "-2147483648\r\n", "13\r\n\x1a tail", " +7  tag more"}) {
    Write(out / "version_record_fuzz", "seed" + std::to_string(index++), record);
  }
  Write(out / "pe_signature_fuzz", "seed0", CertificateTable());
  std::ifstream messages(argv[2], std::ios::binary);
  Write(out / "message_table_fuzz", "seed0",
        std::string(std::istreambuf_iterator<char>(messages), {}));
  Write(out / "message_table_fuzz", "seed1",
        std::string("\xff\xfe"
                    "a\0\r\0\n\0b\0",
                    10));
  return 0;
}
