// The console installer on a terminal: a pseudo-terminal made by Python's
// pty module stands in for the player's, and what the installer wrote to it
// is read back whole.
#include <random>

#include "tests/shell/installer_fixture.h"
#include "tests/support/command.h"

namespace installer_test {
namespace {

using test_support::Quoted;

// Runs PROGRAM in FOLDER on a new pseudo-terminal. Prints the number of
// bars drawn, whether one reached 100 %, and then the output with the
// terminal's CR LF made LF and every bar and bar clearing taken out.
constexpr char kOnTerminal[] = R"(
import os, pty, re, sys
pid, fd = pty.fork()
if pid == 0:
    os.chdir(sys.argv[2])
    os.execv(sys.argv[1], [sys.argv[1]])
out = b""
while True:
    try:
        chunk = os.read(fd, 65536)
    except OSError:
        break
    if not chunk:
        break
    out += chunk
status = os.waitpid(pid, 0)[1]
text = out.decode("utf-8").replace("\r\n", "\n")
bar = re.compile(r"\r\[[#.]{30}\] +(\d+)%  [0-9.]+ of [0-9.]+ MB\x1b\[K")
bars = bar.findall(text)
print(len(bars), "100" in bars, os.waitstatus_to_exitcode(status))
sys.stdout.write(bar.sub("", text).replace("\r\x1b[K", ""))
)";

TEST_F(InstallerTest, ATerminalShowsTheStagingAsABarClearedBeforeEachText) {
  payload::PatchDescription patch = SamplePatch(14);
  Bytes noise(3 << 20);
  std::mt19937 random(7);
  for (std::uint8_t& byte : noise) byte = static_cast<std::uint8_t>(random());
  patch.loose_files.push_back({"data\\noise.bin", noise});
  const fs::path installer = MakeInstaller(patch);
  MakeGameFolder(game_);
  WriteText(root_ / "on_terminal.py", kOnTerminal);

  const auto run = test_support::RunCommand(
      "HOME=" + Quoted(home_) + " XDG_CONFIG_HOME=" + Quoted(home_ / ".config") + " python3 " +
      Quoted(root_ / "on_terminal.py") + " " + Quoted(installer) + " " + Quoted(game_));
  ASSERT_EQ(run.exit_code, 0) << run.err;
  const std::string counts = run.out.substr(0, run.out.find('\n'));
  // At least the start and the end; the exit code is the installer's.
  EXPECT_GE(std::stoi(counts), 2) << run.out;
  EXPECT_EQ(counts.substr(counts.find(' ')), " True 0") << run.out;
  EXPECT_EQ(run.out.substr(counts.size() + 1), SuccessTranscript());
  EXPECT_EQ(ReadText(game_ / "data" / "noise.bin").size(), noise.size());
}

}  // namespace
}  // namespace installer_test
