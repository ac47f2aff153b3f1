// Each call that a merge makes through the archive file layer, made to fail
// in turn: the merge either reports the failure with the kind that belongs
// to the archive it hit, or writes exactly the archive of a clean merge; and
// every archive stream it opened is closed again. (Some failures are rightly
// harmless: minizip falls back when the Zip64 locator cannot be read, and
// repeats the first directory read that it makes while opening.)
#include <algorithm>
#include <filesystem>

#include "archive_merge_support.h"
#include "engine/fs/checked_file_system.h"
#include "fs/faulty_file_system.h"

// minizip allocates an entry's central record before it writes the local
// header, and when that write fails it returns without freeing the record and
// without marking the entry open, so nothing can release it: a hundred bytes
// lost per failed run, inside the library.
extern "C" const char* __lsan_default_suppressions() { return "leak:zipOpenNewFileInZip4_64\n"; }

namespace engine::test {
namespace {

int Count(const std::vector<std::string>& calls, const std::string& prefix) {
  return static_cast<int>(std::count_if(calls.begin(), calls.end(), [&](const std::string& call) {
    return call.starts_with(prefix);
  }));
}

TEST_F(ArchiveMergeTest, EveryFailingArchiveCallIsReportedOrHarmless) {
  ASSERT_TRUE(Succeeded(RunCommand(ZipTool() + "python-variety old.zip")));
  const payload::ArchiveRecord record{
      "old.zip", {Entry("replace.me", "new"), Entry("added.txt", "added")}, {"drop.me"}};

  FaultyFileSystem counting(NativeFileSystem());
  CheckedFileSystem checked_counting(counting);
  ASSERT_TRUE(Merge({record}, checked_counting)) << error;
  const std::string clean_result = folder.Read("old.zip.updtmp");
  const std::vector<std::string> clean_calls = counting.calls;
  // The layer above buffers both archives, so a clean run of this small one
  // makes 17 calls: the opens, the seeks and tells that find the ends, one
  // read of each old-archive stream, one write and the closes.
  ASSERT_GT(clean_calls.size(), 15u);

  int reported = 0;
  for (std::size_t n = 1; n <= clean_calls.size(); ++n) {
    const std::string& failing = clean_calls[n - 1];
    SCOPED_TRACE(std::to_string(n) + ": " + failing);
    std::filesystem::remove("old.zip.updtmp");
    FaultyFileSystem faulty(NativeFileSystem());
    faulty.fail_at = static_cast<int>(n);
    // As the run gives it, so that minizip's unchecked tells are seen.
    CheckedFileSystem checked(faulty);

    if (Merge({record}, checked)) {
      EXPECT_TRUE(folder.Read("old.zip.updtmp") == clean_result) << "a different archive";
    } else {
      ++reported;
      EXPECT_EQ(error, failing.ends_with(".updtmp") ? kWriteError : "Unknown");
    }
    const int opened = Count(faulty.calls, "ZipOpen") - (failing.starts_with("ZipOpen") ? 1 : 0);
    EXPECT_EQ(Count(faulty.calls, "ZipClose"), opened);
  }
  EXPECT_GT(reported, 0);
}

}  // namespace
}  // namespace engine::test
