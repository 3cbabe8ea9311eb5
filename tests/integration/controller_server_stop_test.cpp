// The server stops in the middle of a long backup over TCP. The server is
// the test's own (integration/private_server.h): the shared one is never
// stopped. Jobs address the server by this computer's name, as for any local
// file; the client's configuration sends them to the private server's port.

#include <cstdlib>
#include <filesystem>
#include <memory>

#include "integration/controller_fixture_fb.h"
#include "integration/private_server.h"
#include "jobs/job_runner.h"
#include "platform/files.h"

namespace ctltest {
namespace {

class ServerStop : public ControllerFirebird {
 protected:
  void SetUp() override {
    server = std::make_unique<fbtest::TPrivateServer>();
    // Before anything loads the client library.
    server->UseForThisProcess();
    scale = 25;  // a backup that runs long enough to be cut
    ControllerFirebird::SetUp();
  }
  void TearDown() override {
    ControllerFirebird::TearDown();
    server.reset();
  }
  void StopServer() { server->Stop(); }
  void StartServer() { server->Start(); }

  std::unique_ptr<fbtest::TPrivateServer> server;
};

TEST_F(ServerStop, ServerStoppedInTheMiddleOfABackup) {
  q->Settings().Protocol = kTcp;
  ASSERT_TRUE(Backup()) << seams.Dump();
  const std::string gbk = backup.BackFile;
  const std::string previous = Bytes(gbk);
  ASSERT_GT(previous.size(), 1000000u);

  // At the first table the server goes down, on the job's own thread: the
  // job is still reading its output.
  bool stopped = false;
  q->Jobs().JobRunner = [&](TJobRunner& job) {
    const auto shown = job.OnOutputLine;
    job.OnOutputLine = [&, shown](const std::string& line) {
      if (shown) shown(line);
      if (!stopped && line.find("writing data for table") != std::string::npos) {
        StopServer();
        stopped = true;
      }
    };
    return job.Run();
  };
  seams.Messages.clear();
  EXPECT_FALSE(Backup()) << seams.Dump();
  q->Jobs().JobRunner = nullptr;
  ASSERT_TRUE(stopped) << seams.Dump();

  EXPECT_EQ(backup.BackFile, gbk);
  EXPECT_EQ(Bytes(gbk), previous) << "the previous backup was touched";
  EXPECT_TRUE(FilesWith(".aside-").empty());
  // Whatever the server left behind lost the good name.
  for (const auto& name : FilesWith(".gbk")) {
    EXPECT_TRUE(name == "base.fdb.gbk" || name.rfind("base.fdb.gbk.failed", 0) == 0) << name;
  }
  EXPECT_EQ(FailureLogLine(), q->Log().LogStamp() + " Резервная копия НЕ создана. " + gbk);
  EXPECT_FALSE(seams.Messages.empty());

  // Back up and running: the next backup works again.
  StartServer();
  EXPECT_TRUE(Backup()) << seams.Dump();
}

}  // namespace
}  // namespace ctltest
