#pragma once

#include <csignal>

// Process-wide start-up settings of the program on POSIX systems.
//
// Standard input: the embedded engine runs gbak inside this process, and gbak
// asks for the name of the next volume on standard input when a backup file
// ends early. A program started from a terminal would wait there forever, so
// standard input is put on /dev/null before the client library is loaded:
// the question gets end-of-file and the restore fails at once.
//
// Session end: SIGTERM, SIGINT and SIGHUP become one byte each on a pipe
// (written by an async-signal-safe handler); the event loop watches the
// reading end and ends the program as an ordinary close does.

// Reopens standard input on /dev/null. False when /dev/null cannot be opened.
bool DetachStandardInput();

// Broken pipes: the embedded engine's gbak writes a backup into a pipe that
// this process reads. Should the reading side stop, the default action of
// SIGPIPE would end the whole program; ignored, the write fails with EPIPE
// and gbak reports it. A handler someone installed is left in place (the
// write fails with EPIPE then as well). Safe to call again: the client
// library may have put the default back meanwhile.
void IgnoreBrokenPipes();

// Ends the process at once with `status`, standard output and error
// flushed, without the library shutdown that a normal exit runs: after a job
// was stopped, the embedded engine may still run its gbak on a thread of this
// process, and its shutdown at exit would make that gbak fail and remove the
// file it was given by name, which by then is the earlier backup put back.
// Every file of the job is in its place before this is called.
[[noreturn]] void EndProcessNow(int status);

class TTerminationSignals {
 public:
  // Installs the handlers and returns the pipe's reading end (one pipe per
  // process, non-blocking); -1 when the pipe cannot be made (the signals then
  // keep their default action). SIGHUP and SIGINT that are ignored when this
  // is called (started with nohup, or in the background) stay ignored.
  static int Install();
  // Gives the signals handled here their default action back (the pipe stays open, so a
  // watcher of it never sees a closed descriptor).
  static void Uninstall();
  // Puts this module's handler back where a library replaced it (the
  // client library installs its own when it is first used, which shuts its
  // connections down at once and so would cut a running job short).
  static void Reclaim();
  // Keeps the signals away from the calling thread (and the threads it
  // starts later), so a helper thread waiting inside the client library is
  // never interrupted by them.
  static void BlockInThisThread();
  // Reads every pending byte from the pipe; the number of signals received
  // since the last call.
  static int Drain();
  // The signal numbers handled.
  static constexpr int Signals[] = {SIGTERM, SIGINT, SIGHUP};
};
