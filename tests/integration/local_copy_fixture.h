#pragma once
// Helpers of the tests of copies on this computer, beside fb_fixture.h: the
// content of every table of the standard database, and a TCP proxy between
// the client and the server that a test can cut.

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <string>
#include <thread>

#include "integration/fb_fixture.h"

namespace fbtest {

inline const char* const kStandardTables[] = {"T_CUSTOMERS", "T_ORDERS", "T_NOTES"};

// Every row of every table of the standard database, blobs included, as
// isql prints them: equal texts mean equal data.
inline std::map<std::string, std::string> TableContents(const std::string& database) {
  std::map<std::string, std::string> contents;
  for (const char* table : kStandardTables) {
    contents[table] = RunIsqlScript(std::string("SET BLOB ALL;\nSELECT * FROM ") + table + " ORDER BY 1;\n", database);
  }
  return contents;
}

// A TCP proxy process (tests/integration/tcp_proxy.cpp) from a free port of
// 127.0.0.1 to the server; Server() names it for a service attach. Kill()
// drops every connection through it at once.
class TcpProxy {
 public:
  // `cutAfter` > 0: the proxy ends by itself after passing that many bytes
  // from the server to the client.
  explicit TcpProxy(long long cutAfter = 0) {
    int ready[2];
    if (pipe(ready) != 0) throw std::runtime_error("pipe failed");
    pid_ = fork();
    if (pid_ < 0) throw std::runtime_error("fork failed");
    if (pid_ == 0) {
      close(ready[0]);
      const std::string fd = std::to_string(ready[1]);
      const std::string cut = std::to_string(cutAfter);
      execl(QUORVIN_TCP_PROXY, QUORVIN_TCP_PROXY, fd.c_str(), "127.0.0.1", "3050", cut.c_str(),
            static_cast<char*>(nullptr));
      _exit(127);
    }
    close(ready[1]);
    char buffer[16] = {};
    const ssize_t n = read(ready[0], buffer, sizeof buffer - 1);
    close(ready[0]);
    if (n <= 0) throw std::runtime_error("the TCP proxy did not start");
    port_ = std::stoi(std::string(buffer, static_cast<size_t>(n)));
  }
  ~TcpProxy() { Kill(); }
  TcpProxy(const TcpProxy&) = delete;
  TcpProxy& operator=(const TcpProxy&) = delete;

  // The server name that reaches the server through the proxy.
  std::string Server() const { return std::string(kServerHost) + "/" + std::to_string(port_); }
  void Kill() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

 private:
  pid_t pid_ = -1;
  int port_ = 0;
};

}  // namespace fbtest
