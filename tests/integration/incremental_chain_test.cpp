// Physical backups through the controller against the embedded engine
// (Local) and the server on this computer (TCP): a chain of levels 0, 1 and 2
// restored to the rows of level 2's time (also over an existing database,
// which is moved aside), links missing or changed refused before anything is
// touched, a level without its lower level refused before the server is
// asked, and a chain verified by a test restore.

#include <filesystem>
#include <fstream>
#include <string>

#include "controller/history/job_history.h"
#include "controller/jobs/incremental/chain.h"
#include "integration/controller_fixture_fb.h"
#include "jobs/job.h"
#include "platform/fake_clock.h"
#include "runner/log_pane.h"
#include "runner/physical_backup.h"

namespace ctltest {
namespace {

namespace fs = std::filesystem;

std::string Name(std::int32_t protocol) { return protocol == kLocal ? "Local" : "TCP"; }

class IncrementalChain : public ControllerFirebird, public ::testing::WithParamInterface<std::int32_t> {
 protected:
  void SetUp() override {
    ControllerFirebird::SetUp();
    q->Settings().Protocol = GetParam();
  }

  // A backup of `level`; its file, which the test checks is there.
  std::string Level(int level) {
    const auto outcome = q->IncrementalBackup(db, level);
    EXPECT_TRUE(outcome && outcome->Succeeded) << seams.Dump();
    if (!outcome || !outcome->Succeeded) return {};
    EXPECT_TRUE(fs::exists(outcome->BackFile));
    return outcome->BackFile;
  }

  // Rows of every table as one text, for comparing databases.
  static std::string Rows(const std::string& database) {
    return fbtest::RunIsqlScript(
        "SELECT 'C=' || COUNT(*) || ',' || COALESCE(SUM(ID), 0) FROM T_CUSTOMERS;\n"
        "SELECT 'O=' || COUNT(*) || ',' || COALESCE(SUM(AMOUNT), 0) FROM T_ORDERS;\n"
        "SELECT 'N=' || COUNT(*) || ',' || COALESCE(SUM(CHAR_LENGTH(BODY)), 0) FROM T_NOTES;\n",
        database);
  }

  // Levels 0, 1 and 2 with rows changed before each of the later ones; the
  // rows as they stood at level 2, and the files.
  struct TMadeChain {
    std::string L0, L1, L2, RowsAtL2;
  };
  TMadeChain MakeChain() {
    TMadeChain chain;
    chain.L0 = Level(0);
    fbtest::RunIsqlScript(
        "DELETE FROM T_NOTES WHERE ID < 100;\nUPDATE T_ORDERS SET AMOUNT = 7 WHERE ID < 500;\n"
        "COMMIT;\n",
        db);
    chain.L1 = Level(1);
    fbtest::RunIsqlScript(
        "INSERT INTO T_CUSTOMERS VALUES (100000, 'After one', 'X');\n"
        "DELETE FROM T_ORDERS WHERE ID >= 2900;\nCOMMIT;\n",
        db);
    chain.L2 = Level(2);
    chain.RowsAtL2 = Rows(db);
    // Changes after level 2 that no restore of it may show.
    fbtest::RunIsqlScript("DELETE FROM T_CUSTOMERS WHERE ID = 100000;\nDELETE FROM T_NOTES;\nCOMMIT;\n", db);
    return chain;
  }
};

TEST_P(IncrementalChain, LevelsZeroOneTwoRestoreToTheRowsOfLevelTwo) {
  const TMadeChain chain = MakeChain();
  ASSERT_FALSE(chain.L2.empty());
  for (const std::string& file : {chain.L0, chain.L1, chain.L2})
    EXPECT_EQ(file.find(".nbk"), file.size() - 4) << "named apart from the logical backups: " << file;

  // Over an existing database: it is moved aside and goes once the restore
  // has succeeded.
  const std::string target = dir.File("restored.fdb");
  fbtest::CreateDatabase(target);
  ASSERT_TRUE(Restore(chain.L2, target)) << seams.Dump();
  EXPECT_EQ(Rows(target), chain.RowsAtL2);
  EXPECT_NE(Rows(target), Rows(db));
  EXPECT_TRUE(FilesWith(".aside-").empty());
  EXPECT_FALSE(fbtest::IsShutdown(target));

  // The history names each file's level, chain and base.
  int levels = 0;
  for (const THistoryRecord& record : ReadHistory(q->HistoryPath())) {
    if (record.Kind != HistoryKindNBackup) continue;
    ASSERT_TRUE(record.Level);
    EXPECT_EQ(record.Chain, chain.L0);
    EXPECT_EQ(record.Base, *record.Level == 0 ? "" : *record.Level == 1 ? chain.L0 : chain.L1);
    EXPECT_TRUE(record.Size && !record.Sha256.empty());
    ++levels;
  }
  EXPECT_EQ(levels, 3);
}

// A link missing, then changed (one byte, size kept): the restore stops
// before anything is touched, naming the link; the target stays as it was.
TEST_P(IncrementalChain, AMissingOrChangedLinkIsRefusedBeforeAnythingIsTouched) {
  const TMadeChain chain = MakeChain();
  ASSERT_FALSE(chain.L2.empty());
  const std::string target = dir.File("target.fdb");
  fbtest::CreateDatabase(target);
  const std::string before = Bytes(target);
  struct TCase {
    const char* Name;
    const char* Text;
  };
  for (const TCase& c : {TCase{"missing", MissingLinkText}, TCase{"changed", ChangedLinkText}}) {
    SCOPED_TRACE(c.Name);
    const std::string kept = chain.L1 + ".kept";
    fs::copy_file(chain.L1, kept);
    if (std::string(c.Name) == "missing") {
      fs::remove(chain.L1);
    } else {
      std::fstream file(chain.L1, std::ios::in | std::ios::out | std::ios::binary);
      file.seekp(static_cast<std::streamoff>(fs::file_size(chain.L1) / 2));
      file.put('\x5A');
    }
    seams.Messages.clear();
    EXPECT_FALSE(Restore(chain.L2, target));
    const std::string refusal = LinkText(c.Text, chain.L1);
    EXPECT_NE(seams.Dump().find(refusal), std::string::npos) << seams.Dump();
    EXPECT_EQ(Bytes(target), before) << "the target is untouched";
    EXPECT_FALSE(fbtest::IsShutdown(target));
    EXPECT_TRUE(FilesWith(".aside-").empty());
    EXPECT_NE(LastLogLine().find(refusal), std::string::npos) << LastLogLine();
    fs::remove(chain.L1);
    fs::rename(kept, chain.L1);
    fbtest::ShareWithServer(chain.L1);
  }
  // Whole again, the chain restores.
  EXPECT_TRUE(Restore(chain.L2, target)) << seams.Dump();
  EXPECT_EQ(Rows(target), chain.RowsAtL2);
}

// Refused before the server is asked (a failed nbackup request harms the
// server): the server still answers afterwards.
TEST_P(IncrementalChain, ALevelWithoutItsLowerLevelIsRefused) {
  for (int level : {1, 2}) {
    const auto outcome = q->IncrementalBackup(db, level);
    ASSERT_TRUE(outcome);
    EXPECT_FALSE(outcome->Succeeded);
    EXPECT_TRUE(outcome->Started) << "refused with an outcome line of its own";
    EXPECT_NE(outcome->Reason.find("строится на копии уровня " + std::to_string(level - 1)), std::string::npos)
        << outcome->Reason;
  }
  EXPECT_TRUE(FilesWith(".nbk").empty());
  EXPECT_TRUE(ServerAnswers(LocalComputerName(), JobProtocolOf(GetParam()), "SYSDBA", fbtest::SysdbaPassword()));
  const std::string l0 = Level(0);
  // Level 2 still lacks its level 1.
  EXPECT_FALSE(q->IncrementalBackup(db, 2)->Succeeded);
  EXPECT_FALSE(l0.empty());
}

// A database left in backup mode: the backup asks before ending that mode
// (answered no here: nothing happens), and a read-only one is refused.
TEST_P(IncrementalChain, ADatabaseInBackupModeOrReadOnlyIsRefusedClearly) {
  fbtest::RunIsqlScript("ALTER DATABASE BEGIN BACKUP;\n", db);
  seams.Answer = false;
  auto outcome = q->IncrementalBackup(db, 0);
  EXPECT_FALSE(outcome->Succeeded);
  EXPECT_NE(outcome->Reason.find("ALTER DATABASE END BACKUP"), std::string::npos) << outcome->Reason;
  EXPECT_TRUE(fbtest::HeaderAttributes(db).find("backup lock") != std::string::npos);
  seams.Answer = true;
  outcome = q->IncrementalBackup(db, 0);
  EXPECT_TRUE(outcome->Succeeded) << seams.Dump();
  EXPECT_EQ(fbtest::HeaderAttributes(db).find("backup lock"), std::string::npos);

  fbtest::RunCommand("gfix -mode read_only -user SYSDBA " + fbtest::ShellQuote(db));
  outcome = q->IncrementalBackup(db, 1);
  EXPECT_FALSE(outcome->Succeeded);
  EXPECT_NE(outcome->Reason.find("только для чтения"), std::string::npos) << outcome->Reason;
  fbtest::RunCommand("gfix -mode read_write -user SYSDBA " + fbtest::ShellQuote(db));
}

TEST_P(IncrementalChain, AVerifiedLevelRestoresItsChainIntoATemporaryDatabase) {
  q->Settings().VerifyBackup = true;
  ASSERT_FALSE(Level(0).empty());
  fbtest::RunIsqlScript("DELETE FROM T_NOTES WHERE ID < 10;\nCOMMIT;\n", db);
  const auto outcome = q->IncrementalBackup(db, 1);
  ASSERT_TRUE(outcome && outcome->Succeeded) << seams.Dump();
  EXPECT_TRUE(outcome->Verified);
  EXPECT_NE(seams.Dump().find("The restored database answers: 3 user tables, "), std::string::npos) << seams.Dump();
  EXPECT_TRUE(FilesWith(".verify-").empty());
  int verified = 0;
  for (const THistoryRecord& record : ReadHistory(q->HistoryPath()))
    verified += record.Kind == HistoryKindVerify && record.Succeeded() && record.Level == 1;
  EXPECT_EQ(verified, 1);
}

// Two level-0 backups in one second (the clock held still) keep a file each,
// and the level 1 made next builds on the second and restores with it.
TEST_P(IncrementalChain, TwoBackupsInOneSecondKeepAFileEach) {
  TFakeClock clock(EncodeDate(2026, 12, 7) + EncodeTime(2, 0, 0, 0));
  const std::string first = Level(0);
  const std::string second = Level(0);
  EXPECT_EQ(fs::path(first).filename(), "base.fdb_L0_07_12_26_02_00_00.nbk");
  EXPECT_EQ(fs::path(second).filename(), "base.fdb_L0_07_12_26_02_00_00_2.nbk");
  EXPECT_TRUE(fs::exists(first) && fs::exists(second));
  fbtest::RunIsqlScript("DELETE FROM T_NOTES WHERE ID < 10;\nCOMMIT;\n", db);
  const std::string level1 = Level(1);
  ASSERT_FALSE(level1.empty());
  const std::vector<THistoryRecord> history = ReadHistory(q->HistoryPath());
  ASSERT_FALSE(history.empty());
  EXPECT_EQ(history.back().Base, second);
  const std::string target = dir.File("restored.fdb");
  ASSERT_TRUE(Restore(level1, target)) << seams.Dump();
  EXPECT_EQ(Rows(target), Rows(db));
}

INSTANTIATE_TEST_SUITE_P(Protocols, IncrementalChain, ::testing::Values(kLocal, kTcp),
                         [](const auto& info) { return Name(info.param); });

}  // namespace
}  // namespace ctltest
