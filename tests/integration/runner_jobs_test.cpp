// Backups, restores and repairs through the job runner against the real Firebird:
// the embedded engine (protocol Local) and the server on this computer
// (protocol TCP).

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>
#include <utility>

#include "integration/fb_fixture.h"
#include "jobs/job_runner.h"
#include "runner/job_output.h"
#include "runner/ui_seams.h"

namespace {

using Lines = std::vector<std::string>;
constexpr TProtocol kTcp = TProtocol::TCP;
constexpr TProtocol kLocal = TProtocol::Local;

class TPane : public TLogPaneView {
 public:
  void Clear() override { Lines.clear(); }
  void AppendLine(const std::string& line) override { Lines.push_back(line); }
  std::vector<std::string> Lines;
};

class TPrompts : public ::TPrompts {
 public:
  void ShowMessage(const std::string& text) override { Messages.push_back(text); }
  bool AskYesNo(const std::string&) override { return true; }
  bool ConfirmOkCancel(const std::string&) override { return true; }
  void Beep() override {}
  std::vector<std::string> Messages;
};

std::string FileNameOf(const std::string& path) { return std::filesystem::path(path).filename().string(); }

class RunnerFirebird : public ::testing::Test {
 protected:
  void SetUp() override {
    db = dir.File("base.fdb");
    fbtest::CreateDatabase(db);
  }

  // A job of `kind` from `source` to `target` (a repair: none), without a
  // shutdown.
  TJob Describe(TJobKind kind, TProtocol protocol, const std::string& source, const std::string& target) {
    TJob job;
    job.Kind = kind;
    job.Name.Set("REAL JOB");
    job.UserName.Set("SYSDBA");
    job.Password.Set(protocol == kTcp ? fbtest::SysdbaPassword() : "");
    job.Protocol = protocol;
    job.WriteJobLog = false;
    job.VerboseJobLog = false;
    const bool restore = RestoresDatabase(job);
    (restore ? job.BackupFile : job.Database).Set(source);
    (restore ? job.Database : job.BackupFile).Set(target);
    job.StopDatabase = false;
    return job;
  }

  // Runs `job` with its account on the pane; `beforeRequest` as the
  // runner's hook.
  bool Run(const TJob& job, std::function<void()> beforeRequest = {}) {
    TJobRunner runner(job);
    runner.Output = &output;
    runner.BeforeRequest = std::move(beforeRequest);
    return runner.Run();
  }

  // The lines the runner itself puts around the server's output.
  void ExpectFrame(const std::string& header, const std::string& banner, std::size_t from = 0,
                   std::size_t trailing = 0) {
    const Lines& l = pane.Lines;
    ASSERT_GE(l.size(), from + 10 + trailing) << Dump();
    EXPECT_EQ(l[from], "Job: REAL JOB");
    EXPECT_EQ(l[from + 1], header);
    EXPECT_EQ(l[from + 2].rfind("Job options: [", 0), 0u);
    EXPECT_EQ(l[from + 3].rfind("Started: ", 0), 0u);
    EXPECT_EQ(l[from + 4], " ");
    const std::size_t end = l.size() - trailing;
    EXPECT_EQ(l[end - 5], " ");
    EXPECT_EQ(l[end - 4], banner) << Dump();
    EXPECT_EQ(l[end - 3].rfind("Stopped: ", 0), 0u);
    EXPECT_EQ(l[end - 2], "End of job: REAL JOB");
    EXPECT_EQ(l[end - 1], " ");
  }

  // The server's own output lines (between the header and the closing lines).
  Lines ServerOutput(std::size_t from = 0, std::size_t trailing = 0) const {
    return Lines(pane.Lines.begin() + static_cast<long>(from + 5), pane.Lines.end() - static_cast<long>(trailing + 5));
  }

  std::string Dump() const {
    std::string all;
    for (const auto& line : pane.Lines) all += line + "\n";
    return all;
  }

  void ExpectSameRows(const std::string& a, const std::string& b) {
    for (const char* table : {"T_CUSTOMERS", "T_ORDERS", "T_NOTES"})
      EXPECT_EQ(fbtest::RowCount(a, table), fbtest::RowCount(b, table)) << table;
  }

  bool ContainsLine(const std::string& part) const {
    for (const auto& line : pane.Lines)
      if (line.find(part) != std::string::npos) return true;
    return false;
  }

  fbtest::TempFolder dir{"quorvin-runner"};
  std::string db;
  TPane pane;
  TPrompts prompts;
  TJobOutput output{&pane, &prompts};
};

}  // namespace

TEST_F(RunnerFirebird, BackupLocalRestoresWithGbakToTheSameRows) {
  const std::string gbk = dir.File("base.gbk");
  TJob job = Describe(TJobKind::Backup, kLocal, db, gbk);
  job.BackupOptions = {TBackupOption::IgnoreLimbo};
  ASSERT_TRUE(Run(job)) << Dump();
  ExpectFrame("Backup of database: base.fdb", "**** BACKUP COMPLETE ****");
  EXPECT_EQ(pane.Lines[2], "Job options: [Ignore limbo transactions]");
  const Lines out = ServerOutput();
  ASSERT_GT(out.size(), 5u) << Dump();
  EXPECT_EQ(out.back(), " ");  // the empty line that ends the output
  EXPECT_TRUE(ContainsLine("writing data for table T_ORDERS")) << Dump();
  EXPECT_TRUE(prompts.Messages.empty());

  const std::string restored = dir.File("restored.fdb");
  int code = -1;
  const std::string gbakOut =
      fbtest::RunCommand("gbak -c " + fbtest::ShellQuote(gbk) + " " + fbtest::ShellQuote(restored), &code);
  ASSERT_EQ(code, 0) << gbakOut;
  ExpectSameRows(db, restored);
}

TEST_F(RunnerFirebird, BackupTcpWithShutdownTakesTheDatabaseOffLineDuringTheJob) {
  const std::string gbk = dir.File("base.gbk");
  const std::string password = fbtest::SysdbaPassword();
  const std::string remote = std::string(fbtest::kServerHost) + ":" + db;

  // An attachment made before the job, kept open by an isql process.
  const std::string isqlOut = dir.File("isql.out");
  FILE* isql = popen(("isql-fb -q -u SYSDBA -p " + fbtest::ShellQuote(password) + " " + fbtest::ShellQuote(remote) +
                      " > " + fbtest::ShellQuote(isqlOut) + " 2>&1")
                         .c_str(),
                     "w");
  ASSERT_NE(isql, nullptr);
  fputs("SELECT 'CONNECTED' FROM RDB$DATABASE;\n", isql);
  fflush(isql);
  auto isqlText = [&] {
    std::ifstream in(isqlOut);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
  };
  for (int i = 0; i < 200 && isqlText().find("CONNECTED") == std::string::npos; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  ASSERT_NE(isqlText().find("CONNECTED"), std::string::npos) << isqlText();

  // While the job runs: the header says shut down, and a new attachment of
  // an ordinary user is refused.
  bool shutDownSeen = false;
  std::string attributesSeen;
  TJob job = Describe(TJobKind::Backup, kTcp, db, gbk);
  job.StopDatabase = true;
  ASSERT_TRUE(Run(job, [&] {
    attributesSeen = fbtest::HeaderAttributes(db);
    shutDownSeen = fbtest::IsShutdown(db) || attributesSeen.find("maintenance") != std::string::npos;
  })) << Dump();

  EXPECT_TRUE(shutDownSeen) << "attributes during the job: " << attributesSeen;
  EXPECT_EQ(pane.Lines[0], "Stopping database: base.fdb") << Dump();
  EXPECT_EQ(pane.Lines[1], "Database shutdown complete");
  ExpectFrame("Backup of database: base.fdb", "**** BACKUP COMPLETE ****", 2, 2);
  EXPECT_EQ(pane.Lines[pane.Lines.size() - 2], "Starting database: base.fdb");
  EXPECT_EQ(pane.Lines.back(), "Database startup complete");
  EXPECT_TRUE(prompts.Messages.empty());

  // The old attachment is gone; the database is on line again.
  fputs("SELECT 'STILL' || 'THERE' FROM RDB$DATABASE;\nEXIT;\n", isql);
  pclose(isql);
  EXPECT_EQ(isqlText().find("STILLTHERE"), std::string::npos) << isqlText();
  EXPECT_FALSE(fbtest::IsShutdown(db)) << fbtest::HeaderAttributes(db);
  EXPECT_EQ(fbtest::HeaderAttributes(db).find("maintenance"), std::string::npos);

  const std::string restored = dir.File("restored.fdb");
  int code = -1;
  const std::string gbakOut =
      fbtest::RunCommand("gbak -c " + fbtest::ShellQuote(gbk) + " " + fbtest::ShellQuote(restored), &code);
  ASSERT_EQ(code, 0) << gbakOut;
  ExpectSameRows(db, restored);
}

TEST_F(RunnerFirebird, BackupLocalWithShutdownThroughTheEmbeddedEngine) {
  bool shutDownSeen = false;
  TJob job = Describe(TJobKind::Backup, kLocal, db, dir.File("local.gbk"));
  job.StopDatabase = true;
  ASSERT_TRUE(Run(job, [&] { shutDownSeen = fbtest::HeaderAttributes(db).find("maintenance") != std::string::npos; }))
      << Dump();
  EXPECT_TRUE(shutDownSeen);
  EXPECT_EQ(pane.Lines[1], "Database shutdown complete") << Dump();
  ExpectFrame("Backup of database: base.fdb", "**** BACKUP COMPLETE ****", 2, 2);
  EXPECT_EQ(pane.Lines.back(), "Database startup complete");
  EXPECT_EQ(fbtest::HeaderAttributes(db).find("maintenance"), std::string::npos);
  EXPECT_EQ(fbtest::RowCount(db, "T_NOTES"), fbtest::kNotes);
}

TEST_F(RunnerFirebird, RestoreIntoANewFileLocalAndTcp) {
  const std::string gbk = dir.File("source.gbk");
  int code = -1;
  const std::string gbakOut =
      fbtest::RunCommand("gbak -b " + fbtest::ShellQuote(db) + " " + fbtest::ShellQuote(gbk), &code);
  ASSERT_EQ(code, 0) << gbakOut;
  fbtest::ShareWithServer(gbk);

  for (TProtocol protocol : {kLocal, kTcp}) {
    SCOPED_TRACE(protocol == kLocal ? "Local" : "TCP");
    const std::string target = dir.File(protocol == kLocal ? "new_local.fdb" : "new_tcp.fdb");
    TJob job = Describe(TJobKind::Restore, protocol, gbk, target);
    job.StopDatabase = true;  // as every restore asks: the new file is not there yet
    ASSERT_TRUE(Run(job)) << Dump();
    // Nothing to stop: the pane says so plainly.
    EXPECT_EQ(pane.Lines[0], "New database: " + FileNameOf(target) + " does not exist yet, nothing to stop") << Dump();
    ExpectFrame("Restore of database: source.gbk", "**** RESTORE COMPLETE ****", 1, 2);
    EXPECT_EQ(pane.Lines[pane.Lines.size() - 2], "Starting database: " + FileNameOf(target));
    EXPECT_EQ(pane.Lines.back(), "Database startup complete") << Dump();
    for (const auto& m : prompts.Messages) ADD_FAILURE() << m;
    EXPECT_TRUE(ContainsLine("gbak:restoring data for table T_ORDERS") || ContainsLine("T_ORDERS")) << Dump();
    ASSERT_TRUE(std::filesystem::exists(target));
    ExpectSameRows(db, target);
  }
  EXPECT_TRUE(prompts.Messages.empty());
}

TEST_F(RunnerFirebird, RepairLocalAndTcp) {
  for (TProtocol protocol : {kLocal, kTcp}) {
    SCOPED_TRACE(protocol == kLocal ? "Local" : "TCP");
    TJob job = Describe(TJobKind::Repair, protocol, db, "");
    job.RepairOptions = {TValidateOption::ValidateDB, TValidateOption::ValidateFull};
    ASSERT_TRUE(Run(job)) << Dump();
    ExpectFrame("Fix of database: base.fdb", "**** FIX COMPLETE ****");
    EXPECT_EQ(pane.Lines[2], "Job options: [Validate database,Full validate]");
  }
  EXPECT_EQ(fbtest::RowCount(db, "T_ORDERS"), fbtest::kOrders);
}

TEST_F(RunnerFirebird, RefusedLoginOnTheServer) {
  TJob job = Describe(TJobKind::Backup, kTcp, db, dir.File("never.gbk"));
  job.Password.Set("wrong-password");
  job.StopDatabase = true;
  EXPECT_FALSE(Run(job));
  // The shutdown is refused: the job does not run.
  ASSERT_EQ(pane.Lines.size(), 2u) << Dump();
  EXPECT_EQ(pane.Lines[0], "Stopping database: base.fdb");
  EXPECT_EQ(pane.Lines[1].rfind("Error shutting down database: ", 0), 0u);
  EXPECT_NE(pane.Lines[1].find("password"), std::string::npos) << pane.Lines[1];
  EXPECT_EQ(prompts.Messages, Lines{pane.Lines[1]});
  EXPECT_FALSE(std::filesystem::exists(dir.File("never.gbk")));

  // Without the shutdown the backup itself is refused, with its box.
  prompts.Messages.clear();
  job.StopDatabase = false;
  EXPECT_FALSE(Run(job));
  ASSERT_EQ(pane.Lines.size(), 6u) << Dump();
  EXPECT_EQ(pane.Lines[5].rfind("ERROR: ", 0), 0u);
  EXPECT_EQ(prompts.Messages, Lines{"Error: " + pane.Lines[5].substr(7)});
}

// Failed jobs over TCP (a database or a backup file the server cannot find)
// leave no connection to the server behind, however many there are.
TEST_F(RunnerFirebird, FailedTcpJobsLeaveNoConnectionOpen) {
  const int before = fbtest::OwnConnectionsToPort();
  for (int i = 0; i < 4; ++i) {
    TJob backup = Describe(TJobKind::Backup, kTcp, dir.File("missing.fdb"), dir.File("missing.gbk"));
    EXPECT_FALSE(Run(backup)) << Dump();
    TJob restore = Describe(TJobKind::Restore, kTcp, dir.File("missing.gbk"), dir.File("restored.fdb"));
    EXPECT_FALSE(Run(restore)) << Dump();
  }
  EXPECT_EQ(fbtest::OwnConnectionsToPort(), before);
}

// A backup file cut short, empty, or not a backup at all: the restore is a
// failed job (no banner, an ERROR line, false), through the embedded engine
// and the server. A file cut short is refused before the database is shut
// down or the engine sees it; the others fail in the engine.
TEST_F(RunnerFirebird, RestoreFromACutShortEmptyOrForeignFileFailsLocalAndTcp) {
  const std::string gbk = dir.File("whole.gbk");
  int code = -1;
  const std::string gbakOut =
      fbtest::RunCommand("gbak -b " + fbtest::ShellQuote(db) + " " + fbtest::ShellQuote(gbk), &code);
  ASSERT_EQ(code, 0) << gbakOut;
  const std::string whole = [&] {
    std::ifstream in(gbk, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
  }();
  ASSERT_GT(whole.size(), 100000u);
  struct Row {
    const char* name;
    std::string content;
    const char* errorPart;  // in the ERROR line
    bool refused;           // before anything reaches the engine
  };
  const Row rows[] = {
      {"half.gbk", whole.substr(0, whole.size() / 2), "is cut short", true},
      {"head.gbk", whole.substr(0, 3000), "is cut short", true},
      {"header.gbk", whole.substr(0, 40), "is cut short", true},
      {"empty.gbk", "", "backup", false},
      {"noise.gbk", std::string(100000, '\x5a'), "backup", false},
  };
  for (const Row& row : rows) {
    const std::string source = dir.File(row.name);
    {
      std::ofstream out(source, std::ios::binary);
      out << row.content;
    }
    fbtest::ShareWithServer(source);
    for (TProtocol protocol : {kLocal, kTcp}) {
      SCOPED_TRACE(std::string(row.name) + (protocol == kLocal ? " Local" : " TCP"));
      prompts.Messages.clear();
      const std::string target = dir.File(std::string("from_") + row.name + (protocol == kLocal ? ".local" : ".tcp"));
      TJob job = Describe(TJobKind::Restore, protocol, source, target);
      job.StopDatabase = true;
      EXPECT_FALSE(Run(job)) << Dump();
      EXPECT_FALSE(ContainsLine("**** RESTORE COMPLETE ****")) << Dump();
      std::string error;
      for (const auto& line : pane.Lines)
        if (line.rfind("ERROR: ", 0) == 0) error = line;
      EXPECT_NE(error.find(row.errorPart), std::string::npos) << Dump();
      // Refused: the ERROR line is all there is, no shutdown step ran.
      EXPECT_EQ(pane.Lines.size() == 1, row.refused) << Dump();
      EXPECT_TRUE(prompts.Messages.empty());
    }
  }
}
