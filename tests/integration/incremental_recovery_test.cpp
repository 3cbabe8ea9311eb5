// Physical backups the server must never be asked for, and a physical
// backup killed (SIGKILL) while its database is in backup mode, through the
// embedded engine and through a server of the tests' own
// (integration/private_server.h): a failed nbackup request stops a Firebird
// 3.0 server from accepting connections, so these tests never go near the
// shared one.
//
// A level whose level below the database's own history lacks (a database
// restored from a logical backup) or names a file the program does not have
// is refused before the request, with its log line and history record. A
// killed backup is finished by a fresh controller: the database is out of
// backup mode at the next start, the ending offered and agreed to;
// declined, the mode stays and the record says so.

#include <signal.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include "controller/history/job_history.h"
#include "integration/controller_fixture_fb.h"
#include "integration/private_server_environment.h"
#include "jobs/job.h"
#include "runner/log_pane.h"
#include "runner/physical_backup.h"

namespace ctltest {
namespace {

namespace fs = std::filesystem;

const auto* const Environment = ::testing::AddGlobalTestEnvironment(new fbtest::TPrivateServerEnvironment);

bool InBackupMode(const std::string& database) {
  return fbtest::HeaderAttributes(database).find("backup lock") != std::string::npos;
}

class KilledIncrementalBackup : public ControllerFirebird, public ::testing::WithParamInterface<std::int32_t> {
 protected:
  void SetUp() override {
    scale = 20;
    ControllerFirebird::SetUp();
    q->Settings().Protocol = GetParam();
  }

  // The probe makes a level-0 backup and kills itself in backup mode; the
  // shell's exit status.
  int RunKilledProbe() const {
    int code = -1;
    fbtest::RunCommand(fbtest::ShellQuote(QUORVIN_JOB_PROBE) + " " + fbtest::ShellQuote(dir.Path() + "/") +
                           " nbackup " + std::to_string(GetParam()) + " " + fbtest::ShellQuote(db) +
                           " 0 kill-in-backup-mode",
                       &code);
    return code;
  }

  void FinishAtTheNextStart() {
    q = NewController();
    seams.Notices.clear();
    seams.Messages.clear();
    ASSERT_TRUE(q->FinishInterruptedJob()) << seams.Dump();
  }
};

TEST_P(KilledIncrementalBackup, TheDatabaseIsOutOfBackupModeAtTheNextStart) {
  q.reset();
  ASSERT_EQ(RunKilledProbe(), 128 + SIGKILL);
  EXPECT_TRUE(fs::exists(dir.File("Quorvin.job")));
  // The embedded engine died with the program and left the mode; a server
  // may have finished the backup by itself.
  if (GetParam() == kLocal) {
    EXPECT_TRUE(InBackupMode(db)) << fbtest::HeaderAttributes(db);
  }

  FinishAtTheNextStart();
  EXPECT_FALSE(InBackupMode(db)) << fbtest::HeaderAttributes(db) << seams.Dump();
  EXPECT_FALSE(fs::exists(dir.File("Quorvin.job")));
  if (GetParam() == kLocal) {
    ASSERT_EQ(seams.Messages.size(), 1u) << "asked once: " << seams.Dump();
    EXPECT_NE(seams.Messages[0].find("ALTER DATABASE END BACKUP"), std::string::npos);
    ASSERT_EQ(seams.Notices.size(), 1u);
    EXPECT_NE(seams.Notices[0].find("режим резервного копирования завершён"), std::string::npos) << seams.Notices[0];
    EXPECT_FALSE(FilesWith(".nbk.failed").empty()) << "the unfinished file is set apart";
    EXPECT_EQ(fbtest::RowCount(db, "T_ORDERS"), fbtest::kOrders * scale);
    // The database takes the next backup. (A Firebird 3.0 server whose
    // nbackup client was killed holds the next nbackup request until it
    // notices the client gone: the server's to recover from.)
    q->Settings().Protocol = kLocal;
    q->Settings().User = "SYSDBA";
    EXPECT_TRUE(q->IncrementalBackup(db, 0)->Succeeded) << seams.Dump();
  }
}

TEST_P(KilledIncrementalBackup, DeclinedTheModeStaysAndIsReported) {
  if (GetParam() != kLocal) GTEST_SKIP() << "only the embedded engine dies with the program";
  q.reset();
  ASSERT_EQ(RunKilledProbe(), 128 + SIGKILL);
  seams.Answer = false;
  FinishAtTheNextStart();
  EXPECT_TRUE(InBackupMode(db));
  ASSERT_EQ(seams.Notices.size(), 1u);
  EXPECT_NE(seams.Notices[0].find("оставлена в режиме резервного копирования по решению пользователя"),
            std::string::npos)
      << seams.Notices[0];
  fbtest::RunIsqlScript("ALTER DATABASE END BACKUP;\n", db);
}

class RefusedLevel : public ControllerFirebird, public ::testing::WithParamInterface<std::int32_t> {
 protected:
  void SetUp() override {
    ControllerFirebird::SetUp();
    q->Settings().Protocol = GetParam();
  }

  std::string Level(TQuorvin& controller, int level) {
    const auto outcome = controller.IncrementalBackup(db, level);
    EXPECT_TRUE(outcome && outcome->Succeeded) << seams.Dump();
    return outcome && outcome->Succeeded ? outcome->BackFile : std::string();
  }

  // Refused before the request, naming `texts`: the outcome, the operation
  // log's lines, a history record, no file; the server still answers.
  void ExpectRefused(int level, const std::vector<std::string>& texts) {
    const auto outcome = q->IncrementalBackup(db, level);
    ASSERT_TRUE(outcome);
    EXPECT_FALSE(outcome->Succeeded);
    for (const std::string& text : texts) EXPECT_NE(outcome->Reason.find(text), std::string::npos) << outcome->Reason;
    const std::string made = "Инкрементная копия уровня " + std::to_string(level) + " НЕ создана. " + db;
    EXPECT_NE(FailureLogLine().find(made), std::string::npos) << FailureLogLine();
    EXPECT_NE(LastLogLine().find(outcome->Reason), std::string::npos) << LastLogLine();
    const std::vector<THistoryRecord> history = ReadHistory(q->HistoryPath());
    ASSERT_FALSE(history.empty());
    EXPECT_EQ(history.back().Kind, HistoryKindNBackup);
    EXPECT_EQ(history.back().Level, level);
    EXPECT_EQ(history.back().Reason, outcome->Reason);
    EXPECT_TRUE(FilesWith("_L" + std::to_string(level) + "_").empty());
    EXPECT_TRUE(ServerAnswers(LocalComputerName(), JobProtocolOf(GetParam()), "SYSDBA", fbtest::SysdbaPassword()));
  }
};

TEST_P(RefusedLevel, ADatabaseRestoredFromALogicalBackupHasNoLevelBelow) {
  ASSERT_FALSE(Level(*q, 0).empty());
  ASSERT_TRUE(Backup()) << seams.Dump();
  fbtest::ShareWithServer(backup.BackFile);
  ASSERT_TRUE(Restore(backup.BackFile, db)) << seams.Dump();

  ExpectRefused(1, {"RDB$BACKUP_HISTORY", "нет копии уровня 0"});
  // The plan makes the level the database lacks instead.
  EXPECT_EQ(q->Jobs().PlanLevel(q->Settings(), 1), 0);
  EXPECT_FALSE(Level(*q, 0).empty());
  EXPECT_EQ(q->Jobs().PlanLevel(q->Settings(), 1), 1);
}

// Another program folder on the same database makes a level 1, which the
// server builds the next level on: moved away, that level is refused; set
// apart under the program's own ".failed" name, the search by its GUID finds
// it and the chain through it restores.
TEST_P(RefusedLevel, ALevelBelowTheProgramDoesNotHaveIsNoBase) {
  const std::string l0 = Level(*q, 0);
  ASSERT_FALSE(Level(*q, 1).empty());
  fbtest::TempFolder otherDir("quorvin-other");
  fs::copy_file(q->HistoryPath(), otherDir.File(fs::path(q->HistoryPath()).filename().string()));
  // Backup names go down to the second.
  std::this_thread::sleep_for(std::chrono::milliseconds(1100));
  std::string theirs;
  {
    TQuorvin other(TFrontEnd{&seams, &seams}, otherDir.Path() + "/");
    other.Settings() = q->Settings();
    theirs = Level(other, 1);
  }
  ASSERT_FALSE(theirs.empty());
  fs::create_directory(dir.File("elsewhere"));
  const std::string away = dir.File("elsewhere/" + fs::path(theirs).filename().string());
  fs::rename(theirs, away);
  ExpectRefused(2, {"которой у программы нет", fs::path(theirs).filename().string()});

  fs::rename(away, theirs + ".failed");
  seams.Lines.clear();
  const auto l2 = q->IncrementalBackup(db, 2);
  ASSERT_TRUE(l2 && l2->Succeeded) << seams.Dump();
  EXPECT_NE(seams.Dump().find("WARNING: the server built this backup on " + theirs + ".failed"), std::string::npos)
      << seams.Dump();
  EXPECT_EQ(l2->Chain, l0);
  const std::string target = dir.File("restored.fdb");
  ASSERT_TRUE(Restore(l2->BackFile, target)) << seams.Dump();
  ExpectSameRows(db, target);
}

INSTANTIATE_TEST_SUITE_P(Protocols, RefusedLevel, ::testing::Values(kLocal, kTcp),
                         [](const auto& info) { return info.param == kLocal ? "Local" : "TCP"; });

INSTANTIATE_TEST_SUITE_P(Protocols, KilledIncrementalBackup, ::testing::Values(kLocal, kTcp),
                         [](const auto& info) { return info.param == kLocal ? "Local" : "TCP"; });

}  // namespace
}  // namespace ctltest
