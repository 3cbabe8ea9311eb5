// Copies on this computer against the real Firebird: backups streamed from
// the embedded engine (Local) and the server (TCP) into compressed copies,
// restores fed back from them, and the faults a copy must survive: a full
// disk, a folder that disappears, a connection that drops, a damaged copy.

#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <filesystem>

#include "integration/controller_fixture_fb.h"
#include "integration/local_copy_fixture.h"
#include "platform/files.h"
#include "runner/local_copy_job.h"
#include "runner/local_copy_writer.h"
#include "runner/schedule.h"

namespace ctltest {
namespace {

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

std::string RunTool(const std::string& command) {
  int code = -1;
  const std::string output = fbtest::RunCommand(command, &code);
  EXPECT_EQ(code, 0) << command << "\n" << output;
  return output;
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// The file names in a folder, sorted.
Strings FilesIn(const std::string& folder) {
  Strings names;
  for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// A small copy standing in a folder before the job: it must come out of
// every failure as it went in.
struct TOlderCopy {
  explicit TOlderCopy(const std::string& path) : Path(path) {
    TLocalCopyWriter writer(path);
    writer.Write("older copy", 10);
    Info = writer.Commit();
    Bytes = ReadAll(path);
    Sum = ReadAll(Info.ChecksumFile);
  }
  void ExpectUntouched() const {
    EXPECT_TRUE(ReadAll(Path) == Bytes) << Path << " changed";
    EXPECT_EQ(ReadAll(Info.ChecksumFile), Sum);
  }
  std::string Path;
  TLocalCopyInfo Info;
  std::string Bytes, Sum;
};

class LocalCopyFirebird : public ControllerFirebird {
 protected:
  void SetUp() override {
    ControllerFirebird::SetUp();
    copies = dir.File("copies");
    fs::create_directory(copies);
    source = fbtest::TableContents(db);
  }

  // The copy checked by the tools themselves: sha256sum -c, and gbak -c of
  // what zstd decompresses gives the source's tables.
  void ExpectCopyRestoresWithTheTools(const std::string& copy, const std::string& name) {
    RunTool("cd " + fbtest::ShellQuote(copies) + " && sha256sum -c " + fbtest::ShellQuote(FileNameOf(copy) + ".sha256"));
    const std::string plain = dir.File(name + ".gbk");
    RunTool("zstd -q -d -c " + fbtest::ShellQuote(copy) + " > " + fbtest::ShellQuote(plain));
    const std::string restored = dir.File(name + "_gbak.fdb");
    RunTool("gbak -c -user SYSDBA " + fbtest::ShellQuote(plain) + " " + fbtest::ShellQuote(restored));
    EXPECT_EQ(fbtest::TableContents(restored), source);
  }

  static std::string FileNameOf(const std::string& path) { return fs::path(path).filename().string(); }

  // A runner job filled in as the controller does it, without a shutdown.
  void FillBackup(TSchedule& job, std::uint8_t protocol, bool copyOnly) {
    job.JobKind = TSchedule::KindBackup;
    job.SetJobName("COPY");
    job.SetUserName("SYSDBA");
    job.SetPassword(fbtest::SysdbaPassword());
    job.SetProtocol(protocol);
    job.WriteJobLog = false;
    job.SetJobFile(1, db);
    job.SetJobFile(2, dir.File("base.gbk"));
    job.StopDatabase = false;
    job.LocalCopyDir = copies;
    job.LocalCopyOnly = copyOnly;
  }

  bool PaneSays(const std::string& part) const {
    for (const auto& line : seams.Lines)
      if (line.find(part) != std::string::npos) return true;
    return false;
  }

  std::string copies;
  std::map<std::string, std::string> source;
};

// Local: copy only; TCP: the server's backup and the copy. Each copy is
// checked by the tools, then restored over the database through the
// service's standard input.
TEST_F(LocalCopyFirebird, BackupToThisComputerAndRestoreFromItLocalAndTcp) {
  for (std::int32_t protocol : {kLocal, kTcp}) {
    const bool copyOnly = protocol == kLocal;
    SCOPED_TRACE(copyOnly ? "Local, copy only" : "TCP, server file and copy");
    q->Protocol = protocol;
    q->LocalCopyDir = copies;
    q->LocalCopyOnly = copyOnly;
    const std::string serverFile = dir.File("base.fdb.gbk");
    const std::string copy = copies + "/base.fdb.gbk.zst";
    ASSERT_TRUE(q->Backup()) << seams.Dump();
    ASSERT_TRUE(q->LastLocalCopy.has_value());
    EXPECT_EQ(q->LastLocalCopy->File, copy);
    EXPECT_EQ(q->BackFile, copyOnly ? copy : serverFile);
    EXPECT_EQ(FileExists(serverFile), !copyOnly);
    EXPECT_EQ(FilesIn(copies), (Strings{"base.fdb.gbk.zst", "base.fdb.gbk.zst.sha256"}));
    EXPECT_EQ(LastLogLine(), q->LogStamp() + " Копия на этом компьютере создана. " + copy);
    EXPECT_TRUE(PaneSays("**** COPY COMPLETE ****")) << seams.Dump();
    ExpectCopyRestoresWithTheTools(copy, copyOnly ? "local" : "tcp");

    // Rows added after the backup: the restore from the copy takes them away.
    fbtest::RunIsqlScript("INSERT INTO T_CUSTOMERS VALUES (-1, 'after the backup', NULL);\nCOMMIT;\n", db);
    q->RestoreSource = copy;
    q->RestoreTarget = db;
    ASSERT_TRUE(q->Restore()) << seams.Dump();
    EXPECT_TRUE(PaneSays("SHA-256 checked: " + q->LastLocalCopy->Sha256)) << seams.Dump();
    EXPECT_EQ(fbtest::TableContents(db), source);
    EXPECT_FALSE(fbtest::IsShutdown(db)) << fbtest::HeaderAttributes(db);
    EXPECT_TRUE(FilesWith(".aside-").empty());
    EXPECT_EQ(LastLogLine(), q->LogStamp() + " Резервная копия восстановлена. " + db);
    fbtest::ShareWithServer(db);
    fs::remove(serverFile);
    fs::remove_all(copies);
    fs::create_directory(copies);
  }
}

TEST_F(LocalCopyFirebird, DamagedCopyIsRefusedBeforeTheDatabaseIsTouchedTcp) {
  q->Protocol = kTcp;
  q->LocalCopyDir = copies;
  q->LocalCopyOnly = true;
  ASSERT_TRUE(q->Backup()) << seams.Dump();
  const std::string copy = q->BackFile;
  std::string bytes = Bytes(copy);
  bytes[bytes.size() / 3] ^= 0x10;
  std::ofstream(copy, std::ios::binary | std::ios::trunc) << bytes;

  fbtest::RunIsqlScript("INSERT INTO T_CUSTOMERS VALUES (-1, 'kept', NULL);\nCOMMIT;\n", db);
  const auto before = fbtest::TableContents(db);
  const auto modified = fs::last_write_time(db);
  seams.Messages.clear();
  q->RestoreSource = copy;
  q->RestoreTarget = db;
  EXPECT_FALSE(q->Restore());
  EXPECT_TRUE(PaneSays("does not match its checksum file")) << seams.Dump();
  // Not shut down, not moved, not written: the database is as it was.
  EXPECT_EQ(fs::last_write_time(db), modified);
  EXPECT_FALSE(fbtest::IsShutdown(db)) << fbtest::HeaderAttributes(db);
  EXPECT_EQ(fbtest::TableContents(db), before);
  EXPECT_TRUE(FilesWith(".aside-").empty());
  EXPECT_EQ(LastLogLine(), q->LogStamp() + " Резервная копия НЕ восстановлена. " + db);
}

// A small file system for the copies; where mounting is refused, a child
// process whose files may not grow past the same size runs the job instead.
class TSmallDisk {
 public:
  TSmallDisk(const std::string& folder, const std::string& size) : FFolder(folder) {
    FMounted = mount("tmpfs", folder.c_str(), "tmpfs", 0, ("size=" + size).c_str()) == 0;
  }
  ~TSmallDisk() {
    if (FMounted) umount2(FFolder.c_str(), MNT_DETACH);
  }
  bool Mounted() const { return FMounted; }

 private:
  std::string FFolder;
  bool FMounted = false;
};

TEST_F(LocalCopyFirebird, FullDiskFailsTheCopyAndKeepsTheOlderOneTcp) {
  db = dir.File("larger.fdb");
  fbtest::CreateDatabase(db, 4);
  TSmallDisk disk(copies, "64k");
  const TOlderCopy older(copies + "/base.gbk.zst");
  const auto runJob = [&] {
    TSchedule job;
    FillBackup(job, static_cast<std::uint8_t>(kTcp), true);
    return job.RunJob();
  };
  bool result = true;
  std::string error;
  if (disk.Mounted()) {
    result = runJob();
    for (const auto& line : seams.Lines)
      if (line.rfind("ERROR: ", 0) == 0) error = line;
  } else {
    // The same job in a child process limited to 64 kB per file.
    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      signal(SIGXFSZ, SIG_IGN);
      const rlimit limit{64 * 1024, 64 * 1024};
      setrlimit(RLIMIT_FSIZE, &limit);
      std::string outcome = runJob() ? "made" : "failed";
      for (const auto& line : seams.Lines)
        if (line.rfind("ERROR: ", 0) == 0) outcome += "\n" + line;
      (void)!write(pipeFds[1], outcome.data(), outcome.size());
      _exit(0);
    }
    close(pipeFds[1]);
    std::string outcome;
    char buffer[4096];
    for (ssize_t n; (n = read(pipeFds[0], buffer, sizeof buffer)) > 0;) outcome.append(buffer, static_cast<std::size_t>(n));
    close(pipeFds[0]);
    waitpid(child, nullptr, 0);
    result = outcome.rfind("made", 0) == 0;
    error = outcome.substr(outcome.find('\n') + 1);
  }
  EXPECT_FALSE(result);
  EXPECT_TRUE(error.find("No space left on device") != std::string::npos ||
              error.find("File too large") != std::string::npos)
      << error;
  older.ExpectUntouched();
  EXPECT_EQ(FilesIn(copies), (Strings{"base.gbk.zst", "base.gbk.zst.sha256"}));
}

TEST_F(LocalCopyFirebird, FolderRemovedMidStreamFailsTheCopyTcp) {
  db = dir.File("larger.fdb");
  fbtest::CreateDatabase(db, 12);
  // The window is pumped before the copy starts, once the copy's file is
  // created, then after every batch of the stream: the folder goes after the
  // first batch.
  int pumps = 0;
  bool removed = false;
  SetMessagePump([&] {
    if (++pumps == 3) removed = fs::remove_all(copies) > 0;
  });
  TSchedule job;
  FillBackup(job, static_cast<std::uint8_t>(kTcp), true);
  EXPECT_FALSE(job.RunJob());
  EXPECT_TRUE(removed);
  EXPECT_TRUE(PaneSays("was removed while it was written")) << seams.Dump();
  EXPECT_FALSE(fs::exists(copies));  // never made again behind the user's back
}

TEST_F(LocalCopyFirebird, ConnectionDroppedMidStreamLeavesTheOlderCopyTcp) {
  db = dir.File("larger.fdb");
  fbtest::CreateDatabase(db, 6);
  const TOlderCopy older(copies + "/larger.gbk.zst");
  fbtest::TcpProxy proxy(300000);  // drops every connection after 300 kB
  TIBBackupStreamService request;
  request.SetProtocol(TProtocol::TCP);
  request.SetServerName(proxy.Server());
  request.Params().Add("User_Name=SYSDBA");
  request.Params().Add("Password=" + fbtest::SysdbaPassword());
  request.LoginPrompt = false;
  request.DatabaseName = db;
  std::string message;
  try {
    ReceiveLocalCopy(request, older.Path);
  } catch (const std::exception& e) {
    message = e.what();
  }
  EXPECT_FALSE(message.empty());
  EXPECT_FALSE(request.Active());
  older.ExpectUntouched();
  EXPECT_EQ(FilesIn(copies), (Strings{"larger.gbk.zst", "larger.gbk.zst.sha256"}));
}

}  // namespace
}  // namespace ctltest
