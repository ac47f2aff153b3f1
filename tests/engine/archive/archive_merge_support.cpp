#include "archive_merge_support.h"

#include <algorithm>
#include <memory>
#include <set>
#include <span>
#include <sstream>
#include <stdexcept>

#include "base/ascii.h"
#include "base/hex.h"
#include "engine/archive/archive_merge.h"
#include "engine/install_error.h"
#include "payload/sha1.h"
#include "tests/support/bytes.h"

namespace engine::test {
namespace {

std::vector<std::string> SplitTabs(const std::string& line) {
  std::vector<std::string> fields;
  std::size_t start = 0;
  for (std::size_t tab; (tab = line.find('\t', start)) != std::string::npos; start = tab + 1) {
    fields.push_back(line.substr(start, tab - start));
  }
  fields.push_back(line.substr(start));
  return fields;
}

DumpedEntry ParseEntry(const std::vector<std::string>& f) {
  if (f.size() != 13) throw std::runtime_error("zip_tool.py: unexpected entry line");
  DumpedEntry e;
  e.name = f[0];
  e.method = std::stoi(f[1]);
  e.flag = static_cast<unsigned>(std::stoul(f[2], nullptr, 16));
  e.dos_time = static_cast<std::uint32_t>(std::stoul(f[3], nullptr, 16));
  e.crc = static_cast<std::uint32_t>(std::stoul(f[4], nullptr, 16));
  e.compressed_size = std::stoull(f[5]);
  e.size = std::stoull(f[6]);
  e.extra_ids = f[7];
  e.comment_length = std::stoi(f[8]);
  e.external_attributes = std::stoull(f[9]);
  e.internal_attributes = std::stoull(f[10]);
  e.stored_sha1 = f[11];
  e.content = f[12];
  return e;
}

// The overrun of a test stream is a fault of the test itself.
[[noreturn]] void TestStreamOverrun() { throw std::logic_error("test stream overrun"); }

}  // namespace

std::string ZipTool() { return "python3 " PI_SOURCE_DIR "/tests/engine/archive/zip_tool.py "; }

DumpedArchive DumpArchive(const std::string& path) {
  const CommandResult dump = RunCommand(ZipTool() + "dump '" + path + "'");
  if (dump.exit_code != 0) {
    throw std::runtime_error("zip_tool.py cannot read " + path + ": " + dump.err);
  }
  DumpedArchive archive;
  std::istringstream lines(dump.out);
  for (std::string line; std::getline(lines, line);) {
    const std::vector<std::string> fields = SplitTabs(line);
    if (fields.size() == 2 && fields[0] == "comment") {
      archive.comment_length = std::stoi(fields[1]);
    } else {
      archive.entries.push_back(ParseEntry(fields));
    }
  }
  return archive;
}

std::string ShownContent(const std::string& bytes) {
  const std::span<const std::uint8_t> data(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                           bytes.size());
  if (bytes.size() > 64) return "sha1:" + base::LowerHex(payload::ComputeSha1(data));
  return base::LowerHex(data);
}

// Flag bits that a copy keeps: the compression options and UTF-8 names.
constexpr unsigned kKeptFlags = 0x0806;

void ExpectNewEntry(const DumpedEntry& entry, const std::string& name, const std::string& content) {
  SCOPED_TRACE(name);
  EXPECT_EQ(entry.name, name);
  EXPECT_EQ(entry.method, 8);
  EXPECT_EQ(entry.flag, 0x0002u);  // level 9
  EXPECT_EQ(entry.dos_time, 0u);
  EXPECT_TRUE(entry.extra_ids == "-" || entry.extra_ids == "0001") << entry.extra_ids;
  EXPECT_EQ(entry.comment_length, 0);
  EXPECT_EQ(entry.external_attributes, 0u);
  // Not even the text bit that minizip would set from zlib's guess.
  EXPECT_EQ(entry.internal_attributes, 0u);
  EXPECT_EQ(entry.content, ShownContent(content));
}

void ExpectCopiedEntry(const DumpedEntry& copy, const DumpedEntry& old_entry,
                       const std::string& name) {
  SCOPED_TRACE(old_entry.name);
  EXPECT_EQ(copy.name, name);
  EXPECT_EQ(copy.method, old_entry.method);
  EXPECT_EQ(copy.flag, old_entry.flag & kKeptFlags);
  EXPECT_EQ(copy.dos_time, old_entry.dos_time);
  EXPECT_EQ(copy.crc, old_entry.crc);
  EXPECT_EQ(copy.compressed_size, old_entry.compressed_size);
  EXPECT_EQ(copy.size, old_entry.size);
  EXPECT_EQ(copy.stored_sha1, old_entry.stored_sha1);  // copied raw, not recompressed
  EXPECT_EQ(copy.content, old_entry.content);
  // Only the Zip64 field, which minizip adds where the 32-bit fields overflow.
  EXPECT_TRUE(copy.extra_ids == "-" || copy.extra_ids == "0001") << copy.extra_ids;
  EXPECT_EQ(copy.comment_length, 0);
  EXPECT_EQ(copy.external_attributes, 0u);
  EXPECT_EQ(copy.internal_attributes, 0u);
}

void ExpectMergedFrom(const DumpedArchive& old_archive, const DumpedArchive& staged,
                      const payload::ArchiveRecord& record) {
  std::set<std::string> skipped(record.drop_names.begin(), record.drop_names.end());
  for (const payload::FileEntry& entry : record.new_entries) skipped.insert(entry.name);
  std::vector<std::pair<const DumpedEntry*, std::string>> survivors;
  for (const DumpedEntry& entry : old_archive.entries) {
    const std::string lower = base::ToLowerAscii(entry.name);
    if (!skipped.contains(lower)) survivors.emplace_back(&entry, lower);
  }
  ASSERT_EQ(staged.entries.size(), record.new_entries.size() + survivors.size());
  EXPECT_EQ(staged.comment_length, 0);
  std::size_t at = 0;
  for (const payload::FileEntry& entry : record.new_entries) {
    ExpectNewEntry(staged.entries[at++], entry.name,
                   std::string(entry.content.begin(), entry.content.end()));
  }
  for (const auto& [old_entry, lower] : survivors) {
    ExpectCopiedEntry(staged.entries[at++], *old_entry, lower);
  }
}

::testing::AssertionResult AcceptedByTools(const std::string& path) {
  const CommandResult unzip = RunCommand("unzip -tqq '" + path + "' 2>&1");
  if (unzip.exit_code != 0) return ::testing::AssertionFailure() << "unzip -t: " << unzip.out;
  const CommandResult seven = RunCommand("7z t '" + path + "' 2>&1");
  if (seven.exit_code != 0) return ::testing::AssertionFailure() << "7z t: " << seven.out;
  const CommandResult python = RunCommand(ZipTool() + "test '" + path + "' 2>&1");
  if (python.exit_code != 0) return ::testing::AssertionFailure() << python.out;
  return ::testing::AssertionSuccess();
}

payload::PatchStream ArchiveSection(const std::vector<payload::ArchiveRecord>& archives) {
  payload::PatchDescription description;
  description.archives = archives;
  const payload::Bytes bytes = payload::BuildPatchStream(description);
  auto block = std::make_unique<std::uint8_t[]>(bytes.size());
  std::copy(bytes.begin(), bytes.end(), block.get());
  payload::PatchStream stream(std::move(block), static_cast<std::uint32_t>(bytes.size()),
                              TestStreamOverrun);
  stream.ReadU32();
  if (!stream.ReadName().empty()) throw std::logic_error("loose files in a test stream");
  return stream;
}

bool ArchiveMergeTest::Merge(const std::vector<payload::ArchiveRecord>& archives) {
  return Merge(archives, NativeFileSystem());
}

bool ArchiveMergeTest::Merge(const std::vector<payload::ArchiveRecord>& archives,
                             FileSystem& file_system) {
  payload::PatchStream stream = ArchiveSection(archives);
  error.clear();
  try {
    StagingProgress progress(host, {});
    MergeArchives(stream, commit_list, host, progress, file_system);
  } catch (const InstallError& failure) {
    switch (failure.kind()) {
      case InstallError::Silent:
        error = "Silent";
        break;
      case InstallError::Unknown:
        error = "Unknown";
        break;
      case InstallError::Text:
        error = Narrow(failure.text());
        break;
    }
    return false;
  }
  // The cursor must stand at the deletion section, which is empty here.
  EXPECT_TRUE(stream.ReadName().empty());
  EXPECT_TRUE(stream.IsFullyConsumed());
  return true;
}

}  // namespace engine::test
