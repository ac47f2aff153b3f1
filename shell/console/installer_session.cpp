#include "shell/console/installer_session.h"

#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <system_error>
#include <thread>

#include "engine/fs/file_system.h"
#include "engine/run_installation.h"
#include "messages/message_table.h"
#include "shell/console/console_host.h"
#include "shell/console/embedded_payload.h"
#include "shell/console/terminal_output.h"
#include "shell/install_flags.h"

namespace console {
namespace {

// Sent by the installer thread to wake the main thread when the run ends.
constexpr int kRunEnded = SIGUSR1;

void RunOnInstallerThread(ConsoleHost& host) {
  engine::RunInstallation(host, engine::NativeFileSystem(), FindEmbeddedPayload);
}

}  // namespace

ExitCode RunInstallerSession(LineReader& input) {
  // Blocked before the installer thread exists, so that it inherits the mask
  // and every signal reaches the main thread's sigwait below, where handling
  // it is not restricted to async-signal-safe calls. The mask stays in place
  // to the end: a Ctrl+C after the run must not kill the finished process.
  sigset_t signals;
  sigemptyset(&signals);
  for (int signal : {SIGINT, SIGTERM, SIGHUP, kRunEnded}) sigaddset(&signals, signal);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);

  shell::CancelRequested = false;
  shell::InstallFinished = false;
  std::atomic<bool> ended{false};
  const pthread_t main_thread = pthread_self();
  ConsoleHost host(input, [&ended, main_thread] {
    ended = true;
    pthread_kill(main_thread, kRunEnded);
  });

  PrintLine(stdout, "Patch Installer");
  host.SetStatusText(messages::Message(messages::MsgId::Extracting));
  host.SetButtonText(messages::Message(messages::MsgId::Cancel));
  std::thread installer;
  try {
    installer = std::thread(RunOnInstallerThread, std::ref(host));
  } catch (const std::system_error&) {
    // Without its thread the run cannot start; nothing has been touched.
    host.ShowError(messages::Message(messages::MsgId::UnknownError));
    return kErrorShown;
  }

  while (!ended) {
    int signal = 0;
    if (sigwait(&signals, &signal) == 0 && signal != kRunEnded) host.RequestCancel();
  }
  // The run returns right after ending its display; waiting for it keeps the
  // payload and the message table alive until it no longer reads them.
  installer.join();

  if (shell::InstallFinished) return kInstalled;
  return host.error_shown() ? kErrorShown : kNotInstalled;
}

}  // namespace console
