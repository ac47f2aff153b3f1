#include "engine/version_record.h"

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <filesystem>

#include "engine/install_error.h"
#include "fs/faulty_file_system.h"
#include "installation_test.h"

namespace engine::test {
namespace {

using Calls = std::vector<std::string>;

struct ReadCase {
  std::string name;
  std::string contents;
  std::int32_t version;
  std::string tag;
};

class ReadVersionRecordTest : public InstallationTest,
                              public ::testing::WithParamInterface<ReadCase> {};

TEST_P(ReadVersionRecordTest, ReadsTheFieldsAsWindowsTextModeWould) {
  folder.Write("curver.txt", GetParam().contents);
  const VersionRecord record = ReadVersionRecord(NativeFileSystem());
  EXPECT_EQ(record.version, GetParam().version);
  EXPECT_EQ(record.tag, GetParam().tag);
}

INSTANTIATE_TEST_SUITE_P(
    Contents, ReadVersionRecordTest,
    ::testing::Values(ReadCase{"AsWritten", "14\r\nonline", 14, "online"},
                      ReadCase{"NumberOnly", "14\r\n", 14, ""}, ReadCase{"Empty", "", 0, ""},
                      ReadCase{"TagRightAfterDigits", "14online", 14, "online"},
                      ReadCase{"BlankLinesSpacesAndMoreWords",
                               "\r\n\n \t14 \v\f online further words", 14, "online"},
                      ReadCase{"LeadingZeros", "00014 online", 14, "online"},
                      ReadCase{"PlusSign", "+7 beta", 7, "beta"},
                      ReadCase{"Negative", "-5", -5, ""},
                      ReadCase{"SignWithoutDigits", "- 5 online", 0, ""},
                      ReadCase{"NoNumberSoNoTag", "online", 0, ""},
                      ReadCase{"HexPrefixIsNotRead", "0x0E", 0, "x0E"},
                      ReadCase{"Highest", "2147483647 online", INT_MAX, "online"},
                      ReadCase{"AboveHighest", "2147483648 online", 0, ""},
                      ReadCase{"Lowest", "-2147483648 online", INT_MIN, "online"},
                      ReadCase{"BelowLowest", "-2147483649 online", 0, ""},
                      ReadCase{"FarOutOfRange", "99999999999999999999999 online", 0, ""},
                      ReadCase{"CtrlZEndsTheFile", "14\x1Aonline", 14, ""},
                      ReadCase{"CtrlZBeforeTheNumber",
                               "\x1A"
                               "14 online",
                               0, ""},
                      ReadCase{"OnlyAsciiSpacingIsWhitespace", "14\x1Fonline\xA0x", 14,
                               "\x1Fonline\xA0x"}),
    [](const auto& info) { return info.param.name; });

class VersionRecordTest : public InstallationTest {};

TEST_F(VersionRecordTest, MissingFileGivesTheDefaults) {
  const VersionRecord record = ReadVersionRecord(NativeFileSystem());
  EXPECT_EQ(record.version, 0);
  EXPECT_EQ(record.tag, "");
}

TEST_F(VersionRecordTest, GateAsksAtMostOneQuestionAndRefusesOtherEditions) {
  struct Case {
    VersionRecord record;
    std::int32_t patch;
    Calls calls;
  };
  const Case cases[] = {
      {{13, "online"}, 14, {}},
      {{-5, ""}, 14, {}},
      {{14, "online"}, 14, {"AskYesNo: " + kAlreadyInstalled + " -> yes"}},
      {{15, "online"}, 14, {"AskYesNo: " + kNewerInstalled + " -> yes"}},
      // A patch version with the top bit set is negative: everything is newer.
      {{0, ""}, INT_MIN, {"AskYesNo: " + kNewerInstalled + " -> yes"}},
  };
  for (const Case& c : cases) {
    ScriptedHost asked;
    CheckVersionGate(c.record, c.patch, asked);
    EXPECT_EQ(asked.calls, c.calls) << c.record.version << " against " << c.patch;
  }

  for (const char* tag : {"Online", "online2", " online", "retail"}) {
    ScriptedHost refused;
    try {
      CheckVersionGate({14, tag}, 14, refused);
      ADD_FAILURE() << tag << " was accepted";
    } catch (const InstallError& error) {
      EXPECT_EQ(error.kind(), InstallError::Text);
      EXPECT_EQ(Narrow(error.text()), kEnglishOnly);
    }
    EXPECT_TRUE(refused.calls.empty()) << tag;
  }

  for (std::int32_t installed : {14, 15}) {
    ScriptedHost declined;
    declined.answers = {false};
    try {
      CheckVersionGate({installed, ""}, 14, declined);
      ADD_FAILURE() << "No was not taken for " << installed;
    } catch (const InstallError& error) {
      EXPECT_EQ(error.kind(), InstallError::Silent);
    }
  }
}

TEST_F(VersionRecordTest, WritesTheSameBytesOnEveryPlatform) {
  WriteVersionRecord(NativeFileSystem(), 14, "online");
  EXPECT_EQ(folder.Read("curver.txt"), "14\r\nonline");
  WriteVersionRecord(NativeFileSystem(), 14, "");
  EXPECT_EQ(folder.Read("curver.txt"), "14\r\n");
  WriteVersionRecord(NativeFileSystem(), INT_MIN, "");
  EXPECT_EQ(folder.Read("curver.txt"), "-2147483648\r\n");
  const VersionRecord back = ReadVersionRecord(NativeFileSystem());
  EXPECT_EQ(back.version, INT_MIN);
}

TEST_F(VersionRecordTest, FailedWritesAreNotReportedAndKeepTheOldRecordWhole) {
  folder.Write("curver.txt", "13\r\nonline");
  // Every call of the write fails in turn: open, write, close, flush,
  // rename. None is reported, and none leaves a part of a record (a lost
  // tag would be lost for good) or its staged copy.
  const char* steps[] = {"OpenForWriting curver.txt.updtmp", "Write curver.txt.updtmp",
                         "Close curver.txt.updtmp", "FlushToDisk curver.txt.updtmp",
                         "RenameReplacing curver.txt"};
  for (const char* step : steps) {
    SCOPED_TRACE(step);
    FaultyFileSystem faulty(NativeFileSystem());
    faulty.fail_call = step;
    WriteVersionRecord(faulty, 14, "online");
    EXPECT_TRUE(faulty.fail_call.empty()) << "the call was never made";
    EXPECT_EQ(folder.Files(), (std::map<std::string, std::string>{{"curver.txt", "13\r\nonline"}}));
  }
  WriteVersionRecord(NativeFileSystem(), 14, "online");
  EXPECT_EQ(folder.Files(), (std::map<std::string, std::string>{{"curver.txt", "14\r\nonline"}}));
}

TEST_F(VersionRecordTest, RecordIsNeverWrittenThroughALink) {
  folder.Write("outside/victim.txt", "not the installer's");
  std::filesystem::create_symlink(std::filesystem::absolute("outside/victim.txt"), "curver.txt");
  std::filesystem::create_symlink(std::filesystem::absolute("outside/victim.txt"),
                                  "curver.txt.updtmp");
  WriteVersionRecord(NativeFileSystem(), 14, "online");
  EXPECT_EQ(folder.Read("outside/victim.txt"), "not the installer's");
  EXPECT_FALSE(std::filesystem::is_symlink("curver.txt"));
  EXPECT_EQ(folder.Read("curver.txt"), "14\r\nonline");
  EXPECT_FALSE(folder.Exists("curver.txt.updtmp"));
}

TEST_F(VersionRecordTest, ReadOnlyRecordIsReplacedLikeAnyReadOnlyFile) {
  // A rename replaces a file whatever its mode; the folder is what counts.
  folder.Write("curver.txt", "13\r\nonline");
  ASSERT_EQ(chmod("curver.txt", 0444), 0);
  PatchDescription patch;
  patch.version = 14;
  Run(patch);
  EXPECT_EQ(host.calls, SucceededCalls(0));
  EXPECT_EQ(folder.Read("curver.txt"), "14\r\nonline");
}

TEST_F(VersionRecordTest, UnwritableRecordDoesNotStopARun) {
  // The same as a read-only file, for a user whom permissions do not bind.
  folder.Write("curver.txt", "13\r\nonline");
  FaultyFileSystem faulty(NativeFileSystem());
  faulty.fail_call = "OpenForWriting curver.txt.updtmp";
  PatchDescription patch;
  patch.version = 14;
  patch.loose_files = {Entry("a.txt", "new a")};
  Run(payload::BuildPayload(payload::BuildPatchStream(patch)), faulty);
  EXPECT_EQ(host.calls, SucceededCalls(1));
  EXPECT_EQ(folder.Read("curver.txt"), "13\r\nonline");
  EXPECT_EQ(folder.Read("a.txt"), "new a");
}

}  // namespace
}  // namespace engine::test
