// A physical backup killed (SIGKILL) while its database is in backup mode,
// through the embedded engine and through a server of the tests' own
// (integration/private_server.h), and finished by a fresh controller: the
// database is out of backup mode at the next start, the ending offered and
// agreed to; declined, the mode stays and the record says so.

#include <signal.h>

#include <filesystem>
#include <memory>
#include <string>

#include "integration/controller_fixture_fb.h"
#include "integration/private_server_environment.h"

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

INSTANTIATE_TEST_SUITE_P(Protocols, KilledIncrementalBackup, ::testing::Values(kLocal, kTcp),
                         [](const auto& info) { return info.param == kLocal ? "Local" : "TCP"; });

}  // namespace
}  // namespace ctltest
