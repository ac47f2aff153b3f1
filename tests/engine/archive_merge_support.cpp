#include "archive_merge_support.h"

#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <sstream>
#include <stdexcept>

#include "engine/archive_merge.h"
#include "engine/install_error.h"

namespace engine::test {
namespace {

struct PipeCloser {
  void operator()(std::FILE* pipe) const { pclose(pipe); }
};

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
  e.extra_length = std::stoi(f[7]);
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

CommandResult RunCommand(const std::string& command) {
  CommandResult result;
  std::unique_ptr<std::FILE, PipeCloser> pipe(popen(command.c_str(), "r"));
  if (!pipe) return result;
  char chunk[4096];
  for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, pipe.get())) > 0;) {
    result.output.append(chunk, n);
  }
  const int status = pclose(pipe.release());
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

std::string ZipTool() { return "python3 " PI_SOURCE_DIR "/tests/engine/zip_tool.py "; }

DumpedArchive DumpArchive(const std::string& path) {
  const CommandResult dump = RunCommand(ZipTool() + "dump '" + path + "'");
  if (dump.status != 0) throw std::runtime_error("zip_tool.py cannot read " + path);
  DumpedArchive archive;
  std::istringstream lines(dump.output);
  for (std::string line; std::getline(lines, line);) {
    const std::vector<std::string> fields = SplitTabs(line);
    if (fields.size() == 2 && fields[0] == "testzip") {
      archive.test_passed = fields[1] == "ok";
    } else if (fields.size() == 2 && fields[0] == "comment") {
      archive.comment_length = std::stoi(fields[1]);
    } else {
      archive.entries.push_back(ParseEntry(fields));
    }
  }
  return archive;
}

std::string ShownContent(const std::string& bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (unsigned char c : bytes) {
    hex += kDigits[c >> 4];
    hex += kDigits[c & 15];
  }
  return hex;
}

::testing::AssertionResult AcceptedByTools(const std::string& path) {
  const CommandResult unzip = RunCommand("unzip -tqq '" + path + "' 2>&1");
  if (unzip.status != 0) return ::testing::AssertionFailure() << "unzip -t: " << unzip.output;
  const CommandResult seven = RunCommand("7z t '" + path + "' 2>&1");
  if (seven.status != 0) return ::testing::AssertionFailure() << "7z t: " << seven.output;
  if (!DumpArchive(path).test_passed) return ::testing::AssertionFailure() << "testzip failed";
  return ::testing::AssertionSuccess();
}

payload::PatchStream ArchiveSection(const std::vector<patchpack::ArchiveRecord>& archives) {
  patchpack::PatchDescription description;
  description.archives = archives;
  const patchpack::Bytes bytes = patchpack::BuildPatchStream(description);
  auto block = std::make_unique<std::uint8_t[]>(bytes.size());
  std::copy(bytes.begin(), bytes.end(), block.get());
  payload::PatchStream stream(std::move(block), static_cast<std::uint32_t>(bytes.size()),
                              TestStreamOverrun);
  stream.ReadU32();
  if (!stream.ReadName().empty()) throw std::logic_error("loose files in a test stream");
  return stream;
}

bool ArchiveMergeTest::Merge(const std::vector<patchpack::ArchiveRecord>& archives) {
  return Merge(archives, NativeFileSystem());
}

bool ArchiveMergeTest::Merge(const std::vector<patchpack::ArchiveRecord>& archives,
                             FileSystem& file_system) {
  payload::PatchStream stream = ArchiveSection(archives);
  error.clear();
  try {
    MergeArchives(stream, commit_list, host, file_system);
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
