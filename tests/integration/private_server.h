#pragma once
// A Firebird 3.0 server of the test's own, for tests that stop, kill or
// otherwise disturb a server: the shared one on port 3050 is never touched.
//
// It runs the system's binaries as user firebird under the guardian
// (fbguard -forever) with a root folder of its own: copies of the
// configuration (listening on 127.0.0.1 only, on a free port of its own) and
// of the security database, its own lock and temp folders. Needs root.
//
//   fbtest::TPrivateServer server;      // prepared and started; answers on return
//   server.Port();                      // its TCP port on 127.0.0.1
//   server.ServiceManager();            // "127.0.0.1/<port>:service_mgr"
//   server.UseForThisProcess();         // client connections of this process (and of the
//                                       // tools it starts) by host name alone go to this
//                                       // server: call before the first connection
//   pid_t old = server.KillServer();    // kill -9 of the server process ...
//   server.WaitUntilAnswering(old);     // ... the guardian starts a new one
//   server.Stop();  server.Start();     // the whole server down and up again, same port
//   // the destructor stops it and removes its folder
//
// The guardian is a child of the thread that made the object and gets
// SIGTERM when that thread ends (a test killed by a time-out included), so a
// crashed test leaves no server behind. Header-only; failures throw
// std::runtime_error.

#include <fcntl.h>
#include <grp.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <arpa/inet.h>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "integration/fb_fixture.h"
#include "platform/local_ports.h"

namespace fbtest {

class TPrivateServer {
 public:
  TPrivateServer() : FFolder("quorvin-fbserver") {
    if (geteuid() != 0) throw std::runtime_error("a private Firebird server needs root (it runs as user firebird)");
    Prepare();
    Start();
  }
  ~TPrivateServer() {
    try {
      Stop();
    } catch (...) {
      // The folder goes anyway; a server still running keeps its open files.
    }
  }
  TPrivateServer(const TPrivateServer&) = delete;
  TPrivateServer& operator=(const TPrivateServer&) = delete;

  int Port() const { return FPort; }
  const std::string& Root() const { return FFolder.Path(); }
  std::string ServiceManager() const { return "127.0.0.1/" + std::to_string(FPort) + ":service_mgr"; }
  void UseForThisProcess() const { setenv("FIREBIRD", Root().c_str(), 1); }

  // The server process the guardian runs now (its pid file), 0 when none.
  pid_t ServerPid() const {
    std::ifstream in(PidFile());
    long pid = 0;
    in >> pid;
    return static_cast<pid_t>(pid);
  }
  pid_t GuardianPid() const { return FGuardian; }

  // kill -9 of the server process; returns its pid.
  pid_t KillServer() {
    const pid_t pid = ServerPid();
    if (pid <= 0 || ::kill(pid, SIGKILL) != 0) throw std::runtime_error("no private server process to kill");
    return pid;
  }

  // Waits until a server process other than `previous` answers on the port.
  void WaitUntilAnswering(pid_t previous = 0) const {
    for (int i = 0; i < 300; ++i) {
      const pid_t pid = ServerPid();
      if (pid > 0 && pid != previous && Alive(pid) && fbtest::LocalPortAnswers(FPort)) return;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    throw std::runtime_error("the private Firebird server does not answer on port " + std::to_string(FPort));
  }

  void Start() {
    if (FGuardian > 0) return;
    for (int attempt = 0;; ++attempt) {
      StartGuardian();
      try {
        WaitUntilAnswering();
        return;
      } catch (const std::runtime_error&) {
        Stop();
        if (attempt == 2) throw;
        // Someone took the port meanwhile: another one.
        FPort = fbtest::FreeLocalPort();
        WriteConfiguration();
      }
    }
  }

  // The guardian ends and takes the server with it.
  void Stop() {
    if (FGuardian <= 0) return;
    const pid_t server = ServerPid();
    ::kill(FGuardian, SIGTERM);
    bool ended = false;
    for (int i = 0; i < 300 && !ended; ++i) {
      ended = waitpid(FGuardian, nullptr, WNOHANG) == FGuardian;
      if (!ended) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (!ended) {
      ::kill(FGuardian, SIGKILL);
      waitpid(FGuardian, nullptr, 0);
    }
    FGuardian = 0;
    for (int i = 0; i < 300 && server > 0 && Alive(server); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    if (server > 0 && Alive(server)) ::kill(server, SIGKILL);
    std::filesystem::remove(PidFile());
  }

 private:
  static constexpr const char* kSystemConfig = "/etc/firebird/3.0";
  static constexpr const char* kSystemLibrary = "/usr/lib/x86_64-linux-gnu/firebird/3.0";
  static constexpr const char* kSecurityDatabase = "/var/lib/firebird/3.0/system/security3.fdb";

  std::string PidFile() const { return Root() + "/run/firebird.pid"; }

  static bool Alive(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line)) return false;
    const std::size_t close = line.rfind(')');
    return close != std::string::npos && close + 2 < line.size() && line[close + 2] != 'Z';
  }

  // The system's firebird.conf with the keys this server sets taken out.
  static std::string SystemConfigWithout(const std::vector<std::string>& keys) {
    std::ifstream in(std::string(kSystemConfig) + "/firebird.conf");
    if (!in) throw std::runtime_error(std::string("cannot read ") + kSystemConfig + "/firebird.conf");
    std::ostringstream out;
    for (std::string line; std::getline(in, line);) {
      const std::size_t start = line.find_first_not_of(" \t");
      bool ours = false;
      for (const std::string& key : keys)
        ours = ours || (start != std::string::npos && line.compare(start, key.size(), key) == 0);
      if (!ours) out << line << "\n";
    }
    return out.str();
  }

  void WriteConfiguration() const {
    std::ofstream conf(Root() + "/firebird.conf", std::ios::trunc);
    conf << SystemConfigWithout({"RemoteBindAddress", "RemoteServicePort", "SecurityDatabase"})
         << "\n# This test server's own settings.\n"
         << "RemoteBindAddress = 127.0.0.1\n"
         << "RemoteServicePort = " << FPort << "\n"
         << "SecurityDatabase = " << Root() << "/security3.fdb\n";
  }

  void Prepare() {
    namespace fs = std::filesystem;
    const fs::path root = Root();
    for (const char* sub : {"lock", "tmp", "run"}) fs::create_directory(root / sub);
    for (const char* file : {"plugins.conf", "fbtrace.conf"})
      fs::copy_file(fs::path(kSystemConfig) / file, root / file, fs::copy_options::overwrite_existing);
    fs::copy_file(kSecurityDatabase, root / "security3.fdb", fs::copy_options::overwrite_existing);
    fs::create_directory_symlink(fs::path(kSystemLibrary) / "intl", root / "intl");
    std::ofstream(root / "databases.conf") << "security.db = " << Root() << "/security3.fdb\n{\n"
                                           << "\tRemoteAccess = false\n\tDefaultDbCachePages = 50\n}\n";
    FPort = fbtest::FreeLocalPort();
    WriteConfiguration();
    RunCommand("chown -R firebird:firebird " + ShellQuote(Root()));
    ::chmod(Root().c_str(), 0755);
  }

  void StartGuardian() {
    const passwd* user = getpwnam("firebird");
    if (user == nullptr) throw std::runtime_error("no user firebird");
    const uid_t uid = user->pw_uid;
    const gid_t gid = user->pw_gid;
    const std::vector<std::string> env = {"FIREBIRD=" + Root(), "FIREBIRD_LOCK=" + Root() + "/lock",
                                          "FIREBIRD_TMP=" + Root() + "/tmp", "PATH=/usr/sbin:/usr/bin:/bin"};
    const std::string pidFile = PidFile();
    char* const argv[] = {const_cast<char*>("fbguard"), const_cast<char*>("-forever"), const_cast<char*>("-pidfile"),
                          const_cast<char*>(pidFile.c_str()), nullptr};
    std::vector<char*> envp;
    for (const std::string& e : env) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    const pid_t child = fork();
    if (child < 0) throw std::runtime_error("fork failed");
    if (child == 0) {
      // Only async-signal-safe calls from here on.
      if (setgroups(0, nullptr) != 0 || setgid(gid) != 0 || setuid(uid) != 0) _exit(126);
      // After the change of user, which would clear it.
      prctl(PR_SET_PDEATHSIG, SIGTERM);
      const int null = open("/dev/null", O_RDWR);
      for (int fd = 0; fd < 3; ++fd) dup2(null, fd);
      execve("/usr/sbin/fbguard", argv, envp.data());
      _exit(127);
    }
    FGuardian = child;
  }

  TempFolder FFolder;
  int FPort = 0;
  pid_t FGuardian = 0;
};

}  // namespace fbtest
