// Whole jobs through RunJob against the stand-in client library: the exact
// pane lines, job log lines, message boxes and requests sent.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "fakeclient/fake_client.h"
#include "platform/clock.h"
#include "platform/date_time.h"
#include "platform/files.h"
#include "recording_seams.h"
#include "runner/database_control.h"
#include "runner/log_pane.h"
#include "runner/schedule.h"
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
std::string Text(uint8_t tag, const std::string& s) { return std::string(1, static_cast<char>(tag)) + Le16(s.size()) + s; }
std::string Number(uint8_t tag, uint32_t n) { return std::string(1, static_cast<char>(tag)) + Le32(n); }

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

class ScheduleJob : public ::testing::Test {
 protected:
  void SetUp() override {
    SetClientLibraryCandidates({FakeClient::Path()});
    SetClock([] { return kStampTime; });
    SetMessagePump([this] { ++pumps; });
    SetShareProbe(&CountingProbe);
    probeCalls = 0;
    reachable = true;
    host = LocalComputerName();
  }
  void TearDown() override {
    SetShareProbe(nullptr);
    SetMessagePump(nullptr);
    SetClock(nullptr);
    SetClientLibraryCandidates({});
  }

  // The worked example: a backup of BASE.GDB named BACKUP OPERATION, switch 2.
  void FillBackupExample(TSchedule& job) {
    job.JobKind = 1;
    job.SetJobName("BACKUP OPERATION");
    job.SetUserName("SYSDBA");
    job.SetPassword("masterkey");
    job.SetProtocol(0);
    job.WriteJobLog = false;
    job.VerboseJobLog = false;
    job.SetJobOption(2, true);
    job.SetJobFile(2, "/data/BASE.gbk");
    job.SetJobFile(1, "/data/BASE.GDB");
    job.StopDatabase = false;
  }

  FakeClient fake;
  TRecordingPane pane;
  TRecordingPrompts prompts;
  int pumps = 0;
  std::string host;
};

}  // namespace

TEST_F(ScheduleJob, BackupExamplePaneLinesAndRequest) {
  // An empty answer ends the output: the server never sends an empty line
  // of its own, the one that ends the output reaches the pane as a blank.
  fake.AddLines({"gbak:readied database /data/BASE.GDB for backup", "gbak:closing file, committing, and finishing."});
  TSchedule job;
  FillBackupExample(job);
  ASSERT_TRUE(job.RunJob());

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
  // One pump before attaching, one per output line (the closing empty one too).
  EXPECT_EQ(pumps, 1 + 3);

  ASSERT_EQ(fake.AttachNames(), Lines{host + ":service_mgr"});
  EXPECT_EQ(fake.AttachBlocks(), Lines{"\x02\x02\x1c\x06SYSDBA\x1d\x09masterkey"});
  const std::string backupBlock = std::string(1, 1) + Text(106, "/data/BASE.GDB") + Number(108, 2) +
                                  std::string(1, 107) + Text(5, "/data/BASE.gbk");
  EXPECT_EQ(fake.StartBlocks(), Lines{backupBlock});
  EXPECT_EQ(fake.OpenHandles(), 0);
  EXPECT_EQ(probeCalls, 0);
}

TEST_F(ScheduleJob, NoPaneRunsTheSameAndDropsItsLines) {
  fake.AddLines({"line 1", "line 2"});
  LogPane = nullptr;
  TSchedule job;
  FillBackupExample(job);
  EXPECT_TRUE(job.RunJob());
  EXPECT_TRUE(pane.Lines.empty());
  EXPECT_EQ(pane.Clears, 0);
  EXPECT_EQ(fake.StartBlocks().size(), 1u);
  EXPECT_EQ(fake.QueryRequests().size(), 3u);
  LogPane = &pane;
}

TEST_F(ScheduleJob, JobLogOfTheExampleWithShutdownAndRestart) {
  // Every case that writes the job log beside this program is here, one
  // after the other: test processes may run at the same time.
  const std::string logFile = IncludeTrailingPathDelimiter(ProgramDirectory()) + "Schedule.log";
  std::filesystem::remove(logFile);

  // A first job creates the file with its "Created - " line.
  fake.AddLine("out");
  TSchedule first;
  FillBackupExample(first);
  first.WriteJobLog = true;
  ASSERT_TRUE(first.RunJob());
  Lines log = ReadLines(logFile);
  ASSERT_GE(log.size(), 2u);
  EXPECT_EQ(log[0], "Created - " + CreationStamp());
  EXPECT_EQ(log[1], " ");
  const std::size_t firstJobLines = log.size();

  // The example: the file is there, StopDatabase on, VerboseJobLog off.
  fake.Reset();
  fake.AddLines({"gbak: writing data", "gbak: done"});
  pane.Lines.clear();
  TSchedule job;
  FillBackupExample(job);
  job.WriteJobLog = true;
  job.StopDatabase = true;
  ASSERT_TRUE(job.RunJob());
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
  TSchedule verbose;
  FillBackupExample(verbose);
  verbose.WriteJobLog = true;
  verbose.VerboseJobLog = true;
  verbose.StopDatabase = true;
  EXPECT_TRUE(verbose.RunJob());  // the restart's outcome does not change the result
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
  TSchedule refused;
  FillBackupExample(refused);
  refused.WriteJobLog = true;
  refused.StopDatabase = true;
  EXPECT_FALSE(refused.RunJob());
  const Lines last = ReadLines(logFile);
  const Lines refusedTail(last.begin() + static_cast<long>(after.size()), last.end());
  EXPECT_EQ(refusedTail, (Lines{" ", "Started: BACKUP OPERATION", "Stopping database: BASE.GDB", "Error stopping database"}));
  EXPECT_EQ(prompts.Messages, Lines{"Error shutting down database: database /data/BASE.GDB shutdown"});
  EXPECT_EQ(pane.Lines, (Lines{"Stopping database: BASE.GDB", "Error shutting down database: database /data/BASE.GDB shutdown"}));
  EXPECT_EQ(fake.StartBlocks().size(), 1u);  // no request, no restart
  std::filesystem::remove(logFile);
}

TEST_F(ScheduleJob, BackupAttachRefusedShowsErrorBoxStillRestartsAndFails) {
  // Attach 0 is the shutdown, attach 1 the backup.
  fake.FailCall("isc_service_attach", 1, -902, 335544472, {"Your user name and password are not defined. Ask your database administrator to set up a Firebird login."});
  TSchedule job;
  FillBackupExample(job);
  job.StopDatabase = true;
  EXPECT_FALSE(job.RunJob());
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

TEST_F(ScheduleJob, RestoreSendsCreateNewDbNamesTheBackupFileAndGoesOnWithoutShutdown) {
  reachable = false;  // the database to create does not exist yet
  fake.AddLines({"gbak:opened file /b/BASE.gbk", "gbak:finishing, closing, and going home"});
  TSchedule job;
  job.JobKind = 2;
  job.SetJobName("RESTORE");
  job.SetUserName("SYSDBA");
  job.SetPassword("pw");
  job.SetProtocol(3);
  job.WriteJobLog = false;
  job.SetJobOption(8, true);  // nothing for a restore
  job.SetJobFile(1, "/b/BASE.gbk");
  job.SetJobFile(2, "/d/NEW.FDB");
  ASSERT_TRUE(job.RunJob());
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
  EXPECT_EQ(fake.AttachNames(), Lines{"service_mgr"});
  EXPECT_EQ(fake.StartBlocks(), Lines{std::string(1, 2) + Number(108, 0x2000) + std::string(1, 107) +
                                      Text(5, "/b/BASE.gbk") + Text(106, "/d/NEW.FDB")});
}

TEST_F(ScheduleJob, RestoreReadFailureHasNoMessageBox) {
  fake.AddLines({"gbak:opened file"});
  fake.FailCall("isc_service_query", 1, -902, 335544721, {"Unable to complete network request to host \"dbhost\"", "Error reading data from the connection."});
  TSchedule job;
  job.JobKind = 2;
  job.StopDatabase = false;
  job.WriteJobLog = false;
  job.SetJobOption(5, true);
  job.SetJobFile(1, "\\\\dbhost\\D$\\b\\base.gbk");
  job.SetJobFile(2, "\\\\dbhost\\D$\\d\\base.gdb");
  job.SetProtocol(0);
  EXPECT_FALSE(job.RunJob());
  EXPECT_TRUE(prompts.Messages.empty());
  ASSERT_GE(pane.Lines.size(), 3u);
  EXPECT_EQ(pane.Lines[1], "Restore of database: base.gbk");
  EXPECT_EQ(pane.Lines[2], "Job options: [Replace]");
  EXPECT_EQ(pane.Lines.back(),
            "ERROR: Unable to complete network request to host \"dbhost\"\r\nError reading data from the connection");
  EXPECT_EQ(fake.AttachNames(), Lines{"dbhost:service_mgr"});
  EXPECT_EQ(fake.StartBlocks(), Lines{std::string(1, 2) + Number(108, 0x3000) + std::string(1, 107) +
                                      Text(5, "D:\\b\\base.gbk") + Text(106, "D:\\d\\base.gdb")});
  // The failed query made the request forget its handle: no detach is tried.
  EXPECT_EQ(fake.CallCount("isc_service_detach"), 0);
}

TEST_F(ScheduleJob, RepairWithOptionsAndOtherKinds) {
  TSchedule job;
  job.JobKind = 3;
  job.SetJobName("FIX");
  job.StopDatabase = false;
  job.WriteJobLog = false;
  job.SetProtocol(3);
  job.SetJobOption(6, true);  // SweepDB, first item
  job.SetJobOption(5, true);  // MendDB, second item
  job.SetJobOption(8, true);  // ValidateFull, second item
  job.SetJobFile(1, "/d/base.fdb");
  job.SetJobFile(2, "/ignored.gbk");
  ASSERT_TRUE(job.RunJob());
  EXPECT_EQ(pane.Lines[1], "Fix of database: base.fdb");
  EXPECT_EQ(pane.Lines[2], "Job options: [Mend database,Sweep database,Full validate]");
  EXPECT_EQ(pane.Lines[pane.Lines.size() - 4], "**** FIX COMPLETE ****");
  EXPECT_EQ(fake.StartBlocks(), Lines{std::string(1, 3) + Text(106, "/d/base.fdb") + Number(108, 0x02) + Number(108, 0x84)});

  // A kind outside 1..3 runs no request but still stops and restarts the
  // database (slot 2 is its database slot).
  fake.Reset();
  TSchedule other;
  other.JobKind = 7;
  other.WriteJobLog = false;
  other.SetJobFile(1, "/d/a.fdb");
  other.SetJobFile(2, "/d/b.fdb");
  EXPECT_FALSE(other.RunJob());
  EXPECT_EQ(pane.Lines, (Lines{"Stopping database: b.fdb", "Database shutdown complete", "Starting database: b.fdb",
                               "Database startup complete"}));
  EXPECT_EQ(fake.StartBlocks().size(), 2u);
}

TEST_F(ScheduleJob, MissingClientLibraryIsReportedOnThePane) {
  SetClientLibraryCandidates({"/nonexistent/libfbclient.so.2"});
  TSchedule job;
  FillBackupExample(job);
  EXPECT_FALSE(job.RunJob());
  ASSERT_EQ(pane.Lines.size(), 1u);
  EXPECT_EQ(pane.Lines[0].rfind("ERROR: ", 0), 0u);
  EXPECT_NE(pane.Lines[0].find("not found"), std::string::npos);
  EXPECT_EQ(prompts.Messages.size(), 1u);
}

TEST_F(ScheduleJob, FileNameOver80CharactersIsRefusedBeforeAnythingIsSent) {
  const std::string longName = "/data/" + std::string(80, 'x') + ".fdb";
  for (int slot : {1, 2}) {
    fake.Reset();
    probeCalls = 0;
    pane.Lines.clear();
    TSchedule job;
    FillBackupExample(job);
    job.StopDatabase = true;
    job.SetJobFile(slot, longName);
    EXPECT_FALSE(job.RunJob()) << slot;
    ASSERT_EQ(pane.Lines.size(), 1u) << slot;
    EXPECT_EQ(pane.Lines[0], "ERROR: File name is longer than 80 characters, the job is not run: " + longName);
    EXPECT_EQ(probeCalls, 0);
    EXPECT_EQ(fake.CallCount("isc_service_attach"), 0);
    EXPECT_EQ(fake.StartBlocks().size(), 0u);
  }
}

TEST_F(ScheduleJob, RestartOfADatabaseAlreadyOnLineIsNotAnError) {
  // A restore creates its database on line; the server then answers the
  // on-line request (the third start: shutdown, restore, on line) with
  // isc_bad_shutdown_mode.
  fake.FailCall("isc_service_start", 2, -901, 335544835, {"Target shutdown mode is invalid for database \"/d/n.fdb\""});
  TSchedule job;
  job.JobKind = 2;
  job.WriteJobLog = false;
  job.SetJobFile(1, "/b/n.gbk");
  job.SetJobFile(2, "/d/n.fdb");
  EXPECT_TRUE(job.RunJob());
  EXPECT_TRUE(prompts.Messages.empty());
  EXPECT_EQ(pane.Lines.back(), "Database startup complete");

  // Any other refusal of the restart is reported, without the server's text.
  fake.Reset();
  pane.Lines.clear();
  fake.FailCall("isc_service_start", 2, -902, 335544472, {"Your user name and password are not defined"});
  EXPECT_TRUE(job.RunJob());
  EXPECT_EQ(prompts.Messages, Lines{"Error starting database"});
  EXPECT_EQ(pane.Lines.back(), "Error starting database");
}
