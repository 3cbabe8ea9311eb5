// quorvinctl: backups of Firebird databases without a desktop, on the core
// of the window program (see cli_options.cpp for the command line).

#include <clocale>
#include <cstdio>
#include <exception>

#include "cli/cli_options.h"
#include "cli/commands.h"
#include "cli/console.h"
#include "cli/exit_codes.h"
#include "platform/process_signals.h"

int main(int argc, char* argv[]) {
  std::setlocale(LC_ALL, "");
  // The embedded engine's gbak must never wait on a terminal for a volume.
  DetachStandardInput();
  // Standard output closed by a reader (quorvinctl backup … | head) must not
  // end the program in the middle of a job.
  IgnoreBrokenPipes();
  const TConsole console;
  try {
    const TCliOptions options = ParseCliOptions({argv + 1, argv + argc});
    if (options.Help) {
      std::fputs(UsageText().c_str(), stdout);
      return ExitSuccess;
    }
    if (options.Version) {
      std::printf("quorvinctl %s\n", QUORVIN_VERSION);
      return 0;
    }
    bool jobStopped = false;
    const int status = RunCommand(options, console, jobStopped);
    // The job's files are in place: nothing of the engine may act on them
    // any more (process_signals.h).
    if (jobStopped) EndProcessNow(status);
    return status;
  } catch (const EUsage& error) {
    console.Error(error.Message + "\nTry 'quorvinctl --help'.");
    return ExitUsage;
  } catch (const EWouldReplace& error) {
    console.Error(error.Message);
    return ExitWouldReplace;
  } catch (const std::exception& error) {
    console.Error(MessageOf(error));
    return ExitFailure;
  }
}
