#pragma once
// quorvinctl running beside a test, a program of its own: its standard
// output and error together, read as it writes them. The test target defines
// QUORVINCTL as the program's path.

#include <chrono>
#include <string>
#include <vector>

#include "platform/child_process.h"

namespace fbtest {

// Who runs quorvinctl: the test's own user, or user nobody in `Groups`
// (comma-separated, none when empty) as a service's user would, which needs a
// test run by root.
struct TUser {
  bool Nobody = false;
  std::string Groups;
};

inline std::vector<std::string> CommandOf(const std::vector<std::string>& arguments, const TUser& user) {
  if (!user.Nobody) return arguments;
  std::vector<std::string> words{"--reuid=nobody", "--regid=nogroup"};
  words.push_back(user.Groups.empty() ? "--clear-groups" : "--groups=" + user.Groups);
  words.push_back(QUORVINCTL);
  words.insert(words.end(), arguments.begin(), arguments.end());
  return words;
}

class TCtl {
 public:
  TCtl(const std::vector<std::string>& arguments, const std::vector<std::string>& environment, const TUser& user = {})
      : FChild(user.Nobody ? "/usr/bin/setpriv" : QUORVINCTL, CommandOf(arguments, user), "", environment) {}
  // True once a line holding `text` came; false when the program ended or
  // `limit` passed first.
  bool WaitFor(const std::string& text, std::chrono::seconds limit = std::chrono::seconds(120)) {
    const auto until = std::chrono::steady_clock::now() + limit;
    while (FOutput.find(text) == std::string::npos)
      if (std::chrono::steady_clock::now() > until || !FChild.ReadOutput(FOutput, std::chrono::milliseconds(100)))
        return FOutput.find(text) != std::string::npos;
    return true;
  }
  // SIGTERM, as systemd stops a service.
  void Terminate() { FChild.Terminate(); }
  // kill -9: nothing of the program cleans up.
  void Kill() { FChild.KillGroup(); }
  // The exit status once the program has ended (minus the signal that ended
  // it).
  int Finish() {
    while (FChild.ReadOutput(FOutput, std::chrono::milliseconds(100))) {
    }
    return FChild.Wait();
  }
  const std::string& Output() const { return FOutput; }

 private:
  TChildProcess FChild;
  std::string FOutput;
};

}  // namespace fbtest
