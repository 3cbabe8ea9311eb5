#pragma once
// quorvinctl running beside a test, a program of its own: its standard
// output and error together, read as it writes them. The test target defines
// QUORVINCTL as the program's path.

#include <chrono>
#include <string>
#include <vector>

#include "platform/child_process.h"

namespace fbtest {

class TCtl {
 public:
  TCtl(const std::vector<std::string>& arguments, const std::vector<std::string>& environment)
      : FChild(QUORVINCTL, arguments, "", environment) {}
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
