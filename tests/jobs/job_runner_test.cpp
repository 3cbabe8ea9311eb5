// Whole jobs through the runner against the stand-in client library: the exact
// pane lines, job log lines, message boxes and requests sent.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "fakeclient/fake_client.h"
#include "jobs/job_runner.h"
#include "platform/date_time.h"
#include "platform/exception.h"
#include "platform/fake_clock.h"
#include "platform/files.h"
#include "runner/database_control.h"
#include "runner/log_pane.h"
#include "runner/recording_seams.h"
#include "service/client_library.h"

namespace {

using Lines = std::vector<std::string>;

const TDateTime kStampTime = EncodeDate(2026, 3, 14) + EncodeTime(9, 26, 53, 0);

std::string RunStamp() { return FormatLongDate(kStampTime) + " " + FormatShortTime(kStampTime); }
std::string CreationStamp() { return FormatShortDate(kStampTime) + " " + FormatShortTime(kStampTime); }

int probeCalls = 0;
bool reachable = true;
bool CountingProbe(const std::string&) {
  ++probeCalls;
  return reachable;
}

std::string Le16(std::size_t n) { return {static_cast<char>(n & 0xFF), static_cast<char>((n >> 8) & 0xFF)}; }
std::string Le32(uint32_t n) {
  return {static_cast<char>(n & 0xFF), static_cast<char>((n >> 8) & 0xFF), static_cast<char>((n >> 16) & 0xFF),
          static_cast<char>((n >> 24) & 0xFF)};
}
std::string Text(uint8_t tag, const std::string& s) {
  return std::string(1, static_cast<char>(tag)) + Le16(s.size()) + s;
}
std::string Number(uint8_t tag, uint32_t n) { return std::string(1, static_cast<char>(tag)) + Le32(n); }

std::string TextsBanner(TJobKind kind) {
  return kind == TJobKind::Backup    ? "**** BACKUP COMPLETE ****"
         : kind == TJobKind::Restore ? "**** RESTORE COMPLETE ****"
                                     : "**** FIX COMPLETE ****";
}

Lines ReadLines(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream all;
  all << in.rdbuf();
  Lines lines;
  std::string text = all.str();
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find("\r\n", pos);
    if (end == std::string::npos) {
      lines.push_back(text.substr(pos));
      break;
    }
    lines.push_back(text.substr(pos, end - pos));
    pos = end + 2;
  }
  return lines;
}

class JobRun : public ::testing::Test {
 protected:
  void SetUp() override {
    SetClientLibraryCandidates({FakeClient::Path()});
    SetShareProbe(&CountingProbe);
    probeCalls = 0;
    reachable = true;
    host = LocalComputerName();
  }
  void TearDown() override {
    SetShareProbe(nullptr);
    SetClientLibraryCandidates({});
  }

  // The worked example: a backup of BASE.GDB named BACKUP OPERATION, switch 2.
  void FillBackupExample(TJob& job) {
    job.Kind = TJobKind::Backup;
    job.Name.Set("BACKUP OPERATION");
    job.UserName.Set("SYSDBA");
    job.Password.Set("masterkey");
    job.Protocol = TProtocol::TCP;
    job.WriteJobLog = false;
    job.VerboseJobLog = false;
    job.BackupOptions = {TBackupOption::IgnoreLimbo};
    job.BackupFile.Set("/data/BASE.gbk");
    job.Database.Set("/data/BASE.GDB");
    job.StopDatabase = false;
  }

  TFakeClock clock{kStampTime};
  FakeClient fake;
  TRecordingPane pane;
  TRecordingPrompts prompts;
  TJobOutput output{&pane, &prompts};

  // Runs `job` with its account on `out`, after `hooks` has set the
  // runner's hooks.
  bool Run(const TJob& job, const std::function<void(TJobRunner&)>& hooks = {}, TJobOutput* out = nullptr) {
    TJobRunner runner(job);
    runner.Output = out ? out : &output;
    if (hooks) hooks(runner);
    return runner.Run();
  }
  std::string host;
};

}  // namespace

TEST_F(JobRun, BackupExamplePaneLinesAndRequest) {
  // An empty answer ends the output: the server never sends an empty line
  // of its own, the one that ends the output reaches the pane as a blank.
  fake.AddLines({"gbak:readied database /data/BASE.GDB for backup", "gbak:closing file, committing, and finishing."});
  TJob job;
  FillBackupExample(job);
  ASSERT_TRUE(Run(job));

  const Lines expected = {"Job: BACKUP OPERATION",
                          "Backup of database: BASE.GDB",
                          "Job options: [Ignore limbo transactions]",
                          "Started: " + RunStamp(),
                          " ",
                          "gbak:readied database /data/BASE.GDB for backup",
                          "gbak:closing file, committing, and finishing.",
                          " ",  // the empty line that ends the output
                          " ",
                          "**** BACKUP COMPLETE ****",
                          "Stopped: " + RunStamp(),
                          "End of job: BACKUP OPERATION",
                          " "};
  EXPECT_EQ(pane.Lines, expected);
  EXPECT_EQ(pane.Clears, 1);
  EXPECT_TRUE(prompts.Messages.empty());

  ASSERT_EQ(fake.AttachNames(), Lines{host + ":service_mgr"});
  EXPECT_EQ(fake.AttachBlocks(), Lines{"\x02\x02\x1c\x06SYSDBA\x1d\x09masterkey"});
  const std::string backupBlock = std::string(1, 1) + Text(106, "/data/BASE.GDB") + Number(108, 2) +
                                  std::string(1, 107) + Text(5, "/data/BASE.gbk");
  EXPECT_EQ(fake.StartBlocks(), Lines{backupBlock});
  EXPECT_EQ(fake.OpenHandles(), 0);
  EXPECT_EQ(probeCalls, 0);
}

TEST_F(JobRun, NoPaneRunsTheSameAndDropsItsLines) {
  fake.AddLines({"line 1", "line 2"});
  TJobOutput nowhere;
  TJob job;
  FillBackupExample(job);
  EXPECT_TRUE(Run(job, {}, &nowhere));
  EXPECT_TRUE(pane.Lines.empty());
  EXPECT_EQ(pane.Clears, 0);
  EXPECT_EQ(fake.StartBlocks().size(), 1u);
  EXPECT_EQ(fake.QueryRequests().size(), 3u);
}

TEST_F(JobRun, JobLogOfTheExampleWithShutdownAndRestart) {
  // Every case that writes the job log beside this program is here, one
  // after the other: test processes may run at the same time.
  const std::string logFile = IncludeTrailingPathDelimiter(ProgramDirectory()) + "Schedule.log";
  std::filesystem::remove(logFile);

  // A first job creates the file with its "Created - " line.
  fake.AddLine("out");
  TJob first;
  FillBackupExample(first);
  first.WriteJobLog = true;
  ASSERT_TRUE(Run(first));
  Lines log = ReadLines(logFile);
  ASSERT_GE(log.size(), 2u);
  EXPECT_EQ(log[0], "Created - " + CreationStamp());
  EXPECT_EQ(log[1], " ");
  const std::size_t firstJobLines = log.size();

  // The example: the file is there, StopDatabase on, VerboseJobLog off.
  fake.Reset();
  fake.AddLines({"gbak: writing data", "gbak: done"});
  pane.Lines.clear();
  TJob job;
  FillBackupExample(job);
  job.WriteJobLog = true;
  job.StopDatabase = true;
  ASSERT_TRUE(Run(job));
  log = ReadLines(logFile);
  const Lines appended(log.begin() + static_cast<long>(firstJobLines), log.end());
  const Lines expectedLog = {" ",
                             "Started: BACKUP OPERATION",
                             "Stopping database: BASE.GDB",
                             "Backup of database: BASE.GDB",
                             "Job options: [Ignore limbo transactions]",
                             "Started: " + RunStamp(),
                             "**** BACKUP COMPLETE ****",
                             "Stopped: " + RunStamp(),
                             "End of job: BACKUP OPERATION",
                             "Starting database: BASE.GDB",
                             "",
                             "End of job: BACKUP OPERATION"};
  EXPECT_EQ(appended, expectedLog);

  const Lines expectedPane = {"Stopping database: BASE.GDB",
                              "Database shutdown complete",
                              "Job: BACKUP OPERATION",
                              "Backup of database: BASE.GDB",
                              "Job options: [Ignore limbo transactions]",
                              "Started: " + RunStamp(),
                              " ",
                              "gbak: writing data",
                              "gbak: done",
                              " ",
                              " ",
                              "**** BACKUP COMPLETE ****",
                              "Stopped: " + RunStamp(),
                              "End of job: BACKUP OPERATION",
                              " ",
                              "Starting database: BASE.GDB",
                              "Database startup complete"};
  EXPECT_EQ(pane.Lines, expectedPane);
  // Shutdown, backup, on line: three attaches, each with its own start.
  const Lines starts = fake.StartBlocks();
  ASSERT_EQ(starts.size(), 3u);
  EXPECT_EQ(starts[0], std::string(1, 8) + Text(106, "/data/BASE.GDB") + Number(7, 10));
  EXPECT_EQ(starts[2], std::string(1, 8) + Text(106, "/data/BASE.GDB") + Number(108, 0x200));
  EXPECT_EQ(fake.StartAttachIndexes(), (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(fake.OpenHandles(), 0);
  EXPECT_EQ(probeCalls, 2);

  // VerboseJobLog copies the output; a refused restart ends the job log
  // with "Error starting database".
  fake.Reset();
  fake.AddLines({"verbose 1", "verbose 2"});
  fake.FailCall("isc_service_attach", 2, -902, 335544472, {"Your user name and password are not defined"});
  TJob verbose;
  FillBackupExample(verbose);
  verbose.WriteJobLog = true;
  verbose.VerboseJobLog = true;
  verbose.StopDatabase = true;
  EXPECT_TRUE(Run(verbose));  // the restart's outcome does not change the result
  Lines after = ReadLines(logFile);
  const Lines tail(after.begin() + static_cast<long>(log.size()), after.end());
  const Lines expectedTail = {" ",
                              "Started: BACKUP OPERATION",
                              "Stopping database: BASE.GDB",
                              "Backup of database: BASE.GDB",
                              "Job options: [Ignore limbo transactions]",
                              "Started: " + RunStamp(),
                              "verbose 1",
                              "verbose 2",
                              "",
                              "**** BACKUP COMPLETE ****",
                              "Stopped: " + RunStamp(),
                              "End of job: BACKUP OPERATION",
                              "Starting database: BASE.GDB",
                              "Error starting database"};
  EXPECT_EQ(tail, expectedTail);
  EXPECT_EQ(prompts.Messages, Lines{"Error starting database"});
  EXPECT_EQ(pane.Lines.back(), "Error starting database");

  // A refused shutdown: the job does not run, the job log says why.
  fake.Reset();
  prompts.Messages.clear();
  fake.FailCall("isc_service_start", 0, -901, 335544528, {"database /data/BASE.GDB shutdown"});
  TJob refused;
  FillBackupExample(refused);
  refused.WriteJobLog = true;
  refused.StopDatabase = true;
  EXPECT_FALSE(Run(refused));
  const Lines last = ReadLines(logFile);
  const Lines refusedTail(last.begin() + static_cast<long>(after.size()), last.end());
  EXPECT_EQ(refusedTail,
            (Lines{" ", "Started: BACKUP OPERATION", "Stopping database: BASE.GDB", "Error stopping database"}));
  EXPECT_EQ(prompts.Messages, Lines{"Error shutting down database: database /data/BASE.GDB shutdown"});
  EXPECT_EQ(pane.Lines,
            (Lines{"Stopping database: BASE.GDB", "Error shutting down database: database /data/BASE.GDB shutdown"}));
  EXPECT_EQ(fake.StartBlocks().size(), 1u);  // no request, no restart
  std::filesystem::remove(logFile);
}

TEST_F(JobRun, BackupAttachRefusedShowsErrorBoxStillRestartsAndFails) {
  // Attach 0 is the shutdown, attach 1 the backup.
  fake.FailCall(
      "isc_service_attach", 1, -902, 335544472,
      {"Your user name and password are not defined. Ask your database administrator to set up a Firebird login."});
  TJob job;
  FillBackupExample(job);
  job.StopDatabase = true;
  EXPECT_FALSE(Run(job));
  const std::string message =
      "Your user name and password are not defined. Ask your database administrator to set up a Firebird login";
  EXPECT_EQ(prompts.Messages, Lines{"Error: " + message});
  const Lines expected = {"Stopping database: BASE.GDB",
                          "Database shutdown complete",
                          "Job: BACKUP OPERATION",
                          "Backup of database: BASE.GDB",
                          "Job options: [Ignore limbo transactions]",
                          "Started: " + RunStamp(),
                          " ",
                          "ERROR: " + message,
                          "Starting database: BASE.GDB",
                          "Database startup complete"};
  EXPECT_EQ(pane.Lines, expected);
  EXPECT_EQ(fake.AttachNames().size(), 3u);
  EXPECT_EQ(fake.OpenHandles(), 0);
}

TEST_F(JobRun, RestoreSendsCreateNewDbNamesTheBackupFileAndGoesOnWithoutShutdown) {
  reachable = false;  // the database to create does not exist yet
  fake.AddLines({"gbak:opened file /b/BASE.gbk", "gbak:finishing, closing, and going home"});
  TJob job;
  job.Kind = TJobKind::Restore;
  job.Name.Set("RESTORE");
  job.UserName.Set("SYSDBA");
  job.Password.Set("pw");
  job.Protocol = TProtocol::Local;
  job.WriteJobLog = false;
  job.BackupOptions = {TBackupOption::MetadataOnly};  // nothing for a restore
  job.BackupFile.Set("/b/BASE.gbk");
  job.Database.Set("/d/NEW.FDB");
  ASSERT_TRUE(Run(job));
  const Lines expected = {"Error stopping database",
                          "Job: RESTORE",
                          "Restore of database: BASE.gbk",
                          "Job options: []",
                          "Started: " + RunStamp(),
                          " ",
                          "gbak:opened file /b/BASE.gbk",
                          "gbak:finishing, closing, and going home",
                          " ",
                          " ",
                          "**** RESTORE COMPLETE ****",
                          "Stopped: " + RunStamp(),
                          "End of job: RESTORE",
                          " ",
                          "Error starting database"};
  EXPECT_EQ(pane.Lines, expected);
  EXPECT_TRUE(prompts.Messages.empty());
  // The restore, then the header statistics of the new database: a restore
  // that stopped half-way leaves it shut down.
  EXPECT_EQ(fake.AttachNames(), (Lines{"service_mgr", "service_mgr"}));
  EXPECT_EQ(fake.StartBlocks(), (Lines{std::string(1, 2) + Number(108, 0x2000) + std::string(1, 107) +
                                           Text(5, "/b/BASE.gbk") + Text(106, "/d/NEW.FDB"),
                                       std::string(1, 11) + Text(106, "/d/NEW.FDB") + Number(108, 0x04)}));
  EXPECT_EQ(fake.OpenHandles(), 0);
}

TEST_F(JobRun, RestoreReadFailureHasNoMessageBox) {
  fake.AddLines({"gbak:opened file"});
  fake.FailCall("isc_service_query", 1, -902, 335544721,
                {"Unable to complete network request to host \"dbhost\"", "Error reading data from the connection."});
  TJob job;
  job.Kind = TJobKind::Restore;
  job.StopDatabase = false;
  job.WriteJobLog = false;
  job.RestoreOptions = {TRestoreOption::Replace};
  job.BackupFile.Set("\\\\dbhost\\D$\\b\\base.gbk");
  job.Database.Set("\\\\dbhost\\D$\\d\\base.gdb");
  job.Protocol = TProtocol::TCP;
  EXPECT_FALSE(Run(job));
  EXPECT_TRUE(prompts.Messages.empty());
  ASSERT_GE(pane.Lines.size(), 3u);
  EXPECT_EQ(pane.Lines[1], "Restore of database: base.gbk");
  EXPECT_EQ(pane.Lines[2], "Job options: [Replace]");
  EXPECT_EQ(pane.Lines.back(),
            "ERROR: Unable to complete network request to host \"dbhost\"\r\nError reading data from the connection");
  EXPECT_EQ(fake.AttachNames(), Lines{"dbhost:service_mgr"});
  EXPECT_EQ(fake.StartBlocks(), Lines{std::string(1, 2) + Number(108, 0x3000) + std::string(1, 107) +
                                      Text(5, "D:\\b\\base.gbk") + Text(106, "D:\\d\\base.gdb")});
  // The failed query detached the request quietly; no second detach is tried.
  EXPECT_EQ(fake.CallCount("isc_service_detach"), 1);
}

TEST_F(JobRun, RepairWithOptionsAndOtherKinds) {
  TJob job;
  job.Kind = TJobKind::Repair;
  job.Name.Set("FIX");
  job.StopDatabase = false;
  job.WriteJobLog = false;
  job.Protocol = TProtocol::Local;
  job.RepairOptions = {TValidateOption::SweepDB,        // first item
                       TValidateOption::MendDB,         // second item
                       TValidateOption::ValidateFull};  // second item
  job.Database.Set("/d/base.fdb");
  job.BackupFile.Set("/ignored.gbk");
  ASSERT_TRUE(Run(job));
  EXPECT_EQ(pane.Lines[1], "Fix of database: base.fdb");
  EXPECT_EQ(pane.Lines[2], "Job options: [Mend database,Sweep database,Full validate]");
  EXPECT_EQ(pane.Lines[pane.Lines.size() - 4], "**** FIX COMPLETE ****");
  EXPECT_EQ(fake.StartBlocks(),
            Lines{std::string(1, 3) + Text(106, "/d/base.fdb") + Number(108, 0x02) + Number(108, 0x84)});
}

TEST_F(JobRun, MissingClientLibraryIsReportedOnThePane) {
  SetClientLibraryCandidates({"/nonexistent/libfbclient.so.2"});
  TJob job;
  FillBackupExample(job);
  EXPECT_FALSE(Run(job));
  ASSERT_EQ(pane.Lines.size(), 1u);
  EXPECT_EQ(pane.Lines[0].rfind("ERROR: ", 0), 0u);
  EXPECT_NE(pane.Lines[0].find("not found"), std::string::npos);
  EXPECT_EQ(prompts.Messages.size(), 1u);
}

TEST_F(JobRun, FileNameOver80CharactersIsRefusedBeforeAnythingIsSent) {
  const std::string longName = "/data/" + std::string(80, 'x') + ".fdb";
  for (TJobFileName TJob::*field : {&TJob::Database, &TJob::BackupFile}) {
    const bool slot = field == &TJob::Database;
    fake.Reset();
    probeCalls = 0;
    pane.Lines.clear();
    TJob job;
    FillBackupExample(job);
    job.StopDatabase = true;
    (job.*field).Set(longName);
    EXPECT_FALSE(Run(job)) << slot;
    ASSERT_EQ(pane.Lines.size(), 1u) << slot;
    EXPECT_EQ(pane.Lines[0], "ERROR: File name is longer than 80 characters, the job is not run: " + longName);
    EXPECT_EQ(probeCalls, 0);
    EXPECT_EQ(fake.CallCount("isc_service_attach"), 0);
    EXPECT_EQ(fake.StartBlocks().size(), 0u);
  }
}

TEST_F(JobRun, RestartOfADatabaseAlreadyOnLineIsNotAnError) {
  // A restore creates its database on line; the server then answers the
  // on-line request (the fourth start: shutdown, restore, header check, on
  // line) with isc_bad_shutdown_mode.
  fake.FailCall("isc_service_start", 3, -901, 335544835, {"Target shutdown mode is invalid for database \"/d/n.fdb\""});
  TJob job;
  job.Kind = TJobKind::Restore;
  job.WriteJobLog = false;
  job.BackupFile.Set("/b/n.gbk");
  job.Database.Set("/d/n.fdb");
  EXPECT_TRUE(Run(job));
  EXPECT_TRUE(prompts.Messages.empty());
  EXPECT_EQ(pane.Lines.back(), "Database startup complete");

  // Any other refusal of the restart is reported, without the server's text.
  fake.Reset();
  pane.Lines.clear();
  fake.FailCall("isc_service_start", 3, -902, 335544472, {"Your user name and password are not defined"});
  EXPECT_TRUE(Run(job));
  EXPECT_EQ(prompts.Messages, Lines{"Error starting database"});
  EXPECT_EQ(pane.Lines.back(), "Error starting database");
}

// A restart refused by the server is an answer: it is not tried again as a
// server that does not answer is (that retry is met for real in the
// controller's recovery tests, with a server killed mid-job).
TEST_F(JobRun, RestartRefusedIsNotTriedAgain) {
  // Attach 0 is the shutdown, attach 1 the backup, attach 2 the restart.
  fake.FailCall("isc_service_attach", 2, -902, 335544472, {"Unable to complete network request to host \"h\""});
  TJob job;
  FillBackupExample(job);
  job.StopDatabase = true;
  EXPECT_TRUE(Run(job));
  EXPECT_EQ(fake.AttachNames().size(), 3u);
  EXPECT_EQ(prompts.Messages, Lines{"Error starting database"});
  EXPECT_EQ(Lines(pane.Lines.end() - 2, pane.Lines.end()),
            (Lines{"Starting database: BASE.GDB", "Error starting database"}));
  EXPECT_EQ(fake.OpenHandles(), 0);
}

// gbak's own word that it failed, when a server passes it on as output lines
// instead of an error status: the job is a failed one, without the banner.
TEST_F(JobRun, OutputThatSaysTheRequestFailedFailsTheJob) {
  struct Row {
    TJobKind kind;
    Lines output;
    std::string failure;  // the line named in the ERROR line; empty: success
  };
  const Row rows[] = {
      {TJobKind::Restore,
       {"gbak:opened file /b/BASE.gbk", "gbak:   10000 records restored",
        "Done with volume #1, \"/b/BASE.gbk\"\tPress return to reopen that file, or type a new"},
       "Done with volume #1, \"/b/BASE.gbk\"\tPress return to reopen that file, or type a new"},
      {TJobKind::Restore, {"gbak:opened file /b/BASE.gbk", "ERROR: Backup incomplete"}, "ERROR: Backup incomplete"},
      {TJobKind::Restore,
       {"gbak:opened file /b/BASE.gbk", "gbak: ERROR:expected backup description record",
        "gbak:Exiting before completion due to errors"},
       "gbak: ERROR:expected backup description record"},
      {TJobKind::Backup,
       {"gbak:readied database /d/NEW.FDB for backup", "gbak: ERROR:I/O error during \"write\" operation"},
       "gbak: ERROR:I/O error during \"write\" operation"},
      {TJobKind::Backup,
       {"gbak:writing data for table T", "  gbak:Exiting before completion due to errors  "},
       "gbak:Exiting before completion due to errors"},
      // Names of the user's tables and columns never look like a failure.
      {TJobKind::Restore,
       {"gbak:    restoring column ERROR_CODE", "gbak:restoring data for table ERROR", "gbak:finishing"},
       ""},
      {TJobKind::Backup, {"gbak:    writing table ERRORS", "gbak:    writing column DONE_WITH_VOLUME"}, ""},
      // A repair's output is not gbak's.
      {TJobKind::Repair, {"ERROR: nothing of gbak"}, ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.output.back());
    fake.Reset();
    prompts.Messages.clear();
    fake.AddLines(row.output);
    TJob job;
    job.Kind = row.kind;
    job.Name.Set("J");
    job.WriteJobLog = false;
    job.StopDatabase = false;
    job.Database.Set("/d/NEW.FDB");
    job.BackupFile.Set("/b/BASE.gbk");
    const bool ok = Run(job);
    const std::string word = row.kind == TJobKind::Backup ? "backup" : "restore";
    if (row.failure.empty()) {
      EXPECT_TRUE(ok);
      ASSERT_GE(pane.Lines.size(), 5u);
      EXPECT_EQ(pane.Lines[pane.Lines.size() - 4], TextsBanner(row.kind));
      EXPECT_TRUE(prompts.Messages.empty());
      continue;
    }
    EXPECT_FALSE(ok);
    const std::string error = "The " + word + " did not complete, the server reported: " + row.failure;
    // Every output line is shown as it came; the ERROR line follows them.
    Lines expected = {"Job: J", pane.Lines[1], "Job options: []", "Started: " + RunStamp(), " "};
    for (const auto& line : row.output) expected.push_back(line);
    expected.push_back(" ");
    expected.push_back("ERROR: " + error);
    EXPECT_EQ(pane.Lines, expected);
    // A backup shows its error in a box as well; a restore leaves that to
    // its caller.
    EXPECT_EQ(prompts.Messages, row.kind == TJobKind::Backup ? Lines{"Error: " + error} : Lines{});
    // No header check after a restore that already said it failed.
    EXPECT_EQ(fake.StartBlocks().size(), 1u);
    EXPECT_EQ(fake.OpenHandles(), 0);
  }
}

// The server ends a cut-short restore's output without any error: the new
// database, still shut down as gbak created it, tells.
TEST_F(JobRun, RestoreWhoseDatabaseIsLeftShutDownFails) {
  struct Row {
    std::string attributes;  // the header statistics' Attributes line
    bool completed;
  };
  const Row rows[] = {
      {"\tAttributes\t\tsingle-user maintenance", false},
      {"\tAttributes\t\tforce write, full shutdown", false},
      {"\tAttributes\t\tforce write, multi-user maintenance", false},
      {"\tAttributes\t\tforce write", true},
      {"\tAttributes\t\t", true},
      {"", true},  // no Attributes line at all: nothing proves a failure
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.attributes);
    fake.Reset();
    pane.Lines.clear();
    // The restore's output, the empty line that ends it, then the header.
    fake.AddLines({"gbak:opened file /b/BASE.gbk", "gbak:   10000 records restored", "",
                   "Database header page information:", "\tFlags\t\t\t0"});
    if (!row.attributes.empty()) fake.AddLine(row.attributes);
    fake.AddLine("\tSweep interval:\t\t20000");
    TJob job;
    job.Kind = TJobKind::Restore;
    job.Name.Set("R");
    job.WriteJobLog = false;
    job.BackupFile.Set("/b/BASE.gbk");
    job.Database.Set("/d/NEW.FDB");
    const bool ok = Run(job);
    EXPECT_EQ(ok, row.completed);
    const bool bannerShown =
        std::find(pane.Lines.begin(), pane.Lines.end(), "**** RESTORE COMPLETE ****") != pane.Lines.end();
    EXPECT_EQ(bannerShown, row.completed);
    if (!row.completed) {
      const std::string state = row.attributes.substr(row.attributes.rfind('\t') + 1);
      // The output, the ERROR line, then the restart as usual.
      const Lines tail(pane.Lines.end() - 5, pane.Lines.end());
      EXPECT_EQ(tail, (Lines{"gbak:   10000 records restored", " ",
                             "ERROR: The restore did not complete: the server left the new database NEW.FDB shut "
                             "down (" +
                                 state + "); the backup file may be cut short or damaged",
                             "Starting database: NEW.FDB", "Database startup complete"}));
    }
    EXPECT_TRUE(prompts.Messages.empty());
    ASSERT_EQ(fake.StartBlocks().size(), 4u);  // shutdown, restore, header, on line
    EXPECT_EQ(fake.StartBlocks()[2], std::string(1, 11) + Text(106, "/d/NEW.FDB") + Number(108, 0x04));
    EXPECT_EQ(fake.OpenHandles(), 0);
  }

  // A header check the server refuses proves nothing: the restore stands.
  fake.Reset();
  fake.AddLines({"gbak:opened file /b/BASE.gbk"});
  fake.FailCall("isc_service_start", 1, -902, 335544344, {"I/O error during \"open\" operation"});
  TJob job;
  job.Kind = TJobKind::Restore;
  job.WriteJobLog = false;
  job.StopDatabase = false;
  job.BackupFile.Set("/b/BASE.gbk");
  job.Database.Set("/d/NEW.FDB");
  EXPECT_TRUE(Run(job));
  EXPECT_EQ(pane.Lines[pane.Lines.size() - 4], "**** RESTORE COMPLETE ****");
  EXPECT_EQ(fake.StartBlocks().size(), 2u);
}

// The caller's hooks around the request: after the shutdown, before the
// restart; a failing BeforeRequest stops the request but not the restart.
TEST_F(JobRun, HooksRunBetweenShutdownAndRestart) {
  struct Row {
    const char* name;
    bool beforeThrows;
    bool shutdownRefused;
    bool requestFails;
  };
  const Row rows[] = {
      {"completed", false, false, false},
      {"request fails", false, false, true},
      {"before-request hook raises", true, false, false},
      {"shutdown refused", false, true, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    fake.Reset();
    prompts.Messages.clear();
    fake.AddLines({"gbak:opened file /b/BASE.gbk"});
    if (row.shutdownRefused) fake.FailCall("isc_service_start", 0, -901, 335544528, {"database shutdown refused"});
    if (row.requestFails) fake.FailCall("isc_service_start", 1, -901, 335544344, {"I/O error"});
    std::vector<std::string> events;
    TJob job;
    job.Kind = TJobKind::Restore;
    job.Name.Set("R");
    job.WriteJobLog = false;
    job.BackupFile.Set("/b/BASE.gbk");
    job.Database.Set("/d/NEW.FDB");
    const auto hooks = [&](TJobRunner& runner) {
      runner.BeforeRequest = [&] {
        events.push_back("before, starts so far " + std::to_string(fake.StartBlocks().size()) + ", last pane line " +
                         pane.Lines.back());
        if (row.beforeThrows) throw Exception("Cannot rename /d/NEW.FDB");
      };
      runner.AfterRequest = [&](bool completed) {
        events.push_back(std::string("after ") + (completed ? "completed" : "failed") + ", starts so far " +
                         std::to_string(fake.StartBlocks().size()));
      };
    };
    const bool ok = Run(job, hooks);
    EXPECT_EQ(ok, !row.beforeThrows && !row.shutdownRefused && !row.requestFails);
    if (row.shutdownRefused) {
      EXPECT_TRUE(events.empty());
      EXPECT_EQ(fake.StartBlocks().size(), 1u);
      continue;
    }
    const std::size_t requestStarts = row.beforeThrows ? 0 : (row.requestFails ? 1 : 2);  // restore, header
    EXPECT_EQ(events, (Lines{"before, starts so far 1, last pane line Database shutdown complete",
                             std::string("after ") + (ok ? "completed" : "failed") + ", starts so far " +
                                 std::to_string(1 + requestStarts)}));
    // The restart follows the hook.
    EXPECT_EQ(fake.StartBlocks().size(), 2 + requestStarts);
    EXPECT_EQ(pane.Lines.back(), "Database startup complete");
    if (row.beforeThrows) {
      EXPECT_EQ(pane.Lines,
                (Lines{"Stopping database: NEW.FDB", "Database shutdown complete", "ERROR: Cannot rename /d/NEW.FDB",
                       "Starting database: NEW.FDB", "Database startup complete"}));
    }
  }
}
