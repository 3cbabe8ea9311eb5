#include "platform/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>

#include "platform/exception.h"
#include "platform/files.h"

extern char** environ;

namespace {

[[noreturn]] void RaiseSpawnError(int error, const std::string& program) {
  throw EOSError(error, "Cannot start " + program + ": " + std::strerror(error));
}

// posix_spawn's attributes and file actions, released whatever happens.
struct TSpawnSetup {
  posix_spawnattr_t Attributes;
  posix_spawn_file_actions_t Actions;
  TSpawnSetup() {
    posix_spawnattr_init(&Attributes);
    posix_spawn_file_actions_init(&Actions);
  }
  ~TSpawnSetup() {
    posix_spawn_file_actions_destroy(&Actions);
    posix_spawnattr_destroy(&Attributes);
  }
};

void CloseBoth(int (&ends)[2]) {
  for (int& fd : ends) {
    if (fd >= 0) close(fd);
    fd = -1;
  }
}

}  // namespace

std::string FindProgram(const std::string& name) {
  const char* path = std::getenv("PATH");
  const std::string folders = path != nullptr ? path : "/usr/bin:/bin";
  std::size_t from = 0;
  while (from <= folders.size()) {
    std::size_t to = folders.find(':', from);
    if (to == std::string::npos) to = folders.size();
    // An empty entry is the current folder, which a program run with a
    // password is never taken from.
    if (to > from) {
      const std::string candidate = IncludeTrailingPathDelimiter(folders.substr(from, to - from)) + name;
      struct stat info {};
      if (stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) && access(candidate.c_str(), X_OK) == 0) {
        return candidate;
      }
    }
    from = to + 1;
  }
  return {};
}

namespace {

// `environ` with `added` in place of the variables of the same names.
std::vector<std::string> EnvironmentWith(const std::vector<std::string>& added) {
  std::vector<std::string> result;
  for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
    const std::string variable = *entry;
    const std::string name = variable.substr(0, variable.find('=') + 1);
    bool replaced = false;
    for (const std::string& mine : added) replaced = replaced || mine.compare(0, name.size(), name) == 0;
    if (!replaced) result.push_back(variable);
  }
  result.insert(result.end(), added.begin(), added.end());
  return result;
}

std::vector<char*> PointersTo(const std::vector<std::string>& texts) {
  std::vector<char*> pointers;
  for (const std::string& text : texts) pointers.push_back(const_cast<char*>(text.c_str()));
  pointers.push_back(nullptr);
  return pointers;
}

}  // namespace

TChildProcess::TChildProcess(const std::string& program, const std::vector<std::string>& arguments,
                             const std::string& input, const std::vector<std::string>& environment) {
  int in[2] = {-1, -1};
  int out[2] = {-1, -1};
  if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) {
    const int error = errno;
    CloseBoth(in);
    CloseBoth(out);
    RaiseSpawnError(error, program);
  }
  // A pipe holds far more than a password: written whole before the start.
  if (!WriteAll(in[1], input)) {
    const int error = errno;
    CloseBoth(in);
    CloseBoth(out);
    RaiseSpawnError(error, program);
  }
  close(in[1]);
  in[1] = -1;

  TSpawnSetup setup;
  posix_spawn_file_actions_adddup2(&setup.Actions, in[0], STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&setup.Actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&setup.Actions, out[1], STDERR_FILENO);
  sigset_t none;
  sigemptyset(&none);
  sigset_t defaults;
  sigemptyset(&defaults);
  for (int signal : {SIGPIPE, SIGTERM, SIGINT, SIGHUP}) sigaddset(&defaults, signal);
  posix_spawnattr_setsigmask(&setup.Attributes, &none);
  posix_spawnattr_setsigdefault(&setup.Attributes, &defaults);
  posix_spawnattr_setpgroup(&setup.Attributes, 0);
  posix_spawnattr_setflags(&setup.Attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP);

  std::vector<std::string> words{program};
  words.insert(words.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv = PointersTo(words);
  const std::vector<std::string> variables =
      environment.empty() ? std::vector<std::string>() : EnvironmentWith(environment);
  std::vector<char*> envp = PointersTo(variables);
  const int error = posix_spawn(&FPid, program.c_str(), &setup.Actions, &setup.Attributes, argv.data(),
                                environment.empty() ? environ : envp.data());
  close(in[0]);
  close(out[1]);
  if (error != 0) {
    close(out[0]);
    FPid = -1;
    RaiseSpawnError(error, program);
  }
  FOutput = out[0];
  fcntl(FOutput, F_SETFL, fcntl(FOutput, F_GETFL) | O_NONBLOCK);
}

TChildProcess::~TChildProcess() {
  if (FPid > 0) {
    Terminate();
    for (int i = 0; i < 300 && !Reap(WNOHANG); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (FPid > 0) {
      kill(FPid, SIGKILL);
      Reap(0);
    }
  }
  if (FOutput >= 0) close(FOutput);
}

bool TChildProcess::ReadOutput(std::string& output, std::chrono::milliseconds timeout) {
  if (FOutput < 0) return false;
  pollfd wait{FOutput, POLLIN, 0};
  if (poll(&wait, 1, static_cast<int>(timeout.count())) <= 0) return true;
  char buffer[4096];
  for (;;) {
    const ssize_t got = read(FOutput, buffer, sizeof buffer);
    if (got > 0) {
      output.append(buffer, static_cast<std::size_t>(got));
      continue;
    }
    if (got < 0 && errno == EINTR) continue;
    if (got < 0 && errno == EAGAIN) return true;
    // The end, or an error that ends it just the same.
    close(FOutput);
    FOutput = -1;
    return false;
  }
}

bool TChildProcess::Ended() const {
  if (FPid <= 0) return true;
  siginfo_t info{};
  while (waitid(P_PID, static_cast<id_t>(FPid), &info, WEXITED | WNOHANG | WNOWAIT) != 0)
    if (errno != EINTR) return true;  // no child left to wait for
  return info.si_pid != 0;
}

bool TChildProcess::GroupEnded() const {
  if (!Ended()) return false;
  // The child's end is not collected yet: the group's number cannot have
  // gone to another group meanwhile.
  const pid_t group = FPid;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator("/proc", error)) {
    const std::string name = entry.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos || name == std::to_string(group)) continue;
    bool exists = false;
    const std::optional<std::string> stat = ReadWholeFile(entry.path().string() + "/stat", exists);
    if (!stat) continue;
    // "pid (name) state ppid pgrp …": the name may hold anything, so the
    // fields are counted from its closing parenthesis.
    const std::size_t close = stat->rfind(')');
    if (close == std::string::npos) continue;
    char state = 0;
    long parent = 0;
    long processGroup = 0;
    if (std::sscanf(stat->c_str() + close + 1, " %c %ld %ld", &state, &parent, &processGroup) != 3) continue;
    if (processGroup == group && state != 'Z') return false;
  }
  return true;
}

int TChildProcess::Wait() {
  Reap(0);
  return FExit;
}

bool TChildProcess::Reap(int options) {
  if (FPid <= 0) return true;
  int status = 0;
  pid_t done;
  while ((done = waitpid(FPid, &status, options)) < 0 && errno == EINTR) {
  }
  if (done == 0) return false;  // still running
  // Reaped by someone else (ECHILD): its outcome is unknown, never success.
  if (done == FPid) FExit = WIFSIGNALED(status) ? -WTERMSIG(status) : WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  FPid = -1;
  return true;
}

void TChildProcess::Terminate() {
  if (FPid > 0) kill(FPid, SIGTERM);
}

void TChildProcess::KillGroup() {
  // The child leads a process group of its own (set at its start).
  if (FPid > 0) kill(-FPid, SIGKILL);
}
