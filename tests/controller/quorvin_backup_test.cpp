// Backup and Restore with a stand-in job: the backup file name, the questions,
// the failure paths with their messages and log lines, the previous file kept
// safe when a job fails, and jobs one at a time.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>

#include "controller/history/job_history.h"
#include "job_fixture.h"
#include "platform/exception.h"
#include "platform/files.h"

namespace {

using Strings = std::vector<std::string>;
const std::string Stamp = "06.12.2026 в 12:15";
const std::string Suffix = "_06_12_26_12_15";

// Writes `content` to the file the job writes and answers `result`.
std::function<bool(TJobRunner&)> Writes(std::string content, bool result) {
  return [content, result](TJobRunner& job) {
    WriteFileBytes(TargetOf(job.Job()).Get(), content);
    return result;
  };
}

using Backup = JobTest;
using Restore = JobTest;
using JobGuard = JobTest;

TEST_F(Backup, FileNameRule) {
  struct Row {
    const char* database;
    bool autoName;
    std::string expected;
  };
  const Row rows[] = {
      {"Shop.GDB", true, "Shop" + Suffix + ".gbk"}, {"Shop.GDB", false, "Shop.gbk"},
      {"a.gdb.gdb", true, "a" + Suffix + ".gbk"},   {"Shop.fdb", true, "Shop.fdb" + Suffix + ".gbk"},
      {"x.GdB.old.gDb", false, "x.old.gbk"},        {"plain", true, "plain" + Suffix + ".gbk"},
  };
  TQuorvin& q = StartWithStandIn();
  for (const Row& row : rows) {
    SCOPED_TRACE(row.database);
    WriteFileBytes(Dir / row.database, "db");
    q.Settings().DataBase = Dir / row.database;
    q.Settings().AutoBackName = row.autoName;
    Job = Writes("gbk", true);
    const TBackupOutcome outcome = BackupNow();
    EXPECT_TRUE(outcome.Succeeded);
    EXPECT_EQ(outcome.BackFile, Dir / row.expected);
    EXPECT_EQ(outcome.Name.BackDir, Dir.Path);
    EXPECT_EQ(q.Settings().LastBack, outcome.BackFile);
    EXPECT_EQ(ReadFileBytes(outcome.BackFile), "gbk");
  }
}

// The folder and base name come from the text of the name, whether or not
// this computer sees the file, in the notation it is written in; a name that
// names no file leaves them empty. Each row follows the names of another,
// visible database, which must not be taken over.
TEST_F(Backup, NamesComeFromTheTextOfTheNameSeenOrNot) {
  struct Row {
    std::string database;
    std::string dir, base;
  };
  const std::string cwd = IncludeTrailingPathDelimiter(std::filesystem::current_path().string());
  const Row rows[] = {
      {"/no/such/folder/Other.GDB", "/no/such/folder/", "Other"},
      {"server-only/Base.gdb", cwd + "server-only/", "Base"},
      {"\\\\dbhost\\D$\\data\\base.gdb", "\\\\dbhost\\D$\\data\\", "base"},
      {"D:\\Data\\Shop.fdb", "D:\\Data\\", "Shop.fdb"},
      {"/var/lib/firebird/", "", ""},
      {"\\\\dbhost\\D$\\data\\", "", ""},
  };
  WriteFileBytes(Dir / "Seen.gdb", "db");
  for (const Row& row : rows) {
    SCOPED_TRACE(row.database);
    ASSERT_EQ(SplitDataBaseName(Dir / "Seen.gdb").BackBaseName, "Seen");
    const TBackupName name = SplitDataBaseName(row.database);
    EXPECT_EQ(name.BackDir, row.dir);
    EXPECT_EQ(name.BackBaseName, row.base);
  }
}

// Database A seen by this computer, then B in a folder only the server sees,
// with automatic names off: B's backup is named after B, and A's backup is
// left as it was. (The stand-in writes the target wherever its folder exists,
// as the server would.)
TEST_F(Backup, ADatabaseThisComputerCannotSeeNeverTakesTheNameOfAnother) {
  TQuorvin& q = StartWithStandIn();
  q.Settings().AutoBackName = false;
  WriteFileBytes(Dir / "A.gdb", "A");
  q.Settings().DataBase = Dir / "A.gdb";
  Job = Writes("backup of A", true);
  const TBackupOutcome a = BackupNow();
  ASSERT_TRUE(a.Succeeded);
  ASSERT_EQ(a.BackFile, Dir / "A.gbk");

  q.Settings().DataBase = Dir / "server-only/B.gdb";
  Job = [](TJobRunner& job) {
    if (std::filesystem::exists(std::filesystem::path(TargetOf(job.Job()).Get()).parent_path()))
      WriteFileBytes(TargetOf(job.Job()).Get(), "backup of B");
    return true;
  };
  const TBackupOutcome b = BackupNow();
  EXPECT_FALSE(b.Succeeded);
  EXPECT_EQ(b.BackFile, Dir / "server-only/B.gbk");
  EXPECT_EQ(Jobs.back().File2, Dir / "server-only/B.gbk");
  EXPECT_EQ(ReadFileBytes(Dir / "A.gbk"), "backup of A");
  const Strings log = LogAfterStart();
  EXPECT_EQ(log[log.size() - 2], Stamp + " Резервная копия НЕ создана. " + Dir / "server-only/B.gbk");
  EXPECT_EQ(log.back(), Stamp + " Причина: файл копии не найден на этом компьютере");
}

TEST_F(Backup, AdministratorWithoutPasswordIsAskedFirst) {
  struct Row {
    const char* user;
    const char* pass;
    bool asked;
  };
  const Row rows[] = {{"SYSDBA", "", true},   {"sysdba", "", true}, {"SysDba", "", true},
                      {"SYSDBA", "x", false}, {"ADMIN", "", false}, {"SYSDBA ", "", false}};
  for (bool restore : {false, true}) {
    for (const Row& row : rows) {
      for (bool yes : {false, true}) {
        SCOPED_TRACE(std::string(restore ? "restore " : "backup ") + row.user + "/" + row.pass +
                     (yes ? " yes" : " no"));
        TQuorvin& q = StartWithStandIn();
        // Each round stands alone: the history would know the last round's
        // Shop.gbk, which the hand-written one below is not.
        std::filesystem::remove(q.HistoryPath());
        WriteFileBytes(Dir / "Shop.gdb", "LIVE");
        WriteFileBytes(Dir / "Shop.gbk", "OLD");
        WriteFileBytes(Dir / "back.log", "job log");
        WriteFileBytes(Dir / "rest.log", "job log");
        q.Settings().DataBase = Dir / "Shop.gdb";
        q.Settings().AutoBackName = false;
        q.Settings().User = row.user;
        q.Settings().Pass = row.pass;
        Events.YesAnswer = yes;
        Events.Events.clear();
        Jobs.clear();
        Job = Writes("NEW", true);
        const bool result = restore ? RestoreNow(Dir / "Shop.gbk", Dir / "Shop.gdb") : BackupNow().Succeeded;
        const bool runs = !row.asked || yes;
        EXPECT_EQ(result, runs);
        EXPECT_EQ(Jobs.size(), runs ? 1u : 0u);
        const bool askedFirst = !Events.Events.empty() && Events.Events[0] == AdminQuestion;
        EXPECT_EQ(askedFirst, row.asked);
        if (!runs) {
          // Nothing moved, nothing removed, nothing logged.
          EXPECT_EQ(Events.Events, Strings{AdminQuestion});
          EXPECT_EQ(ReadFileBytes(Dir / "Shop.gdb"), "LIVE");
          EXPECT_EQ(ReadFileBytes(Dir / "Shop.gbk"), "OLD");
          EXPECT_TRUE(FileExists(Dir / "back.log") && FileExists(Dir / "rest.log"));
          EXPECT_TRUE(LogAfterStart().empty());
        } else {
          EXPECT_FALSE(FileExists(Dir / (restore ? "rest.log" : "back.log")));
          EXPECT_TRUE(FileExists(Dir / (restore ? "back.log" : "rest.log")));
        }
        Close();
      }
    }
  }
}

TEST_F(Backup, FailurePathsWithTheirMessagesAndLogLines) {
  struct Row {
    const char* name;
    std::string database;
    std::function<bool(TJobRunner&)> job;
    Strings events;
    std::string reason;  // after the outcome line; empty: no line at all
  };
  // clang-format off
  const Row rows[] = {
      {"no database", "", nullptr, {"box:Файл не найден!"}, ""},
      {"runner reports failure", "Shop.gdb", [](TJobRunner&) { return false; },
       {"beep", "box:Errors were encountered during backup"}, "Errors were encountered during backup"},
      {"error raised in the job", "Shop.gdb", [](TJobRunner&) -> bool { throw Exception("boom"); },
       {"pane:ERROR: boom", "box:ERROR: boom"}, "boom"},
      {"runner succeeds but no file", "Shop.gdb", [](TJobRunner&) { return true; }, {},
       "файл копии не найден на этом компьютере"},
  };
  // clang-format on
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    TQuorvin& q = StartWithStandIn();
    // Each row stands alone: the history would keep the last row's name taken.
    std::filesystem::remove(q.HistoryPath());
    WriteFileBytes(Dir / "Shop.gdb", "LIVE");
    q.Settings().DataBase = row.database.empty() ? "" : Dir / row.database;
    Job = row.job;
    Events.Events.clear();
    EXPECT_FALSE(BackupNow().Succeeded);
    EXPECT_EQ(Events.Events, row.events);
    EXPECT_EQ(q.Settings().LastBack, "");
    if (!row.reason.empty()) {
      EXPECT_EQ(LogAfterStart(), (Strings{Stamp + " Резервная копия НЕ создана. " + Dir / ("Shop" + Suffix + ".gbk"),
                                          Stamp + " Причина: " + row.reason}));
      EXPECT_EQ(ReadHistory(q.HistoryPath()).back().Reason, row.reason) << "one reason everywhere";
    } else {
      EXPECT_TRUE(LogAfterStart().empty());
    }
    Close();
  }
}

TEST_F(Restore, FailurePathsWithTheirMessagesAndLogLines) {
  struct Row {
    const char* name;
    std::string source, target;
    bool ok;
    std::function<bool(TJobRunner&)> job;
    Strings events;
    std::string reason;  // after the outcome line; empty: no line at all
  };
  const std::string c = RestoreConfirmation;
  const std::string both = "box:Must select both database and restore files";
  // clang-format off
  const Row rows[] = {
      {"no target", "Shop.gbk", "", true, nullptr, {both}, ""},
      {"no source", "", "New.fdb", true, nullptr, {both}, ""},
      {"cancelled", "Shop.gbk", "New.fdb", false, nullptr, {c}, ""},
      {"runner reports failure", "Shop.gbk", "New.fdb", true, [](TJobRunner&) { return false; },
       {c, "beep", "box:Errors were encountered during restore"}, "Errors were encountered during restore"},
      {"error raised in the job", "Shop.gbk", "New.fdb", true, [](TJobRunner&) -> bool { throw Exception("boom"); },
       {c, "box:ERROR: boom", "pane:ERROR: boom"}, "boom"},
  };
  // clang-format on
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    StartWithStandIn();
    WriteFileBytes(Dir / "rest.log", "job log");
    const std::string source = row.source.empty() ? "" : Dir / row.source;
    const std::string target = row.target.empty() ? "" : Dir / row.target;
    Events.OkAnswer = row.ok;
    Job = row.job;
    Events.Events.clear();
    Jobs.clear();
    EXPECT_FALSE(RestoreNow(source, target));
    EXPECT_EQ(Events.Events, row.events);
    const bool logged = !row.reason.empty();
    EXPECT_EQ(Jobs.size(), logged ? 1u : 0u);
    EXPECT_EQ(FileExists(Dir / "rest.log"), !logged);
    if (logged) {
      EXPECT_EQ(LogAfterStart(),
                (Strings{Stamp + " Резервная копия НЕ восстановлена. " + target, Stamp + " Причина: " + row.reason}));
    } else {
      EXPECT_TRUE(LogAfterStart().empty());
    }
    Close();
  }
}

TEST_F(Backup, RunnerFilledFromTheSettings) {
  TQuorvin& q = StartWithStandIn();
  WriteFileBytes(Dir / "Shop.gdb", "LIVE");
  q.Settings().DataBase = Dir / "Shop.gdb";
  q.Settings().User = "BOSS";
  q.Settings().Pass = "pw";
  q.Settings().BackParam1 = true;
  q.Settings().BackParam2 = false;
  q.Settings().BackParam5 = true;
  q.Settings().BackParam7 = true;
  q.Settings().RestParam1 = true;
  q.Settings().RestParam3 = true;
  q.Settings().RestParam5 = false;
  for (int protocol : {-1, 0, 3}) {
    for (bool shutDown : {false, true}) {
      SCOPED_TRACE(protocol);
      // A minute each: the dated name of the last one is taken.
      Clock.Advance(1.0 / (24 * 60));
      q.Settings().Protocol = protocol;
      q.Settings().BackShutDown = shutDown;
      Jobs.clear();
      BackupNow();
      RestoreNow(Dir / "in.gbk", Dir / "out.fdb");
      ASSERT_EQ(Jobs.size(), 2u);
      const TJobSeen& b = Jobs[0];
      EXPECT_EQ(b.Kind, TJobKind::Backup);
      EXPECT_EQ(b.JobName, "BACKUP OPERATION");
      EXPECT_EQ(b.UserName, "BOSS");
      EXPECT_EQ(b.Password, "pw");
      EXPECT_EQ(b.Protocol, static_cast<TProtocol>(protocol == -1 ? 255 : protocol));
      EXPECT_EQ(b.File1, Dir / "Shop.gdb");
      EXPECT_EQ(b.File2, Dir / ("Shop" + FormatDateTime("_dd_mm_yy_hh_nn", Clock.Now()) + ".gbk"));
      EXPECT_EQ(b.StopDatabase, shutDown);
      // Switch 5 is no garbage collection.
      EXPECT_EQ(b.BackupOptions, (TBackupOptions{TBackupOption::IgnoreChecksums, TBackupOption::NoGarbageCollection,
                                                 TBackupOption::ConvertExtTables}));
      const TJobSeen& r = Jobs[1];
      EXPECT_EQ(r.Kind, TJobKind::Restore);
      EXPECT_EQ(r.JobName, "Restore");
      EXPECT_EQ(r.File1, Dir / "in.gbk");
      EXPECT_EQ(r.File2, Dir / "out.fdb");
      EXPECT_TRUE(r.StopDatabase);
      EXPECT_EQ(r.Protocol, b.Protocol);
      EXPECT_EQ(r.RestoreOptions,
                (TRestoreOptions{TRestoreOption::DeactivateIndexes, TRestoreOption::NoValidityCheck}));
      for (const TJobSeen& j : Jobs) EXPECT_FALSE(j.WriteJobLog || j.VerboseJobLog);
    }
  }
}

// The previous backup or database is moved aside for the job and only
// removed once the job has succeeded.
TEST_F(Backup, PreviousFileSurvivesAFailedJobAndLeftoversLoseTheGoodName) {
  struct Row {
    const char* name;
    bool restore;
    bool writes;
    bool result;
    bool throws;
  };
  const Row rows[] = {
      {"backup fails, partial file", false, true, false, false},
      {"backup fails, no file", false, false, false, false},
      {"backup raises after a partial file", false, true, true, true},
      {"backup succeeds, no file", false, false, true, false},
      {"restore fails, partial file", true, true, false, false},
      {"restore raises after a partial file", true, true, true, true},
      {"restore succeeds, no file", true, false, true, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    TQuorvin& q = StartWithStandIn();
    WriteFileBytes(Dir / "Shop.gdb", "LIVE");
    WriteFileBytes(Dir / "Shop.gbk", "OLD");
    q.Settings().DataBase = Dir / "Shop.gdb";
    q.Settings().AutoBackName = false;
    const std::string target = row.restore ? Dir / "Shop.gdb" : Dir / "Shop.gbk";
    const std::string previous = row.restore ? "LIVE" : "OLD";
    Job = [&](TJobRunner& job) -> bool {
      // The previous file is out of the way, whole, under a fresh name.
      EXPECT_FALSE(FileExists(TargetOf(job.Job()).Get()));
      const Strings aside = FilesWith(".aside-");
      EXPECT_EQ(aside.size(), 1u);
      if (!aside.empty()) {
        EXPECT_EQ(ReadFileBytes(Dir / aside[0]), previous);
      }
      if (row.writes) WriteFileBytes(TargetOf(job.Job()).Get(), "PARTIAL");
      if (row.throws) throw Exception("broken pipe");
      return row.result;
    };
    EXPECT_FALSE(row.restore ? RestoreNow(Dir / "Shop.gbk", Dir / "Shop.gdb") : BackupNow().Succeeded);
    EXPECT_EQ(ReadFileBytes(target), previous);
    EXPECT_TRUE(FilesWith(".aside-").empty());
    if (row.writes) {
      EXPECT_EQ(ReadFileBytes(target + ".failed"), "PARTIAL");
    } else {
      EXPECT_TRUE(FilesWith(".failed").empty());
    }
    EXPECT_EQ(q.Settings().LastBack, "");
    const Strings log = LogAfterStart();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0],
              Stamp + (row.restore ? " Резервная копия НЕ восстановлена. " : " Резервная копия НЕ создана. ") + target);
    EXPECT_EQ(log[1].rfind(Stamp + " Причина: ", 0), 0u);
    Close();
    std::filesystem::remove(target + ".failed");
  }
}

// A restore hands the move aside and the put back to the runner's hooks: the
// database is moved only once the runner has shut it down, and it is back
// under its name before the runner brings the database on line again.
TEST_F(Restore, TheRunnerHooksMoveTheDatabaseAfterTheShutdownAndPutItBackBeforeTheRestart) {
  struct Row {
    const char* name;
    bool writes;
    bool completed;
    bool succeeds;
  };
  const Row rows[] = {
      {"completed", true, true, true},
      {"failed with a partial file", true, false, false},
      {"failed without a file", false, false, false},
      {"completed but no file", false, true, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    StartWithStandIn();
    const std::string target = Dir / "Shop.gdb";
    WriteFileBytes(target, "LIVE");
    std::string atRestart;
    Job = [&](TJobRunner& job) -> bool {
      // What the runner does after its shutdown step: the hook moved the
      // database out of the way…
      EXPECT_FALSE(FileExists(target));
      EXPECT_EQ(FilesWith(".aside-").size(), 1u);
      if (row.writes) WriteFileBytes(target, "NEW");
      // … and after the request the caller's hook settles the files before
      // the restart, which finds this under the database's name.
      job.AfterRequest(row.completed);
      atRestart = FileExists(target) ? ReadFileBytes(target) : "(none)";
      EXPECT_TRUE(FilesWith(".aside-").empty());
      return row.completed;
    };
    EXPECT_EQ(RestoreNow(Dir / "Shop.gbk", target), row.succeeds);
    EXPECT_EQ(atRestart, row.succeeds ? "NEW" : "LIVE");
    EXPECT_EQ(ReadFileBytes(target), row.succeeds ? "NEW" : "LIVE");
    EXPECT_EQ(FileExists(target + ".failed"), !row.succeeds && row.writes);
    const Strings log = LogAfterStart();
    EXPECT_EQ(
        log[row.succeeds ? log.size() - 1 : log.size() - 2],
        Stamp + (row.succeeds ? " Резервная копия восстановлена. " : " Резервная копия НЕ восстановлена. ") + target);
    Close();
    std::filesystem::remove(target + ".failed");
  }
}

// A runner that never reaches its request (its shutdown refused, a name too
// long) calls no hook: the database is neither moved nor renamed.
TEST_F(Restore, AJobThatNeverReachesItsRequestLeavesTheDatabaseWhereItIs) {
  TQuorvin& q = StartWithStandIn();
  const std::string target = Dir / "Shop.gdb";
  WriteFileBytes(target, "LIVE");
  q.Jobs().JobRunner = nullptr;
  // A source name too long for the request: the runner refuses it before it
  // sends anything.
  EXPECT_FALSE(RestoreNow(Dir / (std::string(90, 's') + ".gbk"), target));
  EXPECT_EQ(Events.Events.back(), "box:Errors were encountered during restore");
  EXPECT_EQ(ReadFileBytes(target), "LIVE");
  EXPECT_TRUE(FilesWith(".aside-").empty());
  EXPECT_TRUE(FilesWith(".failed").empty());
}

TEST_F(Backup, SuccessReplacesThePreviousFileAndLeavesNoCopy) {
  TQuorvin& q = StartWithStandIn();
  WriteFileBytes(Dir / "Shop.gdb", "LIVE");
  WriteFileBytes(Dir / "Shop.gbk", "OLD");
  q.Settings().DataBase = Dir / "Shop.gdb";
  q.Settings().AutoBackName = false;
  Job = Writes("NEW", true);
  EXPECT_TRUE(BackupNow().Succeeded);
  EXPECT_EQ(ReadFileBytes(Dir / "Shop.gbk"), "NEW");
  EXPECT_EQ(q.Settings().LastBack, Dir / "Shop.gbk");

  Job = Writes("RESTORED", true);
  EXPECT_TRUE(RestoreNow(Dir / "Shop.gbk", Dir / "Shop.gdb"));
  EXPECT_EQ(ReadFileBytes(Dir / "Shop.gdb"), "RESTORED");
  EXPECT_TRUE(FilesWith(".aside-").empty());
  EXPECT_TRUE(FilesWith(".failed").empty());
  EXPECT_EQ(LogAfterStart(), (Strings{Stamp + " Резервная копия создана. " + Dir / "Shop.gbk",
                                      Stamp + " Резервная копия восстановлена. " + Dir / "Shop.gdb"}));
}

TEST_F(Backup, LeftoversOfRepeatedFailuresNeverReplaceEachOther) {
  TQuorvin& q = StartWithStandIn();
  WriteFileBytes(Dir / "Shop.gdb", "LIVE");
  q.Settings().DataBase = Dir / "Shop.gdb";
  q.Settings().AutoBackName = false;
  for (const char* content : {"first", "second", "third"}) {
    Job = Writes(content, false);
    EXPECT_FALSE(BackupNow().Succeeded);
  }
  EXPECT_FALSE(FileExists(Dir / "Shop.gbk"));
  EXPECT_EQ(ReadFileBytes(Dir / "Shop.gbk.failed"), "first");
  EXPECT_EQ(ReadFileBytes(Dir / "Shop.gbk.failed.2"), "second");
  EXPECT_EQ(ReadFileBytes(Dir / "Shop.gbk.failed.3"), "third");
}

TEST_F(Backup, AFileThatCannotBeMovedAsideStopsTheJob) {
  TQuorvin& q = StartWithStandIn();
  // A name so long that no longer name fits beside it in the folder: the
  // previous backup cannot be moved aside, so the job must not start.
  const std::string base(246, 'b');
  WriteFileBytes(Dir / (base + ".gdb"), "LIVE");
  WriteFileBytes(Dir / (base + ".gbk"), "OLD");
  q.Settings().DataBase = Dir / (base + ".gdb");
  q.Settings().AutoBackName = false;
  Job = Writes("NEW", true);
  EXPECT_FALSE(BackupNow().Succeeded);
  EXPECT_TRUE(Jobs.empty());
  EXPECT_EQ(ReadFileBytes(Dir / (base + ".gbk")), "OLD");
  ASSERT_EQ(Events.Events.size(), 2u);
  EXPECT_EQ(Events.Events[0].rfind("pane:ERROR: Cannot rename ", 0), 0u) << Events.Events[0];
  EXPECT_EQ(Events.Events[1], "box:" + Events.Events[0].substr(5));
  EXPECT_TRUE(FilesWith(".failed").empty());
  EXPECT_EQ(LogAfterStart(), (Strings{Stamp + " Резервная копия НЕ создана. " + Dir / (base + ".gbk"),
                                      Stamp + " Причина: " + Events.Events[0].substr(12)}));
}

// A backup or a restore asked for while a job runs waits for it, then runs:
// one job at a time, in the order they were asked for.
TEST_F(JobGuard, JobsAskedForInsideARunningOneWaitAndRunAfterIt) {
  TQuorvin& q = StartWithStandIn();
  WriteFileBytes(Dir / "Shop.gdb", "LIVE");
  WriteFileBytes(Dir / "Two.gdb", "LIVE");
  q.Settings().DataBase = Dir / "Shop.gdb";
  int ended = 0, running = 0, most = 0;
  q.OnJobEnded = [&] { ++ended; };
  std::optional<TBackupOutcome> nestedBackup;
  std::optional<bool> nestedRestore;
  bool runningInside = false;
  Strings heard;
  Job = [&](TJobRunner& job) {
    most = std::max(most, ++running);
    if (Jobs.size() == 1) {
      runningInside = q.JobRunning();
      OnFrontEnd([&] {
        nestedBackup = q.Backup(Dir / "Two.gdb", [&](const TBackupOutcome& o) { heard.push_back(o.BackFile); });
        nestedRestore =
            q.Restore(Dir / "Shop.gbk", Dir / "Other.fdb", [&](bool ok) { heard.push_back(ok ? "ok" : "no"); });
      });
      EXPECT_EQ(Jobs.size(), 1u) << "a job started beside the running one";
    }
    WriteFileBytes(TargetOf(job.Job()).Get(), "gbk");
    --running;
    return true;
  };
  EXPECT_FALSE(q.JobRunning());
  const TBackupOutcome first = BackupNow();
  EXPECT_TRUE(first.Succeeded);
  EXPECT_EQ(first.BackFile, Dir / ("Shop" + Suffix + ".gbk"));
  EXPECT_TRUE(runningInside);
  EXPECT_FALSE(nestedBackup.has_value());
  EXPECT_FALSE(nestedRestore.has_value());
  EXPECT_FALSE(q.JobRunning());
  EXPECT_EQ(most, 1);
  EXPECT_EQ(ended, 3);
  ASSERT_EQ(Jobs.size(), 3u);
  EXPECT_EQ(Jobs[1].File1, Dir / "Two.gdb");
  EXPECT_EQ(Jobs[2].Kind, TJobKind::Restore);
  const std::string second = Dir / ("Two" + Suffix + ".gbk");
  EXPECT_EQ(heard, (Strings{second, "ok"}));
  EXPECT_EQ(Events.Events, Strings{RestoreConfirmation});
  EXPECT_EQ(LogAfterStart(), (Strings{Stamp + " Резервная копия создана. " + first.BackFile,
                                      Stamp + " Резервная копия создана. " + second,
                                      Stamp + " Резервная копия восстановлена. " + Dir / "Other.fdb"}));
  // A backup refused for want of a database ends like any job.
  Job = nullptr;
  EXPECT_FALSE(q.Backup("")->Succeeded);
  EXPECT_EQ(ended, 4);
}

// The plan's tick during a user's job starts nothing beside it: the plan
// backup that fell due waits and runs after it.
TEST_F(JobGuard, APlanTickDuringAUserJobStartsNothingBesideIt) {
  TQuorvin& q = StartWithStandIn();
  WriteFileBytes(Dir / "Shop.gdb", "LIVE");
  q.Settings().DataBase = Dir / "Shop.gdb";
  TPlanRecord& p = q.Settings().PlanRecord;
  p.Day1Back = p.Day2Back = p.Day3Back = p.Day4Back = p.Day5Back = p.Day6Back = p.Day7Back = true;
  p.NightPeriodBack = 3;  // every full hour
  Clock.Set(EncodeDate(2026, 12, 6) + EncodeTime(13, 0, 1, 0));
  q.Execute();
  Job = [&](TJobRunner& job) {
    if (Jobs.size() == 1) {
      Tick();
      EXPECT_TRUE(q.Timer().Enabled());
      EXPECT_EQ(Jobs.size(), 1u);
      EXPECT_EQ(q.Queue().Waiting().size(), 1u);
    }
    EXPECT_EQ(q.PlanBackupRunning(), Jobs.size() == 2);
    WriteFileBytes(TargetOf(job.Job()).Get(), "gbk");
    return true;
  };
  EXPECT_TRUE(BackupNow().Succeeded);
  EXPECT_EQ(Jobs.size(), 2u);
  ASSERT_NE(q.Plan().RunOf(1), nullptr);
  EXPECT_EQ(q.Plan().RunOf(1)->LastPlanRun, Clock.Now());
  EXPECT_FALSE(q.PlanBackupRunning());
  Strings log = LogAfterStart();
  ASSERT_EQ(log.size(), 5u);
  EXPECT_EQ(log[0], "06.12.2026 в 13:00 Сервис запущен.");
  EXPECT_EQ(log[2], "06.12.2026 в 13:00 резервная копия. начало");
}

using JobGuardDeathTest = JobTest;

TEST_F(JobGuardDeathTest, DestroyingTheControllerDuringItsJobStopsTheProgram) {
  // The jobs' thread is not in a forked child: the child starts afresh.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  TQuorvin& q = StartWithStandIn();
  WriteFileBytes(Dir / "Shop.gdb", "LIVE");
  q.Settings().DataBase = Dir / "Shop.gdb";
  Job = [this](TJobRunner&) {
    Controller.reset();
    return true;
  };
  EXPECT_DEATH(BackupNow(), "destroyed while a job was running");
  // In this process nothing happened: the controller is whole and idle.
  Job = nullptr;
  EXPECT_FALSE(q.JobRunning());
}

}  // namespace
