// Backup and Restore of the controller against the real Firebird: the
// embedded engine (protocol Local) and the server on this computer (TCP).

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "integration/controller_fixture_fb.h"
#include "platform/files.h"

namespace ctltest {
namespace {

const char* Name(std::int32_t protocol) { return protocol == kLocal ? "Local" : "TCP"; }

// A user attached to the database through the server, kept open by an
// isql-fb process that reads its statements from us.
class TAttachedUser {
 public:
  TAttachedUser(const std::string& database, const std::string& outFile) : out_(outFile) {
    const std::string remote = std::string(fbtest::kServerHost) + ":" + database;
    isql_ = popen(("isql-fb -q -u SYSDBA -p " + fbtest::ShellQuote(fbtest::SysdbaPassword()) + " " +
                   fbtest::ShellQuote(remote) + " > " + fbtest::ShellQuote(outFile) + " 2>&1")
                      .c_str(),
                  "w");
    if (isql_ == nullptr) throw std::runtime_error("cannot start isql-fb");
    Send("SELECT 'CONNECT' || 'ED' FROM RDB$DATABASE;\n");
    for (int i = 0; i < 200 && Output().find("CONNECTED") == std::string::npos; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  ~TAttachedUser() { Close(); }

  bool Connected() const { return Output().find("CONNECTED") != std::string::npos; }

  // Whether the attachment made before still answers; ends the process.
  bool StillAttached() {
    Send("SELECT 'STILL' || 'THERE' FROM RDB$DATABASE;\nEXIT;\n");
    Close();
    return Output().find("STILLTHERE") != std::string::npos;
  }

  std::string Output() const {
    std::ifstream in(out_);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
  }

 private:
  void Send(const std::string& text) {
    std::fputs(text.c_str(), isql_);
    std::fflush(isql_);
  }
  void Close() {
    if (isql_ != nullptr) pclose(isql_);
    isql_ = nullptr;
  }
  std::string out_;
  FILE* isql_ = nullptr;
};

std::size_t Count(const std::vector<std::string>& lines, const std::string& line) {
  return static_cast<std::size_t>(std::count(lines.begin(), lines.end(), line));
}

// The first half of a backup file: what a copy cut short leaves.
std::string CutShortCopy(const std::string& gbk, const std::string& cut) {
  std::ifstream in(gbk, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  const std::string whole = s.str();
  std::ofstream out(cut, std::ios::binary);
  out << whole.substr(0, whole.size() / 2);
  out.close();
  fbtest::ShareWithServer(cut);
  return cut;
}

TEST_F(ControllerFirebird, BackupThenRestoreIntoANewFileLocalAndTcp) {
  for (std::int32_t protocol : {kLocal, kTcp}) {
    SCOPED_TRACE(Name(protocol));
    q->Settings().Protocol = protocol;
    q->Settings().AutoBackName = protocol == kTcp;
    seams.Messages.clear();
    ASSERT_TRUE(Backup()) << seams.Dump();
    EXPECT_TRUE(FileExists(backup.BackFile));
    EXPECT_EQ(backup.BackFile.rfind(dir.Path() + "/base.fdb", 0), 0u) << backup.BackFile;
    EXPECT_EQ(q->Settings().LastBack, backup.BackFile);
    EXPECT_TRUE(seams.Messages.empty()) << seams.Dump();
    EXPECT_EQ(LastLogLine(), q->Log().LogStamp() + " Резервная копия создана. " + backup.BackFile);
    fbtest::ShareWithServer(backup.BackFile);

    const std::string target = dir.File(std::string("restored_") + Name(protocol) + ".fdb");
    ASSERT_TRUE(Restore(backup.BackFile, target)) << seams.Dump();
    ASSERT_EQ(seams.Messages.size(), 1u) << seams.Dump();  // the confirmation only
    EXPECT_EQ(LastLogLine(), q->Log().LogStamp() + " Резервная копия восстановлена. " + target);
    ExpectSameRows(db, target);
    EXPECT_TRUE(FilesWith(".aside-").empty());
    EXPECT_TRUE(FilesWith(".failed").empty());
  }
}

TEST_F(ControllerFirebird, RestoreOverTheExistingDatabaseReplacesItLocalAndTcp) {
  q->Settings().Protocol = kLocal;
  ASSERT_TRUE(Backup()) << seams.Dump();
  fbtest::ShareWithServer(backup.BackFile);
  for (std::int32_t protocol : {kLocal, kTcp}) {
    SCOPED_TRACE(Name(protocol));
    // Rows added after the backup: the restore takes the database back.
    fbtest::RunIsqlScript("INSERT INTO T_CUSTOMERS VALUES (-1, 'after the backup', NULL);\nCOMMIT;\n", db);
    ASSERT_EQ(fbtest::RowCount(db, "T_CUSTOMERS"), fbtest::kCustomers + 1);
    q->Settings().Protocol = protocol;
    ASSERT_TRUE(Restore(backup.BackFile, db)) << seams.Dump();
    EXPECT_EQ(fbtest::RowCount(db, "T_CUSTOMERS"), fbtest::kCustomers);
    EXPECT_EQ(fbtest::RowCount(db, "T_ORDERS"), fbtest::kOrders);
    EXPECT_FALSE(fbtest::IsShutdown(db)) << fbtest::HeaderAttributes(db);
    EXPECT_TRUE(FilesWith(".aside-").empty());
    EXPECT_TRUE(FilesWith(".failed").empty());
    fbtest::ShareWithServer(db);
  }
}

TEST_F(ControllerFirebird, WrongPasswordKeepsTheOlderBackupByteForByte) {
  q->Settings().Protocol = kTcp;
  ASSERT_TRUE(Backup()) << seams.Dump();
  const std::string gbk = backup.BackFile;
  const std::string older = Bytes(gbk);
  ASSERT_GT(older.size(), 1000u);
  // With and without the shutdown before the job: either step is refused.
  for (bool shutDown : {true, false}) {
    SCOPED_TRACE(shutDown ? "with shutdown" : "without shutdown");
    q->Settings().BackShutDown = shutDown;
    q->Settings().Pass = "wrong-password";
    seams.Messages.clear();
    seams.Beeps = 0;
    EXPECT_FALSE(Backup());
    EXPECT_EQ(backup.BackFile, gbk);
    EXPECT_EQ(Bytes(gbk), older);
    EXPECT_EQ(q->Settings().LastBack, gbk);  // from the good backup
    EXPECT_EQ(seams.Beeps, 1);
    ASSERT_FALSE(seams.Messages.empty());
    EXPECT_EQ(seams.Messages.back(), "Errors were encountered during backup");
    EXPECT_EQ(FailureLogLine(), q->Log().LogStamp() + " Резервная копия НЕ создана. " + gbk);
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
    q->Settings().Protocol = protocol;
    seams.Messages.clear();
    EXPECT_FALSE(Restore(cut, db)) << seams.Dump();
    EXPECT_EQ(seams.Messages.back(), "Errors were encountered during restore") << seams.Dump();
    EXPECT_EQ(FailureLogLine(), q->Log().LogStamp() + " Резервная копия НЕ восстановлена. " + db);
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

// A restore from a backup file cut short is refused before anything happens:
// the database is neither shut down nor moved, its users stay attached, and
// the engine never sees the file (a server's gbak that reaches the end of a
// cut-short file closes a descriptor twice and can hit another job's file).
TEST_F(ControllerFirebird, RestoreFromACutShortBackupIsRefusedBeforeAnythingIsTouchedLocalAndTcp) {
  q->Settings().Protocol = kLocal;
  ASSERT_TRUE(Backup()) << seams.Dump();
  const std::string cut = CutShortCopy(backup.BackFile, dir.File("cut.gbk"));
  for (std::int32_t protocol : {kLocal, kTcp}) {
    SCOPED_TRACE(Name(protocol));
    TAttachedUser user(db, dir.File(std::string("isql_") + Name(protocol) + ".out"));
    ASSERT_TRUE(user.Connected()) << user.Output();
    q->Settings().Protocol = protocol;
    seams.Messages.clear();
    seams.Lines.clear();
    EXPECT_FALSE(Restore(cut, db)) << seams.Dump();
    // Refused before the question about users: no question, the reason in
    // Russian.
    EXPECT_EQ(seams.Messages.back().rfind("Файл резервной копии обрезан", 0), 0u) << seams.Dump();
    EXPECT_EQ(seams.Messages.size(), 1u) << seams.Dump();
    EXPECT_EQ(FailureLogLine(), q->Log().LogStamp() + " Резервная копия НЕ восстановлена. " + db);
    ASSERT_EQ(seams.Lines.size(), 1u) << seams.Dump();
    EXPECT_EQ(seams.Lines[0].rfind("ERROR: The backup file " + cut + " is cut short", 0), 0u) << seams.Lines[0];
    EXPECT_TRUE(user.StillAttached()) << user.Output();
    EXPECT_TRUE(FilesWith(".aside-").empty());
    EXPECT_TRUE(FilesWith(".failed").empty());
    EXPECT_FALSE(fbtest::IsShutdown(db)) << fbtest::HeaderAttributes(db);
    EXPECT_EQ(fbtest::RowCount(db, "T_ORDERS"), fbtest::kOrders);
  }
}

// A complete backup is never taken for a cut one, whatever gbak's last write
// left behind its end record: tables without keys of a few hundred kilobytes
// backed up by the server's own gbak restore through the program, and the
// program's own verified backup of them passes.
TEST_F(ControllerFirebird, ACompleteBackupOfTablesWithoutKeysRestoresAndVerifiesTcp) {
  const std::string shop = dir.File("shop.fdb");
  fbtest::RunIsqlScript("create database '" + shop +
                        "' user 'SYSDBA';\n"
                        "create table customers (id integer, name varchar(40), city varchar(30));\n"
                        "create table orders (id integer, cust integer, amount numeric(12,2), note varchar(100));\n"
                        "create table items (id integer, ord integer, qty integer, title varchar(50));\n"
                        "commit;\nset term ^;\nexecute block as declare i int = 0; begin while (i < 3000) do begin\n"
                        "  insert into customers values (:i, 'Customer ' || :i, 'City ' || mod(:i, 50));\n"
                        "  insert into orders values (:i, mod(:i, 3000), :i * 1.5, rpad('note ' || :i, 100, 'x'));\n"
                        "  if (i < 1000) then insert into items values (:i, :i, mod(:i, 7), 'Item ' || :i);\n"
                        "  i = i + 1; end end^\nset term ;^\ncommit;\n");
  fbtest::ShareWithServer(shop);
  const std::string gbk = dir.File("shop-by-gbak.gbk");
  int code = -1;
  const std::string out = fbtest::RunCommand(
      "gbak -b -se " + std::string(fbtest::kServerHost) + ":service_mgr -user SYSDBA -password " +
          fbtest::ShellQuote(fbtest::SysdbaPassword()) + " " + fbtest::ShellQuote(shop) + " " + fbtest::ShellQuote(gbk),
      &code);
  ASSERT_EQ(code, 0) << out;
  q->Settings().Protocol = kTcp;
  const std::string restored = dir.File("restored.fdb");
  EXPECT_TRUE(Restore(gbk, restored)) << seams.Dump();
  EXPECT_EQ(fbtest::RowCount(restored, "ORDERS"), 3000);
  EXPECT_EQ(fbtest::RowCount(restored, "ITEMS"), 1000);
  q->Settings().DataBase = shop;
  q->Settings().VerifyBackup = true;
  EXPECT_TRUE(Backup()) << seams.Dump();
  EXPECT_TRUE(backup.Verified) << seams.Dump();
  EXPECT_TRUE(FilesWith(".failed").empty());
}

// A user still attached to the database through the server when a restore
// replaces it: the runner's forced shutdown puts the user out before the
// database is moved aside, so nobody goes on writing into the moved file.
// After a failed restore the database is back, whole and on line.
TEST_F(ControllerFirebird, RestoreOverADatabaseInUseShutsItsUsersOutFirstTcp) {
  q->Settings().Protocol = kTcp;
  ASSERT_TRUE(Backup()) << seams.Dump();
  fbtest::ShareWithServer(backup.BackFile);
  const std::string good = backup.BackFile;
  // A file the server refuses only once it has started on it.
  const std::string bad = dir.File("foreign.gbk");
  {
    std::ofstream o(bad, std::ios::binary);
    o << std::string(100000, '\x5a');
  }
  fbtest::ShareWithServer(bad);
  for (bool foreign : {false, true}) {
    SCOPED_TRACE(foreign ? "foreign file" : "whole backup");
    fbtest::RunIsqlScript("INSERT INTO T_CUSTOMERS VALUES (-7, 'after the backup', NULL);\nCOMMIT;\n", db);
    TAttachedUser user(db, dir.File(foreign ? "isql2.out" : "isql1.out"));
    ASSERT_TRUE(user.Connected()) << user.Output();
    seams.Messages.clear();
    EXPECT_EQ(Restore(foreign ? bad : good, db), !foreign) << seams.Dump();
    EXPECT_FALSE(user.StillAttached()) << user.Output();

    EXPECT_EQ(seams.Lines.front(), "Stopping database: base.fdb") << seams.Dump();
    EXPECT_EQ(seams.Lines[1], "Database shutdown complete");
    EXPECT_EQ(Count(seams.Lines, "Stopping database: base.fdb"), 1u);
    EXPECT_EQ(Count(seams.Lines, "Error stopping database"), 0u);
    EXPECT_EQ(Count(seams.Lines, "Starting database: base.fdb"), 1u);
    EXPECT_EQ(seams.Lines.back(), "Database startup complete") << seams.Dump();
    EXPECT_TRUE(FilesWith(".aside-").empty());

    // Restored: the row added after the backup is gone. Failed: it is still
    // there, in the same database, which is on line and takes writes.
    EXPECT_EQ(fbtest::RowCount(db, "T_CUSTOMERS"), fbtest::kCustomers + (foreign ? 1 : 0));
    EXPECT_FALSE(fbtest::IsShutdown(db)) << fbtest::HeaderAttributes(db);
    fbtest::RunIsqlScript("UPDATE T_CUSTOMERS SET CITY = 'x' WHERE ID = 1;\nCOMMIT;\n", db);
    if (foreign) fbtest::RunIsqlScript("DELETE FROM T_CUSTOMERS WHERE ID = -7;\nCOMMIT;\n", db);
    for (const auto& name : FilesWith(".failed")) std::filesystem::remove(dir.File(name));
    fbtest::ShareWithServer(db);
  }
}

}  // namespace
}  // namespace ctltest
