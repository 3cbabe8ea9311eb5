// Copies on this computer against the real Firebird: backups streamed from
// the embedded engine (Local) and the server (TCP) into compressed copies,
// restores fed back from them, and the faults a copy must survive: a full
// disk, a folder that disappears, a damaged copy. (A connection lost
// mid-stream: tests/runner/local_copy_job_test.cpp.)

#include <sys/resource.h>
#include <sys/wait.h>

#include "integration/controller_fixture_fb.h"
#include "platform/files.h"
#include "runner/local_copy_writer.h"
#include "runner/schedule.h"

namespace ctltest {
namespace {

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

// Every row of every table, blobs included, as isql prints them.
std::map<std::string, std::string> TableContents(const std::string& database) {
  std::map<std::string, std::string> contents;
  for (const char* table : {"T_CUSTOMERS", "T_ORDERS", "T_NOTES"})
    contents[table] =
        fbtest::RunIsqlScript(std::string("SET BLOB ALL;\nSELECT * FROM ") + table + " ORDER BY 1;\n", database);
  return contents;
}

void RunTool(const std::string& command) {
  int code = -1;
  const std::string output = fbtest::RunCommand(command, &code);
  EXPECT_EQ(code, 0) << command << "\n" << output;
}

class LocalCopyFirebird : public ControllerFirebird {
 protected:
  void SetUp() override {
    ControllerFirebird::SetUp();
    fs::create_directory(copies);
    source = TableContents(db);
  }

  // A copy-only backup of `database` through the runner, as the controller
  // fills it in, without a shutdown.
  bool RunCopyJob(const std::string& database) {
    TSchedule job;
    job.SetUserName("SYSDBA");
    job.SetPassword(fbtest::SysdbaPassword());
    job.SetProtocol(kTcp);
    job.WriteJobLog = false;
    job.StopDatabase = false;
    job.SetJobFile(1, database);
    job.SetJobFile(2, dir.File("base.gbk"));
    job.LocalCopyDir = copies;
    job.LocalCopyOnly = true;
    return job.RunJob();
  }

  bool PaneSays(const std::string& part) const {
    return std::any_of(seams.Lines.begin(), seams.Lines.end(),
                       [&](const std::string& line) { return line.find(part) != std::string::npos; });
  }

  std::string copies = dir.File("copies");
  std::map<std::string, std::string> source;
};

// Local: copy only; TCP: the server's backup and the copy. Each copy is
// checked by the tools (sha256sum, zstd, gbak), then restored over the
// database through the service's standard input.
TEST_F(LocalCopyFirebird, BackupToThisComputerAndRestoreFromItLocalAndTcp) {
  for (std::int32_t protocol : {kLocal, kTcp}) {
    const bool copyOnly = protocol == kLocal;
    SCOPED_TRACE(copyOnly ? "Local, copy only" : "TCP, server file and copy");
    q->Protocol = protocol;
    q->LocalCopyDir = copies;
    q->LocalCopyOnly = copyOnly;
    const std::string copy = copies + "/base.fdb.gbk.zst";
    ASSERT_TRUE(q->Backup()) << seams.Dump();
    EXPECT_EQ(q->BackFile, copyOnly ? copy : dir.File("base.fdb.gbk"));
    EXPECT_TRUE(FileExists(dir.File("base.fdb.gbk")) != copyOnly);
    EXPECT_EQ(LastLogLine(), q->LogStamp() + " Копия на этом компьютере создана. " + copy);
    RunTool("cd " + copies + " && sha256sum --quiet -c base.fdb.gbk.zst.sha256");
    const std::string plain = dir.File("plain.gbk"), viaGbak = dir.File("via_gbak.fdb");
    RunTool("zstd -q -f -d " + copy + " -o " + plain + " && gbak -c -user SYSDBA " + plain + " " + viaGbak);
    EXPECT_EQ(TableContents(viaGbak), source);

    // Rows added after the backup: the restore from the copy takes them away.
    fbtest::RunIsqlScript("INSERT INTO T_CUSTOMERS VALUES (-1, 'after the backup', NULL);\nCOMMIT;\n", db);
    q->RestoreSource = copy;
    q->RestoreTarget = db;
    ASSERT_TRUE(q->Restore()) << seams.Dump();
    EXPECT_TRUE(PaneSays("SHA-256 checked: " + q->LastLocalCopy->Sha256)) << seams.Dump();
    EXPECT_EQ(TableContents(db), source);
    EXPECT_FALSE(fbtest::IsShutdown(db)) << fbtest::HeaderAttributes(db);
    EXPECT_TRUE(FilesWith(".aside-").empty());
    const auto log = LogLines();
    EXPECT_EQ(log[log.size() - 2], q->LogStamp() + " Восстановление из копии на этом компьютере. " + copy);
    fbtest::ShareWithServer(db);
    fs::remove_all(copies);
    fs::create_directory(copies);
    fs::remove(dir.File("base.fdb.gbk"));
    fs::remove(viaGbak);
  }
}

TEST_F(LocalCopyFirebird, DamagedCopyIsRefusedBeforeTheDatabaseIsTouchedTcp) {
  q->Protocol = kTcp;
  q->LocalCopyDir = copies;
  q->LocalCopyOnly = true;
  ASSERT_TRUE(q->Backup()) << seams.Dump();
  std::string bytes = Bytes(q->BackFile);
  bytes[bytes.size() / 3] ^= 0x10;
  std::ofstream(q->BackFile, std::ios::binary | std::ios::trunc) << bytes;
  const auto modified = fs::last_write_time(db);
  q->RestoreSource = q->BackFile;
  q->RestoreTarget = db;
  EXPECT_FALSE(q->Restore());
  EXPECT_TRUE(PaneSays("does not match its checksum file")) << seams.Dump();
  // Not shut down, not moved, not written: the database is as it was.
  EXPECT_EQ(fs::last_write_time(db), modified);
  EXPECT_FALSE(fbtest::IsShutdown(db)) << fbtest::HeaderAttributes(db);
  EXPECT_EQ(TableContents(db), source);
  EXPECT_TRUE(FilesWith(".aside-").empty());
}

// A disk that fills up: the job runs in a child process whose files may not
// grow past 64 kB, so every write beyond fails as on a full disk, on any
// machine (mounting a small file system needs privileges a test may lack).
TEST_F(LocalCopyFirebird, FullDiskFailsTheCopyAndKeepsTheOlderOneTcp) {
  fbtest::CreateDatabase(db = dir.File("larger.fdb"), 4);
  TLocalCopyWriter writer(copies + "/base.gbk.zst");  // an older copy of the same name
  writer.Write("older copy", 10);
  writer.Commit();
  int channel[2];
  ASSERT_EQ(pipe(channel), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{64 * 1024, 64 * 1024};
    setrlimit(RLIMIT_FSIZE, &limit);
    std::string outcome = RunCopyJob(db) ? "made" : "failed";
    for (const auto& line : seams.Lines) outcome += "\n" + line;
    (void)!write(channel[1], outcome.data(), outcome.size());
    _exit(0);
  }
  close(channel[1]);
  std::string outcome;
  char buffer[4096];
  for (ssize_t n; (n = read(channel[0], buffer, sizeof buffer)) > 0;)
    outcome.append(buffer, static_cast<std::size_t>(n));
  close(channel[0]);
  waitpid(child, nullptr, 0);
  EXPECT_EQ(outcome.rfind("failed\n", 0), 0u) << outcome;
  EXPECT_NE(outcome.find("ERROR: Cannot write " + copies + "/base.gbk.zst: File too large"), std::string::npos)
      << outcome;
  // The older copy stands as it was, alone.
  EXPECT_EQ(std::distance(fs::directory_iterator(copies), fs::directory_iterator()), 2);
  RunTool("cd " + copies +
          " && sha256sum --quiet -c base.gbk.zst.sha256 && zstd -q -d -c base.gbk.zst | grep -q older");
}

TEST_F(LocalCopyFirebird, FolderRemovedMidStreamFailsTheCopyTcp) {
  fbtest::CreateDatabase(db = dir.File("larger.fdb"), 12);
  // Pumped before the copy starts, once its file is made, then after every
  // batch of the stream: the folder goes after the first batch.
  int pumps = 0;
  SetMessagePump([&] {
    if (++pumps == 3) fs::remove_all(copies);
  });
  EXPECT_FALSE(RunCopyJob(db));
  EXPECT_GE(pumps, 3);
  EXPECT_TRUE(PaneSays("was removed while it was written")) << seams.Dump();
  EXPECT_FALSE(fs::exists(copies));  // never made again behind the user's back
}

}  // namespace
}  // namespace ctltest
