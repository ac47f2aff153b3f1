// patchpack attach: what it accepts as a stub, what a second attach does,
// and the replacement message table.
#include <sys/stat.h>

#include "bundle/bundle_format.h"
#include "tests/shell/installer_fixture.h"

namespace installer_test {
namespace {

using ::testing::HasSubstr;

// A message table file: UTF-16LE behind its byte-order mark.
void WriteTable(const fs::path& path, const std::u16string& text) {
  std::string bytes = "\xFF\xFE";
  for (char16_t unit : text) {
    bytes.push_back(static_cast<char>(unit & 0xFF));
    bytes.push_back(static_cast<char>(unit >> 8));
  }
  WriteText(path, bytes);
}

class PatchpackAttachTest : public InstallerTest {
 protected:
  PatchpackAttachTest() { fs::create_directories(output_.parent_path()); }

  RunResult AttachExpectingFailure(const fs::path& stub, const fs::path& payload,
                                   const std::vector<std::string>& extra = {}) {
    RunOptions options{
        .arguments = {"attach", stub.string(), payload.string(), "-o", output_.string()},
        .directory = root_};
    options.arguments.insert(options.arguments.end(), extra.begin(), extra.end());
    RunResult run = RunProgram(kPatchpack, options);
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    EXPECT_FALSE(fs::exists(output_));
    return run;
  }

  fs::path output_ = root_ / "out" / "installer";
};

TEST_F(PatchpackAttachTest, RefusesWhatIsNotAStub) {
  const fs::path payload = WritePayload(SamplePatch(14), "patch.payload");
  WriteText(root_ / "notes.txt", "not a program");
  // patchpack holds the marker text itself, but not the stub's section.
  for (const fs::path& stub : {root_ / "notes.txt", kPatchpack, fs::path("/bin/sh")}) {
    const RunResult run = AttachExpectingFailure(stub, payload);
    EXPECT_THAT(run.err, HasSubstr("not a patch-installer stub")) << stub;
  }
}

TEST_F(PatchpackAttachTest, RefusesADamagedPayloadOrMessageTable) {
  const fs::path payload = WritePayload(SamplePatch(14), "patch.payload");
  std::string damaged = ReadText(payload);
  damaged[damaged.size() / 2] ^= 1;
  WriteText(root_ / "damaged.payload", damaged);
  EXPECT_THAT(AttachExpectingFailure(kInstallerStub, root_ / "damaged.payload").err,
              HasSubstr("not a payload"));

  WriteText(root_ / "messages.txt", "One\r\nTwo");
  EXPECT_THAT(AttachExpectingFailure(kInstallerStub, payload, {"--messages", "messages.txt"}).err,
              HasSubstr("not a message table"));
}

TEST_F(PatchpackAttachTest, WritesAnExecutableInstallerWithTheDocumentedFooter) {
  const fs::path payload = WritePayload(SamplePatch(14), "patch.payload");
  Attach(kInstallerStub, payload, output_);

  const std::string stub = ReadText(kInstallerStub);
  const std::string written = ReadText(output_);
  const std::string payload_bytes = ReadText(payload);
  ASSERT_EQ(written.size(), stub.size() + payload_bytes.size() + bundle::kFooterSize);
  EXPECT_EQ(written.substr(0, stub.size()), stub);
  EXPECT_EQ(written.substr(stub.size(), payload_bytes.size()), payload_bytes);
  const std::string footer = written.substr(written.size() - bundle::kFooterSize);
  EXPECT_EQ(footer.substr(0, 8), "PIBUNDLE");
  const auto layout = bundle::DecodeFooter(
      std::span(reinterpret_cast<const std::uint8_t*>(footer.data()), footer.size()),
      written.size());
  ASSERT_TRUE(layout);
  EXPECT_EQ(layout->stub_size, stub.size());
  EXPECT_EQ(layout->payload_size, payload_bytes.size());
  EXPECT_EQ(layout->messages_size, 0u);
  EXPECT_EQ(fs::status(output_).permissions() & fs::perms::owner_exec, fs::perms::owner_exec);
}

TEST_F(PatchpackAttachTest, AttachingAgainReplacesTheEarlierPayloadAndTable) {
  WriteTable(root_ / "three.txt", u"One\r\nTwo\r\nThree");
  const fs::path installer = Attach(kInstallerStub, WritePayload(SamplePatch(14), "14.payload"),
                                    output_, {"--messages", (root_ / "three.txt").string()});
  const fs::path second = WritePayload(SamplePatch(20), "20.payload");
  Attach(installer, second, installer);

  EXPECT_EQ(fs::file_size(installer),
            fs::file_size(kInstallerStub) + fs::file_size(second) + bundle::kFooterSize);
  MakeGameFolder(game_);
  const RunResult run = RunInstaller(installer, {.directory = game_});
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(run.out, SuccessTranscript());
  EXPECT_EQ(ReadText(game_ / "data" / "readme.txt"), "new readme 20");
  EXPECT_EQ(ReadText(game_ / "curver.txt"), "20\r\nonline");
}

TEST_F(PatchpackAttachTest, AReplacementTableSuppliesTheTexts) {
  // Three messages, so slots 3 to 11 stay empty.
  WriteTable(root_ / "three.txt", u"Unpacking \u00E9\U0001F4E6\r\nInstalling\r\nStop");
  const fs::path payload = WritePayload(SamplePatch(14), "patch.payload");
  MakeGameFolder(game_);

  // Also a stub built without any table of its own runs with it.
  for (const fs::path& stub : {kInstallerStub, kStubWithoutMessages}) {
    Attach(stub, payload, output_, {"--messages", "three.txt"});
    MakeGameFolder(game_);
    const RunResult run = RunInstaller(output_, {.directory = game_});
    EXPECT_EQ(run.exit_code, 0) << stub;
    EXPECT_EQ(run.out,
              "Patch Installer\n"
              "Unpacking \xC3\xA9\xF0\x9F\x93\xA6\n"
              "[Stop: Ctrl+C]\n"
              "Installing\n"
              "\n"
              "[]\n")
        << stub;
  }
}

TEST_F(PatchpackAttachTest, AShortTableNeverOffersCtrlCOnceTheRunHasFinished) {
  // Two messages: the Cancel and the Close captions are both missing.
  WriteTable(root_ / "two.txt", u"Unpacking\r\nInstalling");
  Attach(kInstallerStub, WritePayload(SamplePatch(14), "patch.payload"), output_,
         {"--messages", "two.txt"});
  MakeGameFolder(game_);
  const RunResult run = RunInstaller(output_, {.directory = game_});
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_THAT(run.out, ::testing::EndsWith("Installing\n\n[]\n"));
}

}  // namespace
}  // namespace installer_test
