#include "platform/process_signals.h"

#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>

namespace {

int ReadEnd = -1;
int WriteEnd = -1;
// The signals this module handles now.
sigset_t Handled;

// Only async-signal-safe calls here: write(2), errno saved and restored.
void OnSignal(int) {
  const int saved = errno;
  const char byte = 1;
  // A full pipe already holds a request: losing this byte loses nothing.
  [[maybe_unused]] const ssize_t written = write(WriteEnd, &byte, 1);
  errno = saved;
}

}  // namespace

bool DetachStandardInput() {
  const int null = open("/dev/null", O_RDONLY | O_CLOEXEC);
  if (null < 0) return false;
  // Standard input was closed: /dev/null took its place already.
  if (null == STDIN_FILENO) {
    fcntl(null, F_SETFD, 0);
    return true;
  }
  const bool done = dup2(null, STDIN_FILENO) == STDIN_FILENO;
  close(null);
  return done;
}

void EndProcessNow(int status) {
  std::fflush(nullptr);
  _exit(status);
}

void IgnoreBrokenPipes() {
  struct sigaction current {};
  if (sigaction(SIGPIPE, nullptr, &current) != 0 || current.sa_handler != SIG_DFL) return;
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  sigaction(SIGPIPE, &ignore, nullptr);
}

int TTerminationSignals::Install() {
  if (ReadEnd < 0) {
    int ends[2];
    if (pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) return -1;
    ReadEnd = ends[0];
    WriteEnd = ends[1];
  }
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int signal : Signals) {
    if (sigismember(&Handled, signal) == 1) continue;
    struct sigaction previous {};
    sigaction(signal, nullptr, &previous);
    // A hang-up or interrupt that the starter chose to ignore (nohup, a
    // background start) stays ignored; a request to terminate never is.
    if (signal != SIGTERM && previous.sa_handler == SIG_IGN) continue;
    if (sigaction(signal, &action, nullptr) == 0) sigaddset(&Handled, signal);
  }
  return ReadEnd;
}

void TTerminationSignals::Uninstall() {
  struct sigaction action {};
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  for (int signal : Signals) {
    if (sigismember(&Handled, signal) == 1) sigaction(signal, &action, nullptr);
  }
  sigemptyset(&Handled);
}

void TTerminationSignals::Reclaim() {
  for (int signal : Signals) {
    if (sigismember(&Handled, signal) != 1) continue;
    struct sigaction current {};
    if (sigaction(signal, nullptr, &current) != 0 || current.sa_handler == OnSignal) continue;
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(signal, &action, nullptr);
  }
}

void TTerminationSignals::BlockInThisThread() {
  sigset_t set;
  sigemptyset(&set);
  for (int signal : Signals) sigaddset(&set, signal);
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

int TTerminationSignals::Drain() {
  if (ReadEnd < 0) return 0;
  int count = 0;
  char buffer[64];
  for (;;) {
    const ssize_t got = read(ReadEnd, buffer, sizeof buffer);
    if (got > 0) {
      count += static_cast<int>(got);
      continue;
    }
    if (got < 0 && errno == EINTR) continue;
    return count;
  }
}
