// Jobs cut short: a backup with "Shutdown DB" on, and a restore, run by a
// program that is killed (SIGKILL) in the middle of the job, through the
// embedded engine and through a server, and finished by a fresh controller,
// which adds the killed job to the history;
// and a server killed (kill -9) in the middle of a restore, whose guardian
// brings it back while the job wants its database on line again. The server
// is the tests' own (integration/private_server.h), for the whole process:
// killed jobs and killed servers never touch the shared one.

#include <signal.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include "controller/history/job_history.h"
#include "controller/recovery/interrupted_history.h"
#include "controller/recovery/recovery.h"
#include "integration/controller_fixture_fb.h"
#include "integration/private_server_environment.h"
#include "jobs/job_runner.h"
#include "platform/computer_name.h"
#include "platform/files.h"

namespace ctltest {
namespace {

namespace fs = std::filesystem;

constexpr const char* RecoveryLine = " Восстановление после прерванного задания: ";

const auto* const Environment = ::testing::AddGlobalTestEnvironment(new fbtest::TPrivateServerEnvironment);

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

  // The history has the killed job: a failure, interrupted, and what
  // recovery did.
  void ExpectInHistoryAsInterrupted(const char* kind, const std::string& file, const std::string& done) {
    const std::vector<THistoryRecord> history = ReadHistory(q->HistoryPath());
    ASSERT_FALSE(history.empty());
    const THistoryRecord& last = history.back();
    EXPECT_EQ(last.Kind, kind);
    EXPECT_EQ(last.File, file);
    EXPECT_FALSE(last.Succeeded());
    EXPECT_EQ(last.Reason.rfind(InterruptedReason, 0), 0u) << last.Reason;
    EXPECT_NE(last.Reason.find(done), std::string::npos) << last.Reason;
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
  ExpectInHistoryAsInterrupted(HistoryKindBackup, gbk, "база данных в рабочем режиме: " + db);
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
  ExpectInHistoryAsInterrupted(HistoryKindRestore, gbk, "прежний файл возвращён под своё имя: ");
}

// Item by item, what recovery must never do: swap a restored database the
// server finished after the program died and users work in; leave the older
// copy on this computer unusable; leave the verification's temporary
// database behind.
TEST_P(KilledJob, ARestoreTheServerFinishedIsNeverSwappedBack) {
  if (GetParam() != kTcp) GTEST_SKIP() << "only a server goes on with a restore after its client died";
  q->Settings().Protocol = kLocal;
  ASSERT_TRUE(Backup()) << seams.Dump();
  const std::string gbk = backup.BackFile;
  fbtest::ShareWithServer(gbk);
  q.reset();
  ASSERT_EQ(
      RunProbeKilledAt("restore", fbtest::ShellQuote(gbk) + " " + fbtest::ShellQuote(db), "restoring data for table"),
      128 + SIGKILL);
  // The server finishes the restore; then users work in the new database.
  bool online = false;
  for (int i = 0; i < 300 && !online; ++i) {
    online = !fbtest::IsShutdown(db);
    if (!online) std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
  ASSERT_TRUE(online) << fbtest::HeaderAttributes(db);
  std::this_thread::sleep_for(std::chrono::seconds(TRecovery::GraceSeconds + 1));
  setenv("ISC_PASSWORD", fbtest::SysdbaPassword().c_str(), 1);
  fbtest::RunIsqlScript("INSERT INTO T_NOTES VALUES (999999, 'new work');\nCOMMIT;\n", ComputerName() + ":" + db);
  unsetenv("ISC_PASSWORD");

  FinishAtTheNextStart();
  EXPECT_EQ(fbtest::RowCount(db, "T_NOTES"), fbtest::kNotes + 1) << "the users' database is untouched";
  EXPECT_FALSE(fs::exists(db + ".failed"));
  EXPECT_EQ(FilesWith(".aside-").size(), 1u) << "the database before the restore is kept";
  ExpectToldOnce("файл изменён после задания (его могла закончить программа сервера) и оставлен как есть: " + db);
}

TEST_P(KilledJob, ACopyOnlyBackupKilledMidStreamLeavesTheOlderCopyRestorable) {
  const std::string copies = dir.File("copies");
  fs::create_directory(copies);
  q->Settings().Protocol = GetParam();
  q->Settings().LocalCopyDir = copies;
  q->Settings().LocalCopyOnly = true;
  ASSERT_TRUE(Backup()) << seams.Dump();
  const std::string copy = backup.BackFile;
  const std::string older = Bytes(copy), olderSum = Bytes(copy + ".sha256");
  q.reset();
  setenv("QUORVIN_PROBE_COPY_ONLY", copies.c_str(), 1);
  const int code = RunProbeKilledAt("backup", fbtest::ShellQuote(db), "writing data for table");
  unsetenv("QUORVIN_PROBE_COPY_ONLY");
  ASSERT_EQ(code, 128 + SIGKILL);

  FinishAtTheNextStart();
  EXPECT_EQ(Bytes(copy), older);
  EXPECT_EQ(Bytes(copy + ".sha256"), olderSum) << "the older copy's checksum is back beside it";
  std::vector<std::string> left;
  for (const auto& entry : fs::directory_iterator(copies)) left.push_back(entry.path().filename().string());
  EXPECT_EQ(left.size(), 2u) << "no temporary or moved-aside file is left";
  q->Settings().User = "SYSDBA";
  q->Settings().Pass = fbtest::SysdbaPassword();
  q->Settings().Protocol = GetParam();
  const std::string restored = dir.File("restored.fdb");
  ASSERT_TRUE(Restore(copy, restored)) << seams.Dump();
  ExpectSameRows(db, restored);
}

TEST_P(KilledJob, AKillDuringVerificationDropsTheTemporaryDatabase) {
  if (GetParam() != kLocal) GTEST_SKIP() << "the embedded engine's test restore dies with the program";
  q->Settings().Protocol = kLocal;
  ASSERT_TRUE(Backup()) << seams.Dump();
  const std::string gbk = backup.BackFile;
  const std::string older = Bytes(gbk);
  q.reset();
  setenv("QUORVIN_PROBE_VERIFY", "1", 1);
  const int code = RunProbeKilledAt("backup", fbtest::ShellQuote(db), "restoring data for table");
  unsetenv("QUORVIN_PROBE_VERIFY");
  ASSERT_EQ(code, 128 + SIGKILL);
  ASSERT_EQ(FilesWith(".verify-").size(), 1u) << "the test restore was under way";

  FinishAtTheNextStart();
  EXPECT_TRUE(FilesWith(".verify-").empty());
  EXPECT_EQ(Bytes(gbk), older) << "an unverified backup never costs the older one";
  EXPECT_FALSE(fbtest::IsShutdown(db));
  ExpectToldOnce("временная база данных проверки удалена: ");
}

INSTANTIATE_TEST_SUITE_P(Protocols, KilledJob, ::testing::Values(kLocal, kTcp),
                         [](const auto& info) { return Name(info.param); });

// The server dies (kill -9) while a restore over TCP reads its output. Its
// guardian is held until the job has found the server silent once, so the
// job's bring-on-line step meets a server that does not answer, as it does
// when the guardian takes its time.
TEST_F(ControllerFirebird, ServerKilledDuringATcpRestoreTheDatabaseComesBackOnLine) {
  fbtest::TPrivateServer& server = *fbtest::TPrivateServerEnvironment::Server;
  q->Settings().Protocol = kTcp;
  ASSERT_TRUE(Backup()) << seams.Dump();
  fbtest::ShareWithServer(backup.BackFile);
  const pid_t guardian = server.GuardianPid();
  bool killed = false;
  bool resumed = false;
  // Killed on the job's own thread, while the server still restores.
  q->Jobs().JobRunner = [&](TJobRunner& job) {
    const auto shown = job.OnOutputLine;
    job.OnOutputLine = [&, shown](const std::string& line) {
      if (shown) shown(line);
      if (!killed && line.find("restoring data for table") != std::string::npos) {
        ::kill(guardian, SIGSTOP);
        server.KillServer();
        killed = true;
      }
    };
    return job.Run();
  };
  seams.OnLine = [&] {
    const std::string& last = seams.Lines.empty() ? std::string() : seams.Lines.back();
    if (killed && !resumed && last.rfind("The server does not answer (", 0) == 0) {
      ::kill(guardian, SIGCONT);
      resumed = true;
    }
  };
  EXPECT_FALSE(Restore(backup.BackFile, db)) << seams.Dump();
  seams.OnLine = nullptr;
  q->Jobs().JobRunner = nullptr;
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
