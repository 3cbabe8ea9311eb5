// The private server of the tests: its own port on 127.0.0.1, real service
// requests, a guardian that brings a killed server back, a stop that leaves
// nothing running, and the shared server untouched throughout.

#include "integration/private_server.h"

#include <gtest/gtest.h>

#include <fstream>

namespace {

pid_t SharedServerPid() {
  std::ifstream in("/var/run/firebird3.0/firebird.pid");
  long pid = 0;
  in >> pid;
  return static_cast<pid_t>(pid);
}

std::string ServerVersion(const fbtest::TPrivateServer& server) {
  return fbtest::RunCommand("fbsvcmgr " + server.ServiceManager() + " -user SYSDBA -password " +
                            fbtest::ShellQuote(fbtest::SysdbaPassword()) + " info_server_version");
}

// Who listens on the port: the local addresses of its listening sockets.
std::string ListeningOn(int port) {
  return fbtest::RunCommand("ss -Hltn sport = :" + std::to_string(port) + " | awk '{print $4}'");
}

TEST(PrivateServer, AnswersOnItsOwnPortSurvivesAKillAndStopsForGood) {
  const pid_t shared = SharedServerPid();
  fbtest::TempFolder dir{"quorvin-private"};
  const std::string db = dir.File("base.fdb");
  fbtest::CreateDatabase(db);
  {
    fbtest::TPrivateServer server;
    ASSERT_NE(server.Port(), 3050);
    EXPECT_EQ(ListeningOn(server.Port()), "127.0.0.1:" + std::to_string(server.Port()) + "\n");
    EXPECT_NE(ServerVersion(server).find("Firebird 3.0"), std::string::npos) << ServerVersion(server);

    const pid_t first = server.ServerPid();
    ASSERT_GT(first, 0);
    EXPECT_EQ(server.KillServer(), first);
    server.WaitUntilAnswering(first);
    EXPECT_NE(server.ServerPid(), first);
    // The new server process does real work.
    int code = -1;
    const std::string out =
        fbtest::RunCommand("fbsvcmgr " + server.ServiceManager() + " -user SYSDBA -password " +
                               fbtest::ShellQuote(fbtest::SysdbaPassword()) + " action_backup dbname " +
                               fbtest::ShellQuote(db) + " bkp_file " + fbtest::ShellQuote(dir.File("base.gbk")),
                           &code);
    EXPECT_EQ(code, 0) << out;
    EXPECT_GT(std::filesystem::file_size(dir.File("base.gbk")), 10000u);

    // Down and up again on the same port.
    const pid_t guardian = server.GuardianPid();
    server.Stop();
    EXPECT_EQ(kill(guardian, 0), -1);
    EXPECT_EQ(ListeningOn(server.Port()), "");
    server.Start();
    EXPECT_NE(ServerVersion(server).find("Firebird 3.0"), std::string::npos);
    const int port = server.Port();
    server.Stop();
    EXPECT_EQ(ListeningOn(port), "");
  }
  EXPECT_EQ(SharedServerPid(), shared);
}

}  // namespace
