// What the archive-merge tests share: streams that start at the archive
// section, and the view of an archive that Python's zipfile, Info-ZIP's
// unzip and 7-Zip give, so that the merge's output is judged by readers that
// nobody here wrote.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "engine/commit_list.h"
#include "engine/fs/file_system.h"
#include "installation_test.h"
#include "payload/patch_stream.h"
#include "payload/payload_writer.h"
#include "tests/support/command.h"

namespace engine::test {

// One entry as zip_tool.py dumps it.
struct DumpedEntry {
  std::string name;
  int method = 0;
  unsigned flag = 0;
  std::uint32_t dos_time = 0;
  std::uint32_t crc = 0;
  std::uint64_t compressed_size = 0;
  std::uint64_t size = 0;
  std::string extra_ids;  // of the central extra fields, "-" for none
  int comment_length = 0;
  std::uint64_t external_attributes = 0;
  std::uint64_t internal_attributes = 0;
  std::string stored_sha1;  // of the compressed bytes as stored
  std::string content;      // hex, or "sha1:..." for long contents
};

struct DumpedArchive {
  std::vector<DumpedEntry> entries;
  int comment_length = -1;
};

using test_support::CommandResult;
using test_support::RunCommand;
using test_support::Succeeded;

// "python3 .../zip_tool.py " ready for a subcommand.
std::string ZipTool();
DumpedArchive DumpArchive(const std::string& path);
// An entry's content as zip_tool.py shows it.
std::string ShownContent(const std::string& bytes);
// A new entry: deflated at level 9, date, time and attributes 0, no extra
// field but the Zip64 one where sizes or offset need it.
void ExpectNewEntry(const DumpedEntry& entry, const std::string& name, const std::string& content);
// An old entry copied raw under `name`: same stored bytes, method, option
// bits, CRC-32, sizes, date and time; no attributes, comment or extra field
// but the Zip64 one.
void ExpectCopiedEntry(const DumpedEntry& copy, const DumpedEntry& old_entry,
                       const std::string& name);
// The whole staged archive that `record` makes of `old_archive`: its new
// entries in order, then every old entry that it neither replaces nor drops,
// lower-cased, in the old order; no archive comment.
void ExpectMergedFrom(const DumpedArchive& old_archive, const DumpedArchive& staged,
                      const payload::ArchiveRecord& record);
// unzip -t, 7z t and zipfile.testzip() all accept the archive.
::testing::AssertionResult AcceptedByTools(const std::string& path);

// A patch stream that stands at its archive section.
payload::PatchStream ArchiveSection(const std::vector<payload::ArchiveRecord>& archives);

class ArchiveMergeTest : public InstallationTest {
 protected:
  // Runs MergeArchives over `archives`; returns true when it completed, and
  // otherwise records the error's kind and text.
  bool Merge(const std::vector<payload::ArchiveRecord>& archives);
  bool Merge(const std::vector<payload::ArchiveRecord>& archives, FileSystem& file_system);

  CommitList commit_list;
  std::string error;  // "Silent", "Unknown" or the text; empty after success
};

}  // namespace engine::test
