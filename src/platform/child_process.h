#pragma once
// A program run beside this one (Firebird's gbak): its standard input is a
// text given at the start (a password, never on the command line where
// every user could read it), its standard output and error come back merged
// through one pipe, read without blocking. It runs in a process group of its
// own, with the signals' default actions, so a terminal's Ctrl+C meant for
// this program does not cut it short.

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

// The full path of `name` in the folders of PATH (or /usr/bin:/bin when
// PATH is not set); empty when none holds an executable file of that name.
std::string FindProgram(const std::string& name);

class TChildProcess {
 public:
  // Starts `program` (a full path) with `arguments` after its own name, in
  // this process's environment with `environment` ("NAME=value") added or
  // put in place of the same names. Raises EOSError when it cannot be
  // started.
  TChildProcess(const std::string& program, const std::vector<std::string>& arguments, const std::string& input,
                const std::vector<std::string>& environment = {});
  // A child still running is ended (SIGTERM, SIGKILL a few seconds later)
  // and reaped.
  ~TChildProcess();
  TChildProcess(const TChildProcess&) = delete;
  TChildProcess& operator=(const TChildProcess&) = delete;

  // Waits up to `timeout` for output and adds what came to `output`. False
  // once the output has ended (the child and everything it started have
  // closed it).
  bool ReadOutput(std::string& output, std::chrono::milliseconds timeout);
  // Whether the child has ended, without waiting. Its end is left for Wait
  // to collect, so the number of its process group stays its own meanwhile
  // and KillGroup still reaches what it started.
  bool Ended() const;
  // Whether the child has ended and left nothing running in its process
  // group (what it started in the background included), without waiting.
  // Without /proc to look in, the child's own end decides.
  bool GroupEnded() const;
  // Waits for the child to end: its exit code, or minus the number of the
  // signal that ended it (-1 when its end could not be learnt).
  int Wait();
  // Asks the child to end (SIGTERM); Wait still reaps it.
  void Terminate();
  // Ends the child and everything it started in its process group at once
  // (SIGKILL): a shell's command that hangs goes with the shell.
  void KillGroup();

 private:
  // Collects the child's end when it has come (waitpid's `options`); true
  // once there is no child left to wait for.
  bool Reap(int options);

  pid_t FPid = -1;
  int FOutput = -1;
  int FExit = -1;
};
