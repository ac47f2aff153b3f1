// What patchpack says when it cannot read or write a file: one line naming
// the path as the user gave it and the system's reason, whichever command
// meets the failure, and nothing left behind under the name asked for.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "patchpack_runner.h"
#include "payload/payload_writer.h"
#include "tests/support/files.h"
#include "tests/support/temp_dir.h"

namespace patchpack {
namespace {

namespace fs = std::filesystem;
using patchpack_test::RunPatchpack;
using test_support::Quoted;

constexpr const char* kMissing = ": No such file or directory\n";
constexpr const char* kNotAFolder = ": Not a directory\n";

class PatchpackFailureMessages : public ::testing::Test {
 protected:
  void SetUp() override {
    payload::PatchDescription description;
    description.version = 3;
    description.loose_files = {{"readme.txt", {'h', 'i'}}};
    test_support::WriteBytes(payload_,
                             payload::BuildPayload(payload::BuildPatchStream(description), {}));
    test_support::WriteText(dir_ / "a-file", "in the way of a folder");
  }

  // The command fails with exactly `message` as its one line.
  void ExpectFailure(const std::string& arguments, const std::string& message) {
    SCOPED_TRACE(arguments);
    const auto result = RunPatchpack(arguments);
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_TRUE(patchpack_test::IsOneLineError(result)) << result.out << result.err;
    EXPECT_EQ(result.err, "patchpack: " + message);
  }

  test_support::TempDir dir_{"failure-messages"};
  std::string payload_ = (dir_ / "patch.bin").string();
  std::string missing_ = (dir_ / "missing.bin").string();
};

TEST_F(PatchpackFailureMessages, AFileThatCannotBeReadIsNamedWithTheReason) {
  const std::string stub = PI_PATCH_INSTALLER;
  const std::string installer = (dir_ / "installer").string();
  ExpectFailure("inspect " + Quoted(missing_), "cannot read " + missing_ + kMissing);
  ExpectFailure("attach " + Quoted(missing_) + " " + Quoted(payload_) + " -o " + Quoted(installer),
                "cannot read " + missing_ + kMissing);
  ExpectFailure("attach " + Quoted(stub) + " " + Quoted(missing_) + " -o " + Quoted(installer),
                "cannot read " + missing_ + kMissing);
  ExpectFailure("attach " + Quoted(stub) + " " + Quoted(payload_) + " -o " + Quoted(installer) +
                    " --messages " + Quoted(missing_),
                "cannot read " + missing_ + kMissing);
  ExpectFailure("verify " + Quoted(missing_) + " " + Quoted(dir_.path()),
                "cannot read " + missing_ + kMissing);
  EXPECT_FALSE(fs::exists(installer));
}

TEST_F(PatchpackFailureMessages, AnOutputThatCannotBeWrittenIsNamedAsGiven) {
  test_support::WriteText(dir_ / "source/version.txt", "3");
  test_support::WriteText(dir_ / "source/files/readme.txt", "hi");
  const std::string under_file = (dir_ / "a-file/out").string();
  ExpectFailure("build " + Quoted(dir_ / "source") + " -o " + Quoted(under_file),
                "cannot write " + under_file + kNotAFolder);
  ExpectFailure(
      "attach " + Quoted(PI_PATCH_INSTALLER) + " " + Quoted(payload_) + " -o " + Quoted(under_file),
      "cannot write " + under_file + kNotAFolder);
  const std::string no_folder = (dir_ / "no-folder/installer").string();
  ExpectFailure(
      "attach " + Quoted(PI_PATCH_INSTALLER) + " " + Quoted(payload_) + " -o " + Quoted(no_folder),
      "cannot write " + no_folder + kMissing);
  EXPECT_FALSE(fs::exists(dir_ / "no-folder"));
}

// A folder that cannot take the patch source (here a file stands where its
// parent should be, as a read-only folder would stop it) is named in the
// tool's words, not the library's, and nothing is left of the source.
TEST_F(PatchpackFailureMessages, DiffIntoAFolderItCannotWriteNamesItAndTheReason) {
  test_support::WriteText(dir_ / "old/readme.txt", "old");
  test_support::WriteText(dir_ / "new/readme.txt", "new");
  const std::string source = (dir_ / "a-file/source").string();
  ExpectFailure("diff " + Quoted(dir_ / "old") + " " + Quoted(dir_ / "new") + " -o " +
                    Quoted(source) + " --version 2",
                "cannot write " + source + kNotAFolder);
  EXPECT_EQ(test_support::ReadText(dir_ / "a-file"), "in the way of a folder");
}

}  // namespace
}  // namespace patchpack
