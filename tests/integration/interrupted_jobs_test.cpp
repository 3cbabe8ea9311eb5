// Jobs cut short by a kill (SIGKILL, nothing cleaned up) or a stop, against
// the embedded engine: a physical backup killed or stopped in its
// verification keeps its file, which the server has finished and the next
// level builds on, and its chain restores; a hand incremental backup stops
// as any job does; a killed `quorvinctl restore --replace` is finished by
// the next `quorvinctl backup`, which then makes its backup, and the history
// tells of the killed job. The tests' own server stands ready for anything
// that reaches a server (integration/private_server.h).

#include <signal.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "controller/history/job_history.h"
#include "controller/recovery/interrupted_history.h"
#include "integration/controller_fixture_fb.h"
#include "integration/private_server_environment.h"
#include "integration/quorvinctl_process.h"
#include "platform/has_cyrillic.h"
#include "runner/job_stop.h"

namespace ctltest {
namespace {

namespace fs = std::filesystem;

const auto* const Environment = ::testing::AddGlobalTestEnvironment(new fbtest::TPrivateServerEnvironment);

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// Seams that ask the job to stop once the pane shows a line holding StopAt.
class TStoppingSeams : public TSeams {
 public:
  void AppendLine(const std::string& line) override {
    TSeams::AppendLine(line);
    if (!StopAt.empty() && Has(line, StopAt)) Stop.Request();
  }
  std::string StopAt;
  TJobStop Stop;
};

class InterruptedJob : public ControllerFirebird {
 protected:
  void SetUp() override {
    ControllerFirebird::SetUp();
    UseLocalLogin(*q);
  }

  static void UseLocalLogin(TQuorvin& controller) {
    controller.Settings().Protocol = kLocal;
    controller.Settings().User = "SYSDBA";
    controller.Settings().Pass = fbtest::SysdbaPassword();
    controller.Settings().AutoBackName = false;
  }

  // The only file of the folder whose name holds `part`, as a full path.
  std::string OnlyFileWith(const std::string& part) const {
    const std::vector<std::string> found = FilesWith(part);
    EXPECT_EQ(found.size(), 1u) << part;
    return found.empty() ? std::string() : dir.File(found.front());
  }

  // A level 0, then rows changed for the level 1 to come.
  std::string LevelZeroAndChanges() {
    const auto outcome = q->IncrementalBackup(db, 0);
    EXPECT_TRUE(outcome && outcome->Succeeded) << seams.Dump();
    fbtest::RunIsqlScript(
        "DELETE FROM T_NOTES WHERE ID < 100;\nUPDATE T_ORDERS SET AMOUNT = 7 WHERE ID < 500;\nCOMMIT;\n", db);
    return outcome ? outcome->BackFile : std::string();
  }

  // The history's physical backups and verifications of level 1.
  std::vector<THistoryRecord> LevelOneRecords() const {
    std::vector<THistoryRecord> found;
    for (const THistoryRecord& record : ReadHistory(q->HistoryPath()))
      if (record.Level == 1 && (record.Kind == HistoryKindNBackup || record.Kind == HistoryKindVerify))
        found.push_back(record);
    return found;
  }

  // The level 1 `l1` kept its name and is the base of the next level, whose
  // chain restores to the rows of its time.
  void ExpectTheChainGoesOn(const std::string& l0, const std::string& l1) {
    EXPECT_TRUE(fs::exists(l1));
    EXPECT_TRUE(FilesWith(".failed").empty()) << "a finished level is never set apart";
    fbtest::RunIsqlScript("INSERT INTO T_CUSTOMERS VALUES (100000, 'After one', 'X');\nCOMMIT;\n", db);
    q->Settings().VerifyBackup = false;
    const auto l2 = q->IncrementalBackup(db, 2);
    ASSERT_TRUE(l2 && l2->Succeeded) << seams.Dump();
    EXPECT_EQ(l2->Chain, l0);
    const std::string target = dir.File("restored.fdb");
    ASSERT_TRUE(Restore(l2->BackFile, target)) << seams.Dump();
    ExpectSameRows(db, target);
    EXPECT_EQ(fbtest::RowCount(target, "T_CUSTOMERS"), fbtest::kCustomers + 1);
  }
};

TEST_F(InterruptedJob, ALevelKilledInItsVerificationKeepsItsFileAndItsChain) {
  const std::string l0 = LevelZeroAndChanges();
  q.reset();
  setenv("QUORVIN_PROBE_VERIFY", "1", 1);
  int code = -1;
  fbtest::RunCommand(fbtest::ShellQuote(QUORVIN_JOB_PROBE) + " " + fbtest::ShellQuote(dir.Path() + "/") +
                         " nbackup 3 " + fbtest::ShellQuote(db) + " 1 kill-at 'Files of the chain'",
                     &code);
  unsetenv("QUORVIN_PROBE_VERIFY");
  ASSERT_EQ(code, 128 + SIGKILL);
  const std::string l1 = OnlyFileWith("_L1_");

  q = NewController();
  UseLocalLogin(*q);
  ASSERT_TRUE(q->FinishInterruptedJob()) << seams.Dump();
  ASSERT_EQ(seams.Notices.size(), 1u);
  EXPECT_TRUE(Has(seams.Notices[0], "файл сохранён под своим именем: " + l1)) << seams.Notices[0];
  // The level is made, its verification was cut short.
  const std::vector<THistoryRecord> records = LevelOneRecords();
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].Kind, HistoryKindNBackup);
  EXPECT_TRUE(records[0].Succeeded());
  EXPECT_EQ(records[0].Base, l0);
  EXPECT_EQ(records[1].Kind, HistoryKindVerify);
  EXPECT_FALSE(records[1].Succeeded());
  EXPECT_EQ(records[1].Reason.rfind(InterruptedReason, 0), 0u) << records[1].Reason;
  ExpectTheChainGoesOn(l0, l1);
}

TEST_F(InterruptedJob, ALevelStoppedInItsVerificationKeepsItsFileAndItsChain) {
  const std::string l0 = LevelZeroAndChanges();
  q.reset();
  TStoppingSeams stopping;
  stopping.StopAt = "Test restore of the chain";
  {
    TQuorvin stopped(TFrontEnd{&stopping, &stopping, nullptr, "Quorvin", &stopping.Stop}, dir.Path() + "/");
    UseLocalLogin(stopped);
    stopped.Settings().VerifyBackup = true;
    const auto outcome = stopped.IncrementalBackup(db, 1);
    ASSERT_TRUE(outcome);
    EXPECT_FALSE(outcome->Succeeded) << "a verification that did not finish is no success";
    EXPECT_TRUE(Has(outcome->Reason, "Verification by test restore failed") && Has(outcome->Reason, "stopped"))
        << outcome->Reason;
    const std::string log = Bytes(stopped.Log().LogFileName());
    EXPECT_TRUE(Has(log, " Проверка резервной копии восстановлением не пройдена. ") &&
                Has(log, " Файл копии сохранён под своим именем") &&
                Has(log, " Причина: Verification by test restore failed"))
        << log;
  }
  q = NewController();
  UseLocalLogin(*q);
  const std::string l1 = OnlyFileWith("_L1_");
  const std::vector<THistoryRecord> records = LevelOneRecords();
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].Kind, HistoryKindVerify);
  EXPECT_FALSE(records[0].Succeeded());
  EXPECT_EQ(records[1].Kind, HistoryKindNBackup);
  EXPECT_TRUE(records[1].Succeeded()) << records[1].Reason;
  ExpectTheChainGoesOn(l0, l1);
}

// Stopped as it starts (the stop comes with the job's first progress): the
// request is never sent, as for a logical backup.
TEST_F(InterruptedJob, AHandIncrementalBackupIsStoppedAsAnyJob) {
  q.reset();
  TStoppingSeams stopping;
  TQuorvin stopped(TFrontEnd{&stopping, &stopping, nullptr, "Quorvin", &stopping.Stop}, dir.Path() + "/");
  UseLocalLogin(stopped);
  stopped.Jobs().OnJobProgress = [&] { stopping.Stop.Request(); };
  const auto outcome = stopped.IncrementalBackup(db, 0);
  ASSERT_TRUE(outcome);
  EXPECT_FALSE(outcome->Succeeded);
  EXPECT_TRUE(Has(outcome->Reason, "The job was stopped")) << outcome->Reason << "\n" << stopping.Dump();
  EXPECT_TRUE(FilesWith(".nbk").empty());
  EXPECT_EQ(fbtest::HeaderAttributes(db).find("backup lock"), std::string::npos);
}

// kill -9 of `quorvinctl restore --replace`, then `quorvinctl backup`: the
// backup first finishes the restore (the database back under its name and
// on line), then makes its own backup of it.
TEST_F(InterruptedJob, AKilledCommandLineRestoreIsFinishedByTheNextBackup) {
  // Large enough to be killed in the middle.
  db = dir.File("large.fdb");
  fbtest::CreateDatabase(db, 20);
  q->Settings().DataBase = db;
  ASSERT_TRUE(Backup()) << seams.Dump();
  const std::string gbk = backup.BackFile;
  q.reset();
  fbtest::RunIsqlScript("DELETE FROM T_NOTES WHERE ID >= 10;\nCOMMIT;\n", db);
  const std::vector<std::string> common{
      "--config", dir.File("Quorvin.INI"), "--log-dir", dir.File("logs"), "--protocol", "Local"};
  const std::vector<std::string> environment{"ISC_USER=SYSDBA", "LC_ALL=C.UTF-8"};
  const auto with = [&](std::vector<std::string> more) {
    more.insert(more.begin(), common.begin(), common.end());
    return more;
  };
  {
    fbtest::TCtl restore(with({"--replace", "--verbose", "restore", gbk, db}), environment);
    ASSERT_TRUE(restore.WaitFor("restoring data for table")) << restore.Output();
    restore.Kill();
    ASSERT_EQ(restore.Finish(), -SIGKILL) << restore.Output();
  }
  ASSERT_TRUE(fs::exists(dir.File("Quorvin.job")));
  EXPECT_EQ(FilesWith(".aside-").size(), 1u) << "the database is aside";

  fbtest::TCtl next(with({"backup", db}), environment);
  ASSERT_EQ(next.Finish(), 0) << next.Output();
  // The recovery's notice in the command line's English; its log lines stay Russian.
  EXPECT_TRUE(Has(next.Output(), "the earlier file is back under its name: ")) << next.Output();
  EXPECT_FALSE(HasCyrillic(next.Output())) << next.Output();
  std::string logs;
  for (const auto& entry : fs::recursive_directory_iterator(dir.File("logs"))) logs += Bytes(entry.path());
  EXPECT_TRUE(Has(logs, "прежний файл возвращён под своё имя: ")) << logs;
  EXPECT_TRUE(Has(next.Output(), "backup made: " + gbk)) << next.Output();
  EXPECT_FALSE(fs::exists(dir.File("Quorvin.job")));
  EXPECT_TRUE(FilesWith(".aside-").empty());
  EXPECT_TRUE(fs::exists(db + ".failed"));
  EXPECT_FALSE(fbtest::IsShutdown(db)) << fbtest::HeaderAttributes(db);
  EXPECT_EQ(fbtest::RowCount(db, "T_NOTES"), 10) << "the database as it was before the restore";

  std::string history;
  {
    fbtest::TCtl ctl(with({"history"}), environment);
    EXPECT_EQ(ctl.Finish(), 0);
    history = ctl.Output();
  }
  EXPECT_TRUE(Has(history, "restore") && Has(history, "failure") && Has(history, InterruptedReason)) << history;
}

}  // namespace
}  // namespace ctltest
