// Copies on this computer against the real Firebird: backups made by gbak on
// this computer (the embedded engine's for Local, Firebird's gbak program
// over TCP) or streamed by the server when that cannot be, restores fed back
// from them, and the faults a copy must survive: a full disk, a folder that
// disappears, gbak killed, a damaged copy. (A connection lost mid-stream:
// tests/runner/local_copy_job_test.cpp.)

#include <sys/resource.h>
#include <sys/wait.h>

#include "integration/controller_fixture_fb.h"
#include "jobs/job_runner.h"
#include "platform/files.h"
#include "platform/scoped_env.h"
#include "runner/local_copy_writer.h"

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

// gbak started by this process to write into a named pipe, and how many
// bytes it has written; 0 when none runs.
std::pair<pid_t, std::uint64_t> BackupGbak() {
  for (const auto& entry : fs::directory_iterator("/proc")) {
    std::ifstream stat(entry.path() / "stat"), cmdline(entry.path() / "cmdline"), io(entry.path() / "io");
    std::string line, args, key;
    std::getline(stat, line);
    std::getline(cmdline, args);
    int ppid = 0;
    char state = 0;
    std::istringstream(line.substr(std::min(line.size(), line.rfind(')') + 1))) >> state >> ppid;
    if (ppid != getpid() || line.find("(gbak)") == std::string::npos || args.find(".fifo") == std::string::npos)
      continue;
    std::uint64_t value = 0;
    while (io >> key >> value && key != "wchar:") {
    }
    return {std::stoi(entry.path().filename().string()), value};
  }
  return {0, 0};
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
  bool RunCopyJob(const std::string& database, std::int32_t protocol = kTcp) {
    TJob job;
    job.UserName.Set("SYSDBA");
    job.Password.Set(fbtest::SysdbaPassword());
    job.Protocol = JobProtocolOf(protocol);
    job.WriteJobLog = false;
    job.StopDatabase = false;
    job.Database.Set(database);
    job.BackupFile.Set(dir.File("base.gbk"));
    job.Destination = {copies, true};
    TJobRunner runner(job);
    runner.Output = &output;
    return runner.Run();
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
    q->Settings().Protocol = protocol;
    q->Settings().LocalCopyDir = copies;
    q->Settings().LocalCopyOnly = copyOnly;
    const std::string copy = copies + "/base.fdb.gbk.zst";
    ASSERT_TRUE(Backup()) << seams.Dump();
    EXPECT_TRUE(PaneSays(copyOnly ? "Copy made by: gbak of the embedded engine on this computer"
                                  : "Copy made by: gbak on this computer ("))
        << seams.Dump();
    EXPECT_EQ(backup.BackFile, copyOnly ? copy : dir.File("base.fdb.gbk"));
    EXPECT_TRUE(FileExists(dir.File("base.fdb.gbk")) != copyOnly);
    EXPECT_EQ(LastLogLine(), q->Log().LogStamp() + " Копия на этом компьютере создана. " + copy);
    RunTool("cd " + copies + " && sha256sum --quiet -c base.fdb.gbk.zst.sha256");
    const std::string plain = dir.File("plain.gbk"), viaGbak = dir.File("via_gbak.fdb");
    RunTool("zstd -q -f -d " + copy + " -o " + plain + " && gbak -c -user SYSDBA " + plain + " " + viaGbak);
    EXPECT_EQ(TableContents(viaGbak), source);

    // Rows added after the backup: the restore from the copy takes them away.
    fbtest::RunIsqlScript("INSERT INTO T_CUSTOMERS VALUES (-1, 'after the backup', NULL);\nCOMMIT;\n", db);
    ASSERT_TRUE(backup.Copy.has_value());
    ASSERT_TRUE(Restore(copy, db)) << seams.Dump();
    EXPECT_TRUE(PaneSays("SHA-256 checked: " + backup.Copy->Sha256)) << seams.Dump();
    EXPECT_EQ(TableContents(db), source);
    EXPECT_FALSE(fbtest::IsShutdown(db)) << fbtest::HeaderAttributes(db);
    EXPECT_TRUE(FilesWith(".aside-").empty());
    const auto log = LogLines();
    EXPECT_EQ(log[log.size() - 2], q->Log().LogStamp() + " Восстановление из копии на этом компьютере. " + copy);
    fbtest::ShareWithServer(db);
    fs::remove_all(copies);
    fs::create_directory(copies);
    fs::remove(dir.File("base.fdb.gbk"));
    fs::remove(viaGbak);
  }
}

TEST_F(LocalCopyFirebird, DamagedCopyIsRefusedBeforeTheDatabaseIsTouchedTcp) {
  q->Settings().Protocol = kTcp;
  q->Settings().LocalCopyDir = copies;
  q->Settings().LocalCopyOnly = true;
  ASSERT_TRUE(Backup()) << seams.Dump();
  std::string bytes = Bytes(backup.BackFile);
  bytes[bytes.size() / 3] ^= 0x10;
  std::ofstream(backup.BackFile, std::ios::binary | std::ios::trunc) << bytes;
  const auto modified = fs::last_write_time(db);
  EXPECT_FALSE(Restore(backup.BackFile, db));
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

// Cut off while gbak writes: the copy's folder removed (the reading side
// fails, so gbak, inside this process for Local, meets a broken pipe and
// must not end the process), or gbak killed (the pipe ends early). Nothing
// stands under the copy's names and no pipe is left behind.
TEST_F(LocalCopyFirebird, CopyCutOffWhileGbakWritesLeavesNothingBehind) {
  fbtest::CreateDatabase(db = dir.File("larger.fdb"), 25);
  struct Row {
    std::int32_t protocol;
    bool killGbak;
    const char* error;
  } const rows[] = {
      {kLocal, false, "was removed while it was written"},
      {kTcp, false, "was removed while it was written"},
      {kTcp, true, "ERROR: gbak on this computer was ended by signal 9"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.error);
    const fbtest::TempFolder pipes("quorvin-pipes");
    TScopedEnv env;
    env.Set("TMPDIR", pipes.Path());
    fs::create_directories(copies);
    const auto pipeMade = [&] { return !fs::is_empty(pipes.Path()); };
    // Beside the job, as soon as the copy is under way.
    std::atomic<bool> cut{false};
    std::atomic<bool> jobEnded{false};
    std::thread cutter([&] {
      for (; !cut && !jobEnded; std::this_thread::sleep_for(std::chrono::milliseconds(5))) {
        const auto [gbak, written] = BackupGbak();
        if (!pipeMade() || (row.killGbak && written < 1024 * 1024)) continue;
        cut = row.killGbak ? kill(gbak, SIGKILL) == 0 : fs::remove_all(copies) > 0;
      }
    });
    EXPECT_FALSE(RunCopyJob(db, row.protocol));
    jobEnded = true;
    cutter.join();
    EXPECT_TRUE(cut);
    EXPECT_TRUE(PaneSays(row.error)) << seams.Dump();
    EXPECT_TRUE(fs::is_empty(pipes.Path()));
    // Never made again behind the user's back; nothing under the copy's names.
    EXPECT_EQ(fs::exists(copies), row.killGbak);
    EXPECT_TRUE(!row.killGbak || fs::is_empty(copies));
    struct sigaction brokenPipe {};
    sigaction(SIGPIPE, nullptr, &brokenPipe);
    EXPECT_TRUE(row.protocol != kLocal || brokenPipe.sa_handler == SIG_IGN);
    fs::remove_all(copies);
  }
}

// Where gbak on this computer cannot make the copy, the server streams it.
TEST_F(LocalCopyFirebird, StreamedByTheServerWhenGbakHereCannotBeUsedTcp) {
  const std::string programs = dir.File("programs");
  fs::create_directory(programs);
  struct Row {
    const char* gbakScript;
    std::string reason;
  } const rows[] = {
      {nullptr, "no gbak program on this computer"},
      {"echo 'gbak:gbak version LI-V4.0.5.3140 Firebird 4.0'",
       programs + "/gbak is of Firebird 4.0, the client library of Firebird 3.0"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.reason);
    if (row.gbakScript) {
      std::ofstream(programs + "/gbak") << "#!/bin/sh\n" << row.gbakScript << "\n";
      fs::permissions(programs + "/gbak", fs::perms::owner_all);
    }
    fs::create_directories(copies);
    bool made = false;
    {
      TScopedEnv env;
      env.Set("PATH", programs);
      made = RunCopyJob(db);
    }
    EXPECT_TRUE(made) << seams.Dump();
    EXPECT_TRUE(PaneSays("Copy made by: the server's service manager, streamed (" + row.reason + ")")) << seams.Dump();
    RunTool("cd " + copies + " && sha256sum --quiet -c base.gbk.zst.sha256 && zstd -q -t base.gbk.zst");
    fs::remove_all(copies);
  }
}

}  // namespace
}  // namespace ctltest
