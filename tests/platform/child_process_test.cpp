// A program run beside this one: the input it is given, its output and
// error merged, its exit code or signal, a process group of its own and the
// signals' default actions, whatever this process has set.

#include "platform/child_process.h"

#include <gtest/gtest.h>
#include <signal.h>

#include "platform/process_signals.h"

namespace {

TEST(ChildProcess, InputOutputExitSignalAndProgramSearch) {
  const std::string sh = FindProgram("sh");
  ASSERT_FALSE(sh.empty());
  EXPECT_EQ(FindProgram("quorvin-no-such-program"), "");
  IgnoreBrokenPipes();  // never handed on to the child
  struct Row {
    const char* script;
    bool terminate;
    int exit;
    const char* output;
  } const rows[] = {
      {"read p; echo \"got $p\"; [ $(cut -d' ' -f5 /proc/$$/stat) = $$ ] && echo own group; echo oops >&2; exit 3",
       false, 3, "got secret\nown group\noops\n"},
      {"kill -PIPE $$", false, -SIGPIPE, ""},
      {"exec sleep 30", true, -SIGTERM, ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.script);
    TChildProcess child(sh, {"-c", row.script}, "secret\n");
    if (row.terminate) child.Terminate();
    std::string output;
    while (child.ReadOutput(output, std::chrono::milliseconds(100))) {
    }
    EXPECT_EQ(output, row.output);
    EXPECT_EQ(child.Wait(), row.exit);
  }
}

}  // namespace
