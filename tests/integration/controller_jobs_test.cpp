// Backup and Restore of the controller against the real Firebird: the
// embedded engine (protocol Local) and the server on this computer (TCP).

#include <filesystem>

#include "integration/controller_fixture_fb.h"
#include "platform/files.h"

namespace ctltest {
namespace {

const char* Name(std::int32_t protocol) { return protocol == kLocal ? "Local" : "TCP"; }

TEST_F(ControllerFirebird, BackupThenRestoreIntoANewFileLocalAndTcp) {
  for (std::int32_t protocol : {kLocal, kTcp}) {
    SCOPED_TRACE(Name(protocol));
    q->Protocol = protocol;
    q->AutoBackName = protocol == kTcp;
    seams.Messages.clear();
    ASSERT_TRUE(q->Backup()) << seams.Dump();
    EXPECT_TRUE(FileExists(q->BackFile));
    EXPECT_EQ(q->BackFile.rfind(dir.Path() + "/base.fdb", 0), 0u) << q->BackFile;
    EXPECT_EQ(q->LastBack, q->BackFile);
    EXPECT_TRUE(seams.Messages.empty()) << seams.Dump();
    EXPECT_EQ(LastLogLine(), q->LogStamp() + " Резервная копия создана. " + q->BackFile);
    fbtest::ShareWithServer(q->BackFile);

    q->RestoreSource = q->BackFile;
    q->RestoreTarget = dir.File(std::string("restored_") + Name(protocol) + ".fdb");
    ASSERT_TRUE(q->Restore()) << seams.Dump();
    ASSERT_EQ(seams.Messages.size(), 1u) << seams.Dump();  // the confirmation only
    EXPECT_EQ(LastLogLine(), q->LogStamp() + " Резервная копия восстановлена. " + q->RestoreTarget);
    ExpectSameRows(db, q->RestoreTarget);
    EXPECT_TRUE(FilesWith(".aside-").empty());
    EXPECT_TRUE(FilesWith(".failed").empty());
  }
}

TEST_F(ControllerFirebird, RestoreOverTheExistingDatabaseReplacesItLocalAndTcp) {
  q->Protocol = kLocal;
  ASSERT_TRUE(q->Backup()) << seams.Dump();
  fbtest::ShareWithServer(q->BackFile);
  for (std::int32_t protocol : {kLocal, kTcp}) {
    SCOPED_TRACE(Name(protocol));
    // Rows added after the backup: the restore takes the database back.
    fbtest::RunIsqlScript("INSERT INTO T_CUSTOMERS VALUES (-1, 'after the backup', NULL);\nCOMMIT;\n", db);
    ASSERT_EQ(fbtest::RowCount(db, "T_CUSTOMERS"), fbtest::kCustomers + 1);
    q->Protocol = protocol;
    q->RestoreSource = q->BackFile;
    q->RestoreTarget = db;
    ASSERT_TRUE(q->Restore()) << seams.Dump();
    EXPECT_EQ(fbtest::RowCount(db, "T_CUSTOMERS"), fbtest::kCustomers);
    EXPECT_EQ(fbtest::RowCount(db, "T_ORDERS"), fbtest::kOrders);
    EXPECT_FALSE(fbtest::IsShutdown(db)) << fbtest::HeaderAttributes(db);
    EXPECT_TRUE(FilesWith(".aside-").empty());
    EXPECT_TRUE(FilesWith(".failed").empty());
    fbtest::ShareWithServer(db);
  }
}

TEST_F(ControllerFirebird, WrongPasswordKeepsTheOlderBackupByteForByte) {
  q->Protocol = kTcp;
  ASSERT_TRUE(q->Backup()) << seams.Dump();
  const std::string gbk = q->BackFile;
  const std::string older = Bytes(gbk);
  ASSERT_GT(older.size(), 1000u);
  // With and without the shutdown before the job: either step is refused.
  for (bool shutDown : {true, false}) {
    SCOPED_TRACE(shutDown ? "with shutdown" : "without shutdown");
    q->BackShutDown = shutDown;
    q->Pass = "wrong-password";
    seams.Messages.clear();
    seams.Beeps = 0;
    EXPECT_FALSE(q->Backup());
    EXPECT_EQ(q->BackFile, gbk);
    EXPECT_EQ(Bytes(gbk), older);
    EXPECT_EQ(q->LastBack, gbk);  // from the good backup
    EXPECT_EQ(seams.Beeps, 1);
    ASSERT_FALSE(seams.Messages.empty());
    EXPECT_EQ(seams.Messages.back(), "Errors were encountered during backup");
    EXPECT_EQ(LastLogLine(), q->LogStamp() + " Резервная копия НЕ создана. " + gbk);
    EXPECT_TRUE(FilesWith(".aside-").empty());
    EXPECT_FALSE(fbtest::IsShutdown(db));
  }
}

TEST_F(ControllerFirebird, FailedRestoreLeavesTheExistingDatabaseIntactAndUsable) {
  // A backup file that is no backup: the server creates nothing usable from
  // it and reports the failure.
  const std::string cut = dir.File("noise.gbk");
  {
    std::ofstream o(cut, std::ios::binary);
    for (int i = 0; i < 100000; ++i) o.put(static_cast<char>((i * 7919) % 251));
  }
  fbtest::ShareWithServer(cut);

  for (std::int32_t protocol : {kLocal, kTcp}) {
    SCOPED_TRACE(Name(protocol));
    q->Protocol = protocol;
    q->RestoreSource = cut;
    q->RestoreTarget = db;
    seams.Messages.clear();
    EXPECT_FALSE(q->Restore()) << seams.Dump();
    EXPECT_EQ(seams.Messages.back(), "Errors were encountered during restore") << seams.Dump();
    EXPECT_EQ(LastLogLine(), q->LogStamp() + " Резервная копия НЕ восстановлена. " + db);
    EXPECT_TRUE(FilesWith(".aside-").empty());
    // The same database, on line, taking writes.
    EXPECT_FALSE(fbtest::IsShutdown(db)) << fbtest::HeaderAttributes(db);
    EXPECT_EQ(fbtest::RowCount(db, "T_ORDERS"), fbtest::kOrders);
    fbtest::RunIsqlScript("INSERT INTO T_CUSTOMERS VALUES (-" + std::to_string(protocol + 1) +
                              ", 'after the failed restore', NULL);\nCOMMIT;\n",
                          db);
    EXPECT_EQ(fbtest::RowCount(db, "T_CUSTOMERS"), fbtest::kCustomers + (protocol == kLocal ? 1 : 2));
    for (const auto& name : FilesWith(".failed")) std::filesystem::remove(dir.File(name));
  }
}

}  // namespace
}  // namespace ctltest
