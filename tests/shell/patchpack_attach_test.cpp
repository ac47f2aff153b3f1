// patchpack attach: what it accepts as a stub, what a second attach does,
// and the replacement message table; and the installer's handling of a
// table short of lines, which attach refuses and a hand-made bundle carries.
#include <sys/stat.h>

#include <random>

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

// Twelve lines, the first three given and the rest filled in.
std::u16string TwelveLines(const std::u16string& first_three) {
  std::u16string text = first_three;
  for (int line = 4; line <= 12; ++line) text += u"\r\nline";
  return text;
}

// An installer attach would not make: the stub with a bundle whose message
// table is short of lines, written as the bundle format lays it out.
void WriteInstallerByHand(const fs::path& stub, const fs::path& payload, const fs::path& table,
                          const fs::path& output) {
  const std::string stub_bytes = ReadText(stub);
  const std::string payload_bytes = ReadText(payload);
  const std::string table_bytes = ReadText(table);
  const auto footer = bundle::EncodeFooter({.stub_size = stub_bytes.size(),
                                            .payload_size = payload_bytes.size(),
                                            .messages_size = table_bytes.size()});
  WriteText(output,
            stub_bytes + payload_bytes + table_bytes + std::string(footer.begin(), footer.end()));
  fs::permissions(output, fs::perms::owner_all);
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

  // The installer needs all twelve, none of them empty; eleven lines and a
  // final CR LF give an empty twelfth.
  std::u16string eleven = TwelveLines(u"One\r\nTwo\r\nThree");
  eleven.resize(eleven.rfind(u"\r\n"));
  WriteTable(root_ / "eleven.txt", eleven);
  EXPECT_THAT(AttachExpectingFailure(kInstallerStub, payload, {"--messages", "eleven.txt"}).err,
              HasSubstr("incomplete message table: 11 lines, the installer needs 12"));
  WriteTable(root_ / "eleven-ended.txt", eleven + u"\r\n");
  EXPECT_THAT(
      AttachExpectingFailure(kInstallerStub, payload, {"--messages", "eleven-ended.txt"}).err,
      HasSubstr("incomplete message table: line 12 is empty"));
  WriteTable(root_ / "one.txt", u"One");
  EXPECT_THAT(AttachExpectingFailure(kInstallerStub, payload, {"--messages", "one.txt"}).err,
              HasSubstr("1 lines"));
}

TEST_F(PatchpackAttachTest, RefusesAnOutputThatIsOneOfItsInputs) {
  const fs::path payload = WritePayload(SamplePatch(14), "patch.payload");
  const std::string payload_bytes = ReadText(payload);
  WriteTable(root_ / "twelve.txt", TwelveLines(u"One\r\nTwo\r\nThree"));
  fs::create_hard_link(payload, root_ / "linked.payload");
  const fs::path installer = Attach(kInstallerStub, payload, root_ / "installer");
  const std::string installer_bytes = ReadText(installer);
  for (const fs::path& output : {payload, root_ / "linked.payload", installer, root_ / "twelve.txt",
                                 fs::path("./patch.payload")}) {
    RunResult run =
        RunProgram(kPatchpack, {.arguments = {"attach", installer.string(), payload.string(), "-o",
                                              output.string(), "--messages", "twelve.txt"},
                                .directory = root_});
    EXPECT_EQ(run.exit_code, 1) << output;
    EXPECT_THAT(run.err, HasSubstr("the output would replace the input")) << output;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
  }
  EXPECT_EQ(ReadText(payload), payload_bytes);
  EXPECT_EQ(ReadText(installer), installer_bytes);
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

// A payload of several read chunks, its last one short, is checked and
// copied whole; a damaged byte in a later chunk is found.
TEST_F(PatchpackAttachTest, ALargePayloadIsCheckedAndCopiedWhole) {
  payload::PatchDescription patch = SamplePatch(14);
  Bytes noise((5 << 19) + 3);  // 2.5 MiB and a little
  std::mt19937 random(11);
  for (std::uint8_t& byte : noise) byte = static_cast<std::uint8_t>(random());
  patch.loose_files.push_back({"data\\noise.bin", noise});
  const fs::path payload = WritePayload(patch, "large.payload");
  const std::string payload_bytes = ReadText(payload);
  ASSERT_GT(payload_bytes.size(), 2u << 20);

  Attach(kInstallerStub, payload, output_, {"--quiet"});
  const std::string written = ReadText(output_);
  const std::string stub = ReadText(kInstallerStub);
  ASSERT_EQ(written.size(), stub.size() + payload_bytes.size() + bundle::kFooterSize);
  EXPECT_TRUE(written.compare(stub.size(), payload_bytes.size(), payload_bytes) == 0);
  MakeGameFolder(game_);
  const RunResult run = RunInstaller(output_, {.directory = game_});
  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(ReadText(game_ / "data" / "noise.bin").size(), noise.size());

  fs::remove(output_);
  std::string damaged = payload_bytes;
  damaged[(3 << 19)] ^= 1;  // in the second chunk
  WriteText(payload, damaged);
  const RunResult refused = AttachExpectingFailure(kInstallerStub, payload);
  EXPECT_THAT(refused.err, HasSubstr("its SHA-1 trailer does not match"));
}

TEST_F(PatchpackAttachTest, AttachingAgainReplacesTheEarlierPayloadAndTable) {
  WriteTable(root_ / "twelve.txt", TwelveLines(u"One\r\nTwo\r\nThree"));
  const fs::path first = Attach(kInstallerStub, WritePayload(SamplePatch(14), "14.payload"),
                                root_ / "first", {"--messages", (root_ / "twelve.txt").string()});
  const fs::path second = WritePayload(SamplePatch(20), "20.payload");
  // The output must be a new file: attaching over the installer is refused.
  const fs::path installer = Attach(first, second, output_);

  EXPECT_EQ(fs::file_size(installer),
            fs::file_size(kInstallerStub) + fs::file_size(second) + bundle::kFooterSize);
  MakeGameFolder(game_);
  const RunResult run = RunInstaller(installer, {.directory = game_});
  EXPECT_EQ(run.exit_code, 0) << run.err;
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
    WriteInstallerByHand(stub, payload, root_ / "three.txt", output_);
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
  WriteInstallerByHand(kInstallerStub, WritePayload(SamplePatch(14), "patch.payload"),
                       root_ / "two.txt", output_);
  MakeGameFolder(game_);
  const RunResult run = RunInstaller(output_, {.directory = game_});
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_THAT(run.out, ::testing::EndsWith("Installing\n\n[]\n"));
}

}  // namespace
}  // namespace installer_test
