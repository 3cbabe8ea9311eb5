// Jobs cut short: a backup with "Shutdown DB" on, and a restore, run by a
// program that is killed (SIGKILL) in the middle of the job, through the
// embedded engine and through a server, and finished by a fresh controller;
// and a server killed (kill -9) in the middle of a restore, whose guardian
// brings it back while the job wants its database on line again. The server
// is the tests' own (integration/private_server.h), for the whole process:
// killed jobs and killed servers never touch the shared one.

#include <signal.h>

#include <filesystem>
#include <memory>
#include <string>

#include "integration/controller_fixture_fb.h"
#include "integration/private_server.h"
#include "platform/files.h"

namespace ctltest {
namespace {

namespace fs = std::filesystem;

constexpr const char* RecoveryLine = " Восстановление после прерванного задания: ";

// One private server for the process, set up before anything loads the client
// library: jobs address this computer by name, and the client's
// configuration sends them to the private server's port.
class TPrivateServerEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    Server = std::make_unique<fbtest::TPrivateServer>();
    Server->UseForThisProcess();
  }
  void TearDown() override { Server.reset(); }
  static inline std::unique_ptr<fbtest::TPrivateServer> Server;
};
const auto* const Environment = ::testing::AddGlobalTestEnvironment(new TPrivateServerEnvironment);

std::string Name(std::int32_t protocol) { return protocol == kLocal ? "Local" : "TCP"; }

class KilledJob : public ControllerFirebird, public ::testing::WithParamInterface<std::int32_t> {
 protected:
  // Runs the job (`kind` on `files`) in a program of its own, which kills
  // itself when the pane shows `killAt`; the exit status of the shell that
  // ran it.
  int RunProbeKilledAt(const std::string& kind, const std::string& files, const std::string& killAt) const {
    int code = -1;
    fbtest::RunCommand(fbtest::ShellQuote(QUORVIN_JOB_PROBE) + " " + fbtest::ShellQuote(dir.Path() + "/") + " " + kind +
                           " " + std::to_string(GetParam()) + " " + files + " kill-at " + fbtest::ShellQuote(killAt),
                       &code);
    return code;
  }

  // A fresh controller in the same program folder finishes the job.
  void FinishAtTheNextStart() {
    q = NewController();
    seams.Notices.clear();
    ASSERT_TRUE(q->FinishInterruptedJob()) << seams.Dump();
  }

  // The user is told once, and the operation log says so too.
  void ExpectToldOnce(const std::string& what) {
    ASSERT_EQ(seams.Notices.size(), 1u);
    EXPECT_NE(seams.Notices[0].find(what), std::string::npos) << seams.Notices[0];
    bool logged = false;
    for (const std::string& line : LogLines()) logged = logged || line.find(RecoveryLine + what) != std::string::npos;
    EXPECT_TRUE(logged) << what;
  }
};

TEST_P(KilledJob, BackupWithShutdownKilledMidJob) {
  q->Settings().Protocol = GetParam();
  ASSERT_TRUE(Backup()) << seams.Dump();
  const std::string gbk = backup.BackFile;
  const std::string older = Bytes(gbk);
  q.reset();

  ASSERT_EQ(RunProbeKilledAt("backup", fbtest::ShellQuote(db), "writing data for table"), 128 + SIGKILL);
  // What the kill left: the database shut down, the older backup aside, the
  // record of the job.
  EXPECT_TRUE(fbtest::IsShutdown(db));
  EXPECT_EQ(FilesWith(".aside-").size(), 1u);
  EXPECT_TRUE(fs::exists(dir.File("Quorvin.job")));

  FinishAtTheNextStart();
  EXPECT_FALSE(fbtest::IsShutdown(db)) << fbtest::HeaderAttributes(db);
  EXPECT_EQ(Bytes(gbk), older) << "the older backup is back under its name";
  EXPECT_TRUE(fs::exists(gbk + ".failed"));
  EXPECT_TRUE(FilesWith(".aside-").empty());
  EXPECT_FALSE(fs::exists(dir.File("Quorvin.job")));
  ExpectToldOnce("база данных в рабочем режиме: " + db);
  EXPECT_EQ(fbtest::RowCount(db, "T_ORDERS"), fbtest::kOrders);
}

TEST_P(KilledJob, RestoreKilledMidJob) {
  q->Settings().Protocol = kLocal;
  ASSERT_TRUE(Backup()) << seams.Dump();
  const std::string gbk = backup.BackFile;
  fbtest::ShareWithServer(gbk);
  q.reset();
  fbtest::RunIsqlScript("DELETE FROM T_NOTES WHERE ID >= 10;\nCOMMIT;\n", db);

  ASSERT_EQ(
      RunProbeKilledAt("restore", fbtest::ShellQuote(gbk) + " " + fbtest::ShellQuote(db), "restoring data for table"),
      128 + SIGKILL);
  EXPECT_EQ(FilesWith(".aside-").size(), 1u) << "the database is aside";

  FinishAtTheNextStart();
  EXPECT_TRUE(FilesWith(".aside-").empty());
  EXPECT_TRUE(fs::exists(db + ".failed"));
  EXPECT_FALSE(fbtest::IsShutdown(db)) << fbtest::HeaderAttributes(db) << seams.Dump();
  EXPECT_EQ(fbtest::RowCount(db, "T_NOTES"), 10) << "the database as it was before the restore";
  ExpectToldOnce("прежний файл возвращён под своё имя: ");
}

INSTANTIATE_TEST_SUITE_P(Protocols, KilledJob, ::testing::Values(kLocal, kTcp),
                         [](const auto& info) { return Name(info.param); });

// The server dies (kill -9) while a restore over TCP reads its output. Its
// guardian is held until the job has found the server silent once, so the
// job's bring-on-line step meets a server that does not answer, as it does
// when the guardian takes its time.
TEST_F(ControllerFirebird, ServerKilledDuringATcpRestoreTheDatabaseComesBackOnLine) {
  fbtest::TPrivateServer& server = *TPrivateServerEnvironment::Server;
  q->Settings().Protocol = kTcp;
  ASSERT_TRUE(Backup()) << seams.Dump();
  fbtest::ShareWithServer(backup.BackFile);
  const pid_t guardian = server.GuardianPid();
  bool killed = false;
  bool resumed = false;
  SetMessagePump([&] {
    const std::string& last = seams.Lines.empty() ? std::string() : seams.Lines.back();
    if (!killed && last.find("restoring data for table") != std::string::npos) {
      ::kill(guardian, SIGSTOP);
      server.KillServer();
      killed = true;
    }
    if (killed && !resumed && last.rfind("The server does not answer (", 0) == 0) {
      ::kill(guardian, SIGCONT);
      resumed = true;
    }
  });
  EXPECT_FALSE(Restore(backup.BackFile, db)) << seams.Dump();
  SetMessagePump(nullptr);
  if (!resumed) ::kill(guardian, SIGCONT);
  server.WaitUntilAnswering();
  ASSERT_TRUE(killed) << seams.Dump();

  EXPECT_TRUE(resumed) << seams.Dump();
  EXPECT_EQ(seams.Lines.back(), "Database startup complete") << seams.Dump();
  EXPECT_FALSE(fbtest::IsShutdown(db)) << fbtest::HeaderAttributes(db);
  EXPECT_EQ(fbtest::RowCount(db, "T_ORDERS"), fbtest::kOrders);
  EXPECT_TRUE(FilesWith(".aside-").empty());
}

}  // namespace
}  // namespace ctltest
