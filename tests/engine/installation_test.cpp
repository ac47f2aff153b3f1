#include "installation_test.h"

#include "engine/run_installation.h"
#include "messages/message_table.h"
#include "tests/support/files.h"

namespace engine::test {

Bytes AsBytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

payload::FileEntry Entry(const std::string& name, const std::string& content) {
  return {name, AsBytes(content)};
}

std::vector<std::string> SucceededCalls(int checks) {
  std::vector<std::string> calls = {"SetStatusText: " + kInstalling};
  calls.insert(calls.end(), checks, "IsCancelRequested");
  calls.push_back("SetStatusText: " + kSuccess);
  calls.push_back("SetButtonText: " + kClose);
  calls.push_back("MarkFinished");
  return calls;
}

InstallationTest::InstallationTest() {
  EXPECT_TRUE(
      messages::LoadMessageTable(test_support::ReadBytes(PI_SOURCE_DIR "/resources/messages.txt")));
}

InstallationTest::~InstallationTest() { messages::ReleaseMessageTable(); }

void InstallationTest::Run(const Bytes& payload) { Run(payload, NativeFileSystem()); }

void InstallationTest::Run(const Bytes& payload, FileSystem& file_system) {
  const std::span<const std::uint8_t> bytes(payload);
  EXPECT_EQ(RunInstallation(host, file_system, [&] { return std::optional(bytes); }), 0);
}

void InstallationTest::RunWithoutPayload() {
  EXPECT_EQ(RunInstallation(host, NativeFileSystem(),
                            [] { return std::optional<std::span<const std::uint8_t>>(); }),
            0);
}

}  // namespace engine::test
