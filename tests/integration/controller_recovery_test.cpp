// A backup with "Shutdown DB" on, and a restore, run by a program that is
// killed (SIGKILL) in the middle of the job, through the embedded engine and
// through the server; a fresh controller then finishes what the job left.

#include <filesystem>
#include <string>

#include "integration/controller_fixture_fb.h"
#include "platform/files.h"

namespace ctltest {
namespace {

namespace fs = std::filesystem;

constexpr const char* RecoveryLine = " Восстановление после прерванного задания: ";

class KilledJob : public ControllerFirebird {
 protected:
  // Runs the job in a program of its own, which kills itself when the pane
  // shows `killAt`; the exit status of the shell that ran it.
  int RunProbeKilledAt(const std::string& args, const std::string& killAt) const {
    int code = -1;
    fbtest::RunCommand(fbtest::ShellQuote(QUORVIN_JOB_PROBE) + " " + fbtest::ShellQuote(dir.Path() + "/") + " " + args +
                           " kill-at " + fbtest::ShellQuote(killAt),
                       &code);
    return code;
  }

  // A fresh controller in the same program folder finishes the job.
  void FinishAtTheNextStart() {
    q = std::make_unique<TQuorvin>(dir.Path() + "/");
    seams.Notices.clear();
    ASSERT_TRUE(q->FinishInterruptedJob()) << seams.Dump();
  }

  std::vector<std::string> RecoveryLogLines() const {
    std::vector<std::string> lines;
    for (const std::string& line : LogLines())
      if (line.find(RecoveryLine) != std::string::npos) lines.push_back(line.substr(line.find(RecoveryLine) + 51));
    return lines;
  }

  void ExpectToldOnce(const std::string& what) {
    ASSERT_EQ(seams.Notices.size(), 1u);
    EXPECT_NE(seams.Notices[0].find(what), std::string::npos) << seams.Notices[0];
    bool logged = false;
    for (const std::string& line : LogLines()) logged = logged || line.find(RecoveryLine + what) != std::string::npos;
    EXPECT_TRUE(logged) << what;
  }

  std::string Protocol(std::int32_t protocol) const { return std::to_string(protocol); }
};

TEST_F(KilledJob, BackupWithShutdownKilledMidJobLocalAndTcp) {
  for (const std::int32_t protocol : {kLocal, kTcp}) {
    SCOPED_TRACE(protocol == kLocal ? "Local" : "TCP");
    q = std::make_unique<TQuorvin>(dir.Path() + "/");
    q->DataBase = db;
    q->User = "SYSDBA";
    q->Pass = fbtest::SysdbaPassword();
    q->AutoBackName = false;
    q->BackShutDown = false;
    q->Protocol = protocol;
    ASSERT_TRUE(q->Backup()) << seams.Dump();
    const std::string gbk = q->BackFile;
    const std::string older = Bytes(gbk);
    q.reset();

    ASSERT_EQ(RunProbeKilledAt("backup " + Protocol(protocol) + " " + fbtest::ShellQuote(db), "writing data for table"),
              128 + 9);
    // What the kill left: the database shut down, the older backup aside,
    // the record of the job.
    EXPECT_TRUE(fbtest::IsShutdown(db));
    EXPECT_EQ(FilesWith(".aside-").size(), 1u);
    ASSERT_TRUE(fs::exists(dir.File("Quorvin.job")));

    FinishAtTheNextStart();
    EXPECT_FALSE(fbtest::IsShutdown(db)) << fbtest::HeaderAttributes(db);
    EXPECT_EQ(Bytes(gbk), older) << "the older backup is back under its name";
    EXPECT_TRUE(fs::exists(gbk + ".failed"));
    EXPECT_TRUE(FilesWith(".aside-").empty());
    EXPECT_FALSE(fs::exists(dir.File("Quorvin.job")));
    ExpectToldOnce("база данных в рабочем режиме: " + db);
    EXPECT_EQ(fbtest::RowCount(db, "T_ORDERS"), fbtest::kOrders);
    fs::remove(gbk + ".failed");
  }
}

TEST_F(KilledJob, RestoreKilledMidJobLocalAndTcp) {
  q->Protocol = kLocal;
  ASSERT_TRUE(q->Backup()) << seams.Dump();
  const std::string gbk = q->BackFile;
  q.reset();
  for (const std::int32_t protocol : {kLocal, kTcp}) {
    SCOPED_TRACE(protocol == kLocal ? "Local" : "TCP");
    fbtest::RunIsqlScript("DELETE FROM T_NOTES WHERE ID >= 10;\nCOMMIT;\n", db);
    ASSERT_EQ(
        RunProbeKilledAt("restore " + Protocol(protocol) + " " + fbtest::ShellQuote(gbk) + " " + fbtest::ShellQuote(db),
                         "restoring data for table"),
        128 + 9);
    EXPECT_EQ(FilesWith(".aside-").size(), 1u) << "the database is aside";

    FinishAtTheNextStart();
    EXPECT_TRUE(FilesWith(".aside-").empty());
    EXPECT_TRUE(fs::exists(db + ".failed"));
    EXPECT_FALSE(fbtest::IsShutdown(db)) << fbtest::HeaderAttributes(db);
    EXPECT_EQ(fbtest::RowCount(db, "T_NOTES"), 10) << "the database as it was before the restore";
    ExpectToldOnce("прежний файл возвращён под своё имя: ");
    fs::remove(db + ".failed");
  }
}

}  // namespace
}  // namespace ctltest
