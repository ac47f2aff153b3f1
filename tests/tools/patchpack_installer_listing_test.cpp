// patchpack inspect of what is not a bare payload: a console installer made
// by attach, the bare console stub, one cut short, and the --json document
// for a good and a damaged payload.
#include <gtest/gtest.h>

#include <string>

#include "patchpack_runner.h"
#include "payload/payload_writer.h"
#include "payload/sha1.h"
#include "tests/support/files.h"
#include "tests/support/temp_dir.h"

namespace patchpack {
namespace {

using patchpack_test::RunPatchpack;
using test_support::Quoted;

payload::Bytes Text(const std::string& text) { return payload::Bytes(text.begin(), text.end()); }

payload::Bytes SamplePayload() {
  payload::PatchDescription description;
  description.version = 14;
  description.loose_files = {{"data\\readme.txt", Text("new readme")}};
  description.archives = {{"data\\sounds.zip", {{"hit.wav", Text("hit!")}}, {"old.wav"}}};
  description.deletions = {"data\\old.txt"};
  return payload::BuildPayload(payload::BuildPatchStream(description), {});
}

std::string Hex(const payload::Sha1Digest& digest) {
  std::string out;
  for (std::uint8_t byte : digest)
    out += "0123456789abcdef"[byte >> 4], out += "0123456789abcdef"[byte & 15];
  return out;
}

class PatchpackInspectInstaller : public ::testing::Test {
 protected:
  test_support::TempDir dir_{"inspect-installer"};
  std::string payload_ = (dir_ / "patch.bin").string();

  void SetUp() override { test_support::WriteBytes(payload_, SamplePayload()); }
};

TEST_F(PatchpackInspectInstaller, AttachJsonDescribesTheInstallerWritten) {
  const auto installer = dir_ / "installer";
  const auto attached = RunPatchpack("attach " + Quoted(PI_PATCH_INSTALLER) + " " +
                                     Quoted(payload_) + " -o " + Quoted(installer) + " --json");
  ASSERT_EQ(attached.exit_code, 0) << attached.err;
  test_support::WriteText(dir_ / "report.json", attached.out);
  const auto read = test_support::RunCommand(
      "python3 -c 'import json,os,sys; d=json.load(open(sys.argv[1])); "
      "print(d[\"kind\"], d[\"bytes\"] == os.path.getsize(sys.argv[2]), d[\"payload_bytes\"], "
      "\"message_table_bytes\" in d, d[\"installer\"] == sys.argv[2], d[\"result\"])' " +
      Quoted(dir_ / "report.json") + " " + Quoted(installer));
  ASSERT_EQ(read.exit_code, 0) << read.err << attached.out;
  EXPECT_EQ(read.out, "console installer True " + std::to_string(SamplePayload().size()) +
                          " False True written\n");
}

TEST_F(PatchpackInspectInstaller, ListsThePayloadInsideAConsoleInstaller) {
  const auto installer = dir_ / "installer";
  ASSERT_TRUE(test_support::Succeeded(RunPatchpack("attach " + Quoted(PI_PATCH_INSTALLER) + " " +
                                                   Quoted(payload_) + " -o " + Quoted(installer))));
  const auto direct = RunPatchpack("inspect " + Quoted(payload_));
  const auto inside = RunPatchpack("inspect " + Quoted(installer));
  ASSERT_EQ(inside.exit_code, 0) << inside.err;
  EXPECT_EQ(inside.out, "console installer, payload " + std::to_string(SamplePayload().size()) +
                            " bytes\n" + direct.out);
}

TEST_F(PatchpackInspectInstaller, SaysABareStubCarriesNothing) {
  const auto result = RunPatchpack("inspect " + Quoted(PI_PATCH_INSTALLER));
  EXPECT_EQ(result.exit_code, 1);
  EXPECT_TRUE(patchpack_test::IsOneLineError(result)) << result.err;
  EXPECT_NE(result.err.find("console stub: nothing is attached"), std::string::npos) << result.err;
}

// An interrupted download: the installer cut in its payload, in its footer,
// and in the stub itself. Each is said to be truncated, with its size, by
// inspect (also in --json) and by verify: never a stub with nothing attached,
// never a payload.
TEST_F(PatchpackInspectInstaller, SaysACutConsoleInstallerIsTruncated) {
  const auto installer = dir_ / "installer";
  ASSERT_TRUE(test_support::Succeeded(RunPatchpack("attach " + Quoted(PI_PATCH_INSTALLER) + " " +
                                                   Quoted(payload_) + " -o " + Quoted(installer))));
  const payload::Bytes whole = test_support::ReadBytes(installer);
  const std::size_t stub = test_support::ReadBytes(PI_PATCH_INSTALLER).size();
  const auto game = dir_ / "game";
  test_support::WriteText(game / "curver.txt", "13\n");
  for (const std::size_t size : {whole.size() - 1, stub + SamplePayload().size() / 2, stub + 1,
                                 stub / 2, std::size_t{100}}) {
    const auto cut = dir_ / "cut";
    test_support::WriteBytes(cut, payload::Bytes(whole.begin(), whole.begin() + size));
    const std::string said =
        "truncated console installer: the file is " + std::to_string(size) + " bytes";
    const auto inspected = RunPatchpack("inspect " + Quoted(cut));
    EXPECT_EQ(inspected.exit_code, 1) << size;
    EXPECT_TRUE(patchpack_test::IsOneLineError(inspected)) << inspected.err;
    EXPECT_NE(inspected.err.find(said), std::string::npos) << inspected.err;
    const auto json = RunPatchpack("inspect --json " + Quoted(cut));
    EXPECT_NE(json.out.find("\"result\": \"truncated\""), std::string::npos) << json.out;
    const auto verified = RunPatchpack("verify " + Quoted(cut) + " " + Quoted(game));
    EXPECT_EQ(verified.exit_code, 1) << size;
    EXPECT_NE(verified.err.find(said), std::string::npos) << verified.err;
  }
  // Cut in the payload, it tells the stub's size and how much came after it.
  const auto cut = dir_ / "cut";
  test_support::WriteBytes(cut, payload::Bytes(whole.begin(), whole.begin() + stub + 10));
  EXPECT_NE(RunPatchpack("inspect " + Quoted(cut))
                .err.find(": the " + std::to_string(stub) + " bytes of the stub, then 10 bytes"),
            std::string::npos);
  // A stub cut short is no stub to attach to.
  test_support::WriteBytes(cut, payload::Bytes(whole.begin(), whole.begin() + stub / 2));
  const auto attached = RunPatchpack("attach " + Quoted(cut) + " " + Quoted(payload_) + " -o " +
                                     Quoted(dir_ / "out"));
  EXPECT_EQ(attached.exit_code, 1);
  EXPECT_NE(attached.err.find("truncated console installer"), std::string::npos) << attached.err;
}

TEST_F(PatchpackInspectInstaller, JsonGivesSizesDigestStagingAndResult) {
  const auto result = RunPatchpack("inspect --json " + Quoted(payload_));
  ASSERT_EQ(result.exit_code, 0) << result.err;
  const std::string& json = result.out;
  const auto has = [&](const std::string& text) {
    EXPECT_NE(json.find(text), std::string::npos) << text << " in\n" << json;
  };
  has("\"kind\": \"payload\"");
  has("\"sha1\": \"" + Hex(payload::ComputeSha1(SamplePayload())) + "\"");
  has("\"version\": 14");
  has("{\"name\": \"data\\\\readme.txt\", \"bytes\": 10}");
  has("\"new_entries\": [{\"name\": \"hit.wav\", \"bytes\": 4}], \"dropped_entries\": "
      "[\"old.wav\"]");
  has("\"paths\": [\"data\\\\old.txt\"]");
  // Ten bytes of loose file and four of new entry; the archive's own size is
  // unknown, so the figure is a floor.
  has("\"staging\": {\"bytes_at_least\": 14, \"exact\": false");
  has("\"result\": \"ok\"");

  payload::Bytes damaged = SamplePayload();
  damaged[3] ^= 1;
  test_support::WriteBytes(payload_, damaged);
  const auto failed = RunPatchpack("inspect --json " + Quoted(payload_));
  EXPECT_EQ(failed.exit_code, 1);
  EXPECT_NE(failed.out.find("\"result\": \"corrupt\""), std::string::npos) << failed.out;
  EXPECT_EQ(failed.out.find("\"version\""), std::string::npos) << failed.out;
  EXPECT_EQ(std::count(failed.err.begin(), failed.err.end(), '\n'), 1) << failed.err;
}

}  // namespace
}  // namespace patchpack
