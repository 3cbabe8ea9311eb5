// The server stops in the middle of a long backup over TCP. The test stops
// the real server from inside the job and always starts it again (and waits
// for its port) before it ends, whatever happened: other tests use it.

#include <cstdlib>
#include <filesystem>

#include "integration/controller_fixture_fb.h"
#include "platform/files.h"

namespace ctltest {
namespace {

void StopServer() { fbtest::RunCommand("/etc/init.d/firebird3.0 stop"); }

void StartServer() {
  int code = -1;
  const std::string out =
      fbtest::RunCommand(std::string("bash ") + QUORVIN_SOURCE_DIR "/scripts/start_firebird.sh", &code);
  if (code != 0) ADD_FAILURE() << "the server did not come back: " << out;
}

// Starts the server again when the test leaves, by any path.
struct TServerRestart {
  ~TServerRestart() { StartServer(); }
};

class ServerStop : public ControllerFirebird {
 protected:
  void SetUp() override {
    scale = 25;  // a backup that runs long enough to be cut
    ControllerFirebird::SetUp();
  }
  void TearDown() override {
    SetMessagePump(nullptr);
    StartServer();
    ControllerFirebird::TearDown();
  }
};

TEST_F(ServerStop, ServerStoppedInTheMiddleOfABackup) {
  TServerRestart restart;
  q->Protocol = kTcp;
  ASSERT_TRUE(q->Backup()) << seams.Dump();
  const std::string gbk = q->BackFile;
  const std::string previous = Bytes(gbk);
  ASSERT_GT(previous.size(), 1000000u);

  // At the first table the server goes down; the job is still reading its
  // output.
  bool stopped = false;
  SetMessagePump([&] {
    if (stopped) return;
    for (const auto& line : seams.Lines) {
      if (line.find("writing data for table") != std::string::npos) {
        StopServer();
        stopped = true;
        return;
      }
    }
  });
  seams.Messages.clear();
  EXPECT_FALSE(q->Backup()) << seams.Dump();
  SetMessagePump(nullptr);
  ASSERT_TRUE(stopped) << seams.Dump();

  EXPECT_EQ(q->BackFile, gbk);
  EXPECT_EQ(Bytes(gbk), previous) << "the previous backup was touched";
  EXPECT_TRUE(FilesWith(".aside-").empty());
  // Whatever the server left behind lost the good name.
  for (const auto& name : FilesWith(".gbk")) {
    EXPECT_TRUE(name == "base.fdb.gbk" || name.rfind("base.fdb.gbk.failed", 0) == 0) << name;
  }
  EXPECT_EQ(LastLogLine(), q->LogStamp() + " Резервная копия НЕ создана. " + gbk);
  EXPECT_FALSE(seams.Messages.empty());

  // Back up and running: the next backup works again.
  StartServer();
  EXPECT_TRUE(q->Backup()) << seams.Dump();
}

}  // namespace
}  // namespace ctltest
