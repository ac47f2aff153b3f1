#include "tests/shell/installer_fixture.h"

#include <stdlib.h>

#include <fstream>
#include <iterator>

namespace installer_test {

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteText(const fs::path& path, const std::string& text) {
  fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  if (!out.flush()) throw std::runtime_error("cannot write " + path.string());
}

std::map<std::string, std::string> Snapshot(const fs::path& folder) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    if (entry.is_regular_file()) {
      files[fs::relative(entry.path(), folder).string()] = ReadText(entry.path());
    }
  }
  return files;
}

InstallerTest::InstallerTest() {
  std::string pattern = (fs::temp_directory_path() / "console-installer-test-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  root_ = pattern;
  home_ = root_ / "home";
  game_ = root_ / "game";
  fs::create_directories(home_);
}

InstallerTest::~InstallerTest() {
  std::error_code ignored;
  fs::remove_all(root_, ignored);
}

void InstallerTest::MakeGameFolder(const fs::path& folder, const std::string& installed_record) {
  WriteText(folder / "sv.exe", "MZ game");
  WriteText(folder / "data" / "game.ini", "[game]\r\n");
  WriteText(folder / "data" / "readme.txt", "old readme");
  WriteText(folder / "old.txt", "obsolete");
  WriteText(folder / "curver.txt", installed_record);
}

patchpack::PatchDescription InstallerTest::SamplePatch(std::uint32_t version) {
  auto bytes = [](const std::string& text) { return Bytes(text.begin(), text.end()); };
  patchpack::PatchDescription patch;
  patch.version = version;
  patch.loose_files = {{"data\\readme.txt", bytes("new readme " + std::to_string(version))},
                       {"data\\maps\\new.map", bytes("a new map")}};
  patch.deletions = {"old.txt"};
  return patch;
}

fs::path InstallerTest::WritePayload(const patchpack::PatchDescription& patch,
                                     const std::string& name) {
  const Bytes payload = patchpack::BuildPayload(patchpack::BuildPatchStream(patch));
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

fs::path InstallerTest::MakeInstaller(const patchpack::PatchDescription& patch) {
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
