#include "tests/shell/installer_fixture.h"

namespace installer_test {

InstallerTest::InstallerTest() { fs::create_directories(home_); }

void InstallerTest::MakeGameFolder(const fs::path& folder, const std::string& installed_record) {
  WriteText(folder / "sv.exe", "MZ game");
  WriteText(folder / "data" / "game.ini", "[game]\r\n");
  WriteText(folder / "data" / "readme.txt", "old readme");
  WriteText(folder / "old.txt", "obsolete");
  WriteText(folder / "curver.txt", installed_record);
}

payload::PatchDescription InstallerTest::SamplePatch(std::uint32_t version) {
  auto bytes = [](const std::string& text) { return Bytes(text.begin(), text.end()); };
  payload::PatchDescription patch;
  patch.version = version;
  patch.loose_files = {{"data\\readme.txt", bytes("new readme " + std::to_string(version))},
                       {"data\\maps\\new.map", bytes("a new map")}};
  patch.deletions = {"old.txt"};
  return patch;
}

fs::path InstallerTest::WritePayload(const payload::PatchDescription& patch,
                                     const std::string& name) {
  const Bytes payload = payload::BuildPayload(payload::BuildPatchStream(patch));
  const fs::path path = root_ / name;
  WriteText(path, std::string(payload.begin(), payload.end()));
  return path;
}

fs::path InstallerTest::Attach(const fs::path& stub, const fs::path& payload,
                               const fs::path& output, const std::vector<std::string>& extra) {
  RunOptions options{
      .arguments = {"attach", stub.string(), payload.string(), "-o", output.string()},
      .directory = root_};
  options.arguments.insert(options.arguments.end(), extra.begin(), extra.end());
  const RunResult attach = RunProgram(kPatchpack, options);
  EXPECT_EQ(attach.exit_code, 0) << attach.err;
  return output;
}

fs::path InstallerTest::MakeInstaller(const payload::PatchDescription& patch) {
  return Attach(kInstallerStub, WritePayload(patch, "patch.payload"), root_ / "installer");
}

RunResult InstallerTest::RunInstaller(const fs::path& installer, RunOptions options) {
  options.environment.try_emplace("HOME", home_.string());
  options.environment.try_emplace("XDG_CONFIG_HOME", (home_ / ".config").string());
  return RunProgram(installer, options);
}

void InstallerTest::WriteSettings(const std::string& lines) {
  WriteText(home_ / ".config" / "quillmarch" / "stormhaven.conf", lines);
}

std::string InstallerTest::SuccessTranscript() {
  return "Patch Installer\n"
         "Extracting data...\n"
         "[Cancel: Ctrl+C]\n"
         "Patch is being installed. Please wait...\n"
         "Update installed successfully!\n"
         "[Close]\n";
}

}  // namespace installer_test
