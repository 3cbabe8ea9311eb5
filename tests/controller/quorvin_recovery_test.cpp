// The record of a job in progress and the finishing of a job cut short: the
// record while a job runs, and what a fresh controller does with the files a
// killed job left at each point where it can be killed.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>

#include "controller/history/job_history.h"
#include "controller/jobs/job_record.h"
#include "controller/jobs/temporary_database.h"
#include "controller/recovery/interrupted_history.h"
#include "job_fixture.h"
#include "platform/file_lock.h"
#include "platform/files.h"
#include "runner/job_paths.h"

namespace {

using Strings = std::vector<std::string>;
using Files = std::map<std::string, std::string>;

const std::string Stamp = "06.12.2026 в 12:15";

// Every file of the folder but the settings file, the job history and the
// operation log.
Files FolderFiles(const std::string& dir) {
  Files files;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    const std::string name = entry.path().filename().string();
    // The program's own files beside the settings: its settings, history and
    // locks.
    const bool own = name == "Quorvin.INI" || name == "Quorvin.history.jsonl" || name.ends_with(".lock");
    if (entry.is_regular_file() && !own) files[name] = ReadFileBytes(entry.path().string());
  }
  return files;
}

using Recovery = JobTest;

// What the record says is put to work by the kill tests against the real
// engine; here: it is the user's alone, holds no password, names the files
// the job replaces as they were moved, and goes with the job.
TEST_F(Recovery, TheRecordIsPrivateAndLivesAsLongAsTheJob) {
  TQuorvin& q = StartWithStandIn();
  q.Settings().AutoBackName = false;
  q.Settings().BackShutDown = true;
  WriteFileBytes(Dir / "Shop.gdb", "db");
  WriteFileBytes(Dir / "Shop.gbk", "OLD");
  q.Settings().DataBase = Dir / "Shop.gdb";
  std::string text;
  unsigned mode = 0;
  Job = [&](TJobRunner& job) {
    bool exists = false;
    text = ReadWholeFile(q.JobRecordPath(), exists).value_or("");
    struct stat st {};
    if (stat(q.JobRecordPath().c_str(), &st) == 0) mode = st.st_mode & 0777;
    WriteFileBytes(TargetOf(job.Job()).Get(), "NEW");
    return true;
  };
  ASSERT_TRUE(BackupNow().Succeeded);
  const std::optional<TJobRecord> seen = TJobRecord::Parse(text);
  ASSERT_TRUE(seen);
  EXPECT_TRUE(seen->RequestStarted && !seen->Succeeded);
  EXPECT_EQ(text.find("secret"), std::string::npos) << text;
  EXPECT_EQ(seen->Settings, q.IniPath());
  ASSERT_FALSE(seen->Replaced.empty());
  EXPECT_EQ(seen->Replaced[0].Target, Dir / "Shop.gbk");
  ASSERT_TRUE(seen->Replaced[0].AsideIdentity.has_value());
  EXPECT_EQ(seen->Replaced[0].AsideIdentity->Size, 3u);
  EXPECT_EQ(mode, 0600u);
  EXPECT_EQ(FolderFiles(Dir.Path), (Files{{"Shop.gdb", "db"}, {"Shop.gbk", "NEW"}}));
  EXPECT_FALSE(q.FinishInterruptedJob()) << "nothing left to finish";
}

// A record found at start, at each point where a job can be killed, and
// records that must not be trusted; the files a fresh controller leaves.
// T is the target, A its earlier file moved aside, S/B a copy's checksum
// file and its earlier one; a leading '~' marks a file written after the
// job's last sign of life, and an aside noted as changed since its move.
TEST_F(Recovery, ARecordFoundAtStartActsOnlyOnTheJobsOwnFiles) {
  struct Row {
    const char* name;
    const char* kind;
    Files before;
    bool asideNoted, requestStarted, succeeded;
    Files after;
    Strings done;               // what the log and the notice say, after the description
    std::string settings = "";  // the record's settings file; empty: this one
    std::string aside = "";     // the aside name the record gives; empty: A
    // When the request started and the job's last sign of life, seconds ago
    // (0: a record that does not say when its request started).
    std::int64_t requestStartAgo = 0, aliveAgo = 3600;
  };
  const std::string t = "Shop.gbk", a = "Shop.gbk.aside-k1ll3d00";
  const std::string s = "Shop.gbk.zst.sha256", b = "Shop.gbk.zst.sha256.aside-k1ll3d00";
  // clang-format off
  const Row rows[] = {
      {"before the earlier file was moved", "backup", {{t, "OLD"}}, true, false, false, {{t, "OLD"}}, {}},
      {"after the move, before the request", "backup", {{a, "OLD"}}, true, false, false, {{t, "OLD"}},
       {"прежний файл возвращён под своё имя: @A -> @T"}},
      {"in the request, with an earlier file", "backup", {{a, "OLD"}, {t, "PART"}}, true, true, false,
       {{t, "OLD"}, {t + ".failed", "PART"}},
       {"неполный файл переименован: @T -> @T.failed", "прежний файл возвращён под своё имя: @A -> @T"}},
      {"in the request, without an earlier file", "backup", {{t, "PART"}}, false, true, false,
       {{t + ".failed", "PART"}}, {"неполный файл переименован: @T -> @T.failed"}},
      {"in the request, a .failed file there already", "backup", {{t, "PART"}, {t + ".failed", "EARLIER"}}, false,
       true, false, {{t + ".failed", "EARLIER"}, {t + ".failed.2", "PART"}},
       {"неполный файл переименован: @T -> @T.failed.2"}},
      {"after the request succeeded", "backup", {{a, "OLD"}, {t, "NEW"}}, true, true, true, {{t, "NEW"}},
       {"прежний файл удалён: @A"}},
      {"after the earlier file was put back", "backup", {{t, "OLD"}, {t + ".failed", "PART"}}, true, true, false,
       {{t, "OLD"}, {t + ".failed", "PART"}}, {}},
      {"a restore after the shutdown, before the move", "restore", {{t, "DB"}}, false, false, false, {{t, "DB"}}, {}},
      // The server went on writing after the program died: nothing is swapped.
      {"a target written after the job's last sign of life", "restore", {{a, "OLD"}, {"~" + t, "LIVE"}}, true, true,
       false, {{a, "OLD"}, {t, "LIVE"}},
       {"файл изменён после задания (его могла закончить программа сервера) и оставлен как есть: @T; прежний файл "
        "сохранён как @A"}},
      {"an earlier file changed since its move", "backup", {{"~" + a, "OLD"}, {t, "PART"}}, true, true, false,
       {{a, "OLD"}, {t, "PART"}}, {"прежний файл изменён после задания и оставлен как есть: @A"}},
      // A copy only, killed in its verification: copy and checksum alike.
      {"a copy and its checksum file, in the verification", "backup",
       {{a, "OLD"}, {t, "NEW"}, {b, "OLD SUM"}, {s, "NEW SUM"}}, true, true, false,
       {{t, "OLD"}, {t + ".failed", "NEW"}, {s, "OLD SUM"}, {s + ".failed", "NEW SUM"}},
       {"неполный файл переименован: @T -> @T.failed", "прежний файл возвращён под своё имя: @A -> @T",
        "неполный файл переименован: @S -> @S.failed", "прежний файл возвращён под своё имя: @B -> @S"}},
      // Records not to be trusted: nothing is touched, the record is kept aside.
      {"a record of another settings file", "backup", {{a, "OLD"}, {t, "PART"}}, true, true, false,
       {{a, "OLD"}, {t, "PART"}},
       {"!запись относится к другому файлу настроек: /elsewhere/Quorvin.INI; ничего не изменено: @R"},
       "/elsewhere/Quorvin.INI"},
      {"an aside that is not the job's own name", "backup", {{"Shop.gbk.bak", "OLD"}, {t, "PART"}}, true, true, false,
       {{"Shop.gbk.bak", "OLD"}, {t, "PART"}},
       {"!чужое имя отложенного файла: @D/Shop.gbk.bak; ничего не изменено: @R"}, "", "Shop.gbk.bak"},
      // Killed before its first sign of life: the file's creation tells
      // whether the request made it (made now here, with an old date).
      {"before its first sign of life, a file its request created", "backup", {{t, "PART"}}, false, true, false,
       {{t + ".failed", "PART"}}, {"неполный файл переименован: @T -> @T.failed"}, "", "", 5, 0},
      {"before its first sign of life, a file created after the job", "backup", {{t, "COPIED"}}, false, true, false,
       {{t, "COPIED"}}, {"файл создан не во время задания и оставлен как есть: @T"}, "", "", 3610, 3600},
  };
  // clang-format on
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Close();
    std::filesystem::remove_all(Dir.Path);
    std::filesystem::create_directory(Dir.Path);
    Events.Events.clear();
    TQuorvin& q = Start();
    const auto path = [&](std::string name) {
      const std::pair<std::string, std::string> names[] = {
          {"@A", Dir / a}, {"@T", Dir / t},           {"@B", Dir / b},
          {"@S", Dir / s}, {"@R", q.JobRecordPath()}, {"@D", Dir.Path.substr(0, Dir.Path.size() - 1)}};
      for (const auto& [from, to] : names)
        for (std::size_t at; (at = name.find(from)) != std::string::npos;) name.replace(at, from.size(), to);
      return name;
    };
    const std::int64_t now =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch()).count();
    TJobRecord record;
    record.Kind = row.kind;
    record.Started = "06.12.2026 в 12:00";
    record.StartedAt = "2026-12-06T12:00:00+00:00";
    record.Settings = row.settings.empty() ? q.IniPath() : row.settings;
    // A restore's database is its target.
    record.Database = std::string(row.kind) == "restore" ? Dir / t : Dir / "Shop.gdb";
    record.Target = Dir / t;
    record.RequestStarted = row.requestStarted;
    record.Succeeded = row.succeeded;
    record.Alive = now - row.aliveAgo;
    record.RequestStart = row.requestStartAgo == 0 ? 0 : now - row.requestStartAgo;
    Files expected;
    for (const auto& [name, content] : row.before) {
      const bool late = name[0] == '~';
      const std::string file = Dir / (late ? name.substr(1) : name);
      WriteFileBytes(file, content);
      // Written an hour ago, as far as the record knows, unless written late.
      const auto then = std::filesystem::file_time_type::clock::now() - std::chrono::hours(late ? 0 : 2);
      std::filesystem::last_write_time(file, then);
      const bool isAside = file == Dir / a || file == Dir / b || file == Dir / row.aside;
      if (isAside && row.asideNoted) {
        TReplacedPair pair{file == Dir / b ? Dir / s : Dir / t, file, IdentityOf(file)};
        if (late) pair.AsideIdentity->Size += 1;  // it changed since the move
        record.Replaced.push_back(pair);
      }
    }
    if (row.asideNoted && record.Replaced.empty()) record.Replaced.push_back({Dir / t, Dir / a, {}});
    std::sort(record.Replaced.begin(), record.Replaced.end(), [&](const TReplacedPair& x, const TReplacedPair& y) {
      return x.Target == Dir / t && y.Target != x.Target;
    });
    WriteFileBytes(q.JobRecordPath(), record.Text());

    EXPECT_TRUE(q.FinishInterruptedJob());
    const bool refused = !row.done.empty() && row.done[0][0] == '!';
    Files after = row.after;
    if (refused) after[LastPathComponent(q.JobRecordPath()) + ".ignored"] = record.Text();
    EXPECT_EQ(FolderFiles(Dir.Path), after) << "the record is gone too (or kept aside)";
    Strings done{std::string(row.kind) == "backup"
                     ? "резервное копирование " + Dir / "Shop.gdb" + " в " + Dir / t + ", начато 06.12.2026 в 12:00"
                     : "восстановление базы данных " + Dir / t + ", начато 06.12.2026 в 12:00"};
    if (refused) done = {path(row.done[0].substr(1)), "запись: " + std::string()};
    for (const std::string& line : row.done)
      if (line[0] != '!') done.push_back(path(line));
    Strings log = LogAfterStart();
    if (refused) {
      ASSERT_EQ(log.size(), 2u);
      EXPECT_EQ(log[0], Stamp + " Восстановление после прерванного задания: " + done[0]);
      EXPECT_EQ(log[1].rfind(Stamp + " Восстановление после прерванного задания: запись: Kind=backup; ", 0), 0u);
    } else {
      Strings expectedLog;
      for (const std::string& line : done)
        expectedLog.push_back(Stamp + " Восстановление после прерванного задания: " + line);
      EXPECT_EQ(log, expectedLog);
    }
    EXPECT_EQ(Events.Events.size(), 1u);
    EXPECT_FALSE(q.FinishInterruptedJob());
    // The job is in the history, with its outcome and what recovery did.
    const std::vector<THistoryRecord> history = ReadHistory(q.HistoryPath());
    ASSERT_EQ(history.size(), refused ? 0u : 1u);
    if (refused) continue;
    EXPECT_EQ(history[0].Kind, row.kind);
    EXPECT_EQ(history[0].Succeeded(), row.succeeded);
    EXPECT_EQ(history[0].Start, "2026-12-06T12:00:00+00:00");
    if (!row.succeeded) {
      EXPECT_EQ(history[0].Reason.rfind(InterruptedReason, 0), 0u) << history[0].Reason;
      for (std::size_t i = 1; i < done.size(); ++i) EXPECT_NE(history[0].Reason.find(done[i]), std::string::npos);
    }
  }
}

// The verification's temporary database stays in the backup's folder as
// its server names it, never in the program's current folder; only names of
// that form count as the job's own.
TEST(TemporaryDatabase, NamedBesideTheBackupAsItsServerSeesIt) {
  const struct {
    std::string backup, startsWith;
  } rows[] = {
      {"\\\\dbhost\\D$\\data\\shop.gbk", "\\\\dbhost\\D$\\data\\shop.gbk.verify-"},
      {"/srv/db/shop.gbk", "/srv/db/shop.gbk.verify-"},
      {"/srv/db/" + std::string(80, 's') + ".gbk", "/srv/db/verify-"},  // the long form does not fit
      {"shop.gbk", ""},                                                 // no folder: no name at all
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.backup);
    const std::string name = TemporaryDatabaseName(row.backup, 80);
    EXPECT_EQ(name.rfind(row.startsWith, 0), 0u) << name;
    EXPECT_EQ(name.empty(), row.startsWith.empty());
    if (!name.empty()) {
      EXPECT_TRUE(IsTemporaryDatabaseOf(name, row.backup));
    }
  }
  EXPECT_FALSE(IsTemporaryDatabaseOf("/srv/db/shop.gbk.verify-ab/../x.fdb", "/srv/db/shop.gbk"));
  EXPECT_FALSE(IsTemporaryDatabaseOf("/srv/db/shop.fdb", "/srv/db/shop.gbk"));
}

// A job started by hand finishes what a killed job left before it starts
// (as the window's and the service's start do), and never writes over a
// record recovery could not finish (it waits for a password nobody gave).
TEST_F(Recovery, EveryJobFinishesTheInterruptedJobFirst) {
  TQuorvin& q = StartWithStandIn();
  q.Settings().AutoBackName = false;
  q.Settings().DataBase = Dir / "Shop.gdb";
  Job = [](TJobRunner& job) {
    WriteFileBytes(TargetOf(job.Job()).Get(), "NEW");
    return true;
  };
  // Killed in its request, an hour ago, with an earlier backup aside.
  const auto killedBackup = [&](bool shutDown) {
    const auto old = std::filesystem::file_time_type::clock::now() - std::chrono::hours(2);
    const std::string aside = Dir / "Shop.gbk.aside-k1ll3d00";
    for (const auto& [file, content] :
         {std::pair{aside, "OLD"}, std::pair{Dir / "Shop.gbk", "PART"}, std::pair{Dir / "Shop.gdb", "db"}}) {
      WriteFileBytes(file, content);
      std::filesystem::last_write_time(file, old);
    }
    TJobRecord record;
    record.Kind = TJobRecord::Backup;
    record.Settings = q.IniPath();
    record.Database = Dir / "Shop.gdb";
    record.Target = Dir / "Shop.gbk";
    record.Replaced.push_back({record.Target, aside, IdentityOf(aside)});
    record.RequestStarted = true;
    record.ShutDown = shutDown;
    record.User = "STRANGER";
    record.Alive =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch()).count() -
        3600;
    WriteFileBytes(q.JobRecordPath(), record.Text());
  };

  // The database's start needs a password nobody gives: the record stays,
  // and the backup is refused without touching it.
  killedBackup(true);
  const std::string recordBefore = ReadFileBytes(q.JobRecordPath());
  const TBackupOutcome refused = BackupNow();
  EXPECT_FALSE(refused.Succeeded);
  EXPECT_EQ(refused.Reason, LeftJobText + q.JobRecordPath());
  EXPECT_TRUE(Jobs.empty()) << "nothing was asked of the server";
  EXPECT_EQ(ReadFileBytes(q.JobRecordPath()), recordBefore);
  EXPECT_EQ(ReadFileBytes(Dir / "Shop.gbk"), "OLD") << "what recovery could do, it did";

  // A record recovery can finish: the next backup finishes it first.
  std::filesystem::remove(q.JobRecordPath());
  std::filesystem::remove(Dir / "Shop.gbk.failed");
  killedBackup(false);
  Events.Events.clear();
  EXPECT_TRUE(BackupNow().Succeeded);
  EXPECT_EQ(FolderFiles(Dir.Path), (Files{{"Shop.gdb", "db"}, {"Shop.gbk", "NEW"}, {"Shop.gbk.failed", "PART"}}));
  ASSERT_FALSE(Events.Events.empty());
  EXPECT_EQ(Events.Events[0].rfind("notice:Задание, прерванное при прошлом запуске программы, завершено", 0), 0u)
      << Events.Events[0];
}

// While another program runs a job of the same settings file, its record is
// its own: recovery leaves it.
TEST_F(Recovery, ARecordOfAJobAnotherProgramRunsIsLeftAlone) {
  TQuorvin& q = Start();
  WriteFileBytes(q.JobRecordPath(), "Kind=backup\n");
  // Another holder of the lock (flock: another open of the file is as good
  // as another process).
  TFileLock other(q.JobRecordPath() + ".lock");
  ASSERT_TRUE(other.Acquire());
  EXPECT_FALSE(q.FinishInterruptedJob());
  EXPECT_EQ(ReadFileBytes(q.JobRecordPath()), "Kind=backup\n");
  EXPECT_TRUE(Events.Events.empty());
}

TEST_F(Recovery, AnUnreadableRecordIsReportedAndKeptAside) {
  TQuorvin& q = Start();
  WriteFileBytes(q.JobRecordPath(), "not a record\n");
  EXPECT_TRUE(q.FinishInterruptedJob());
  EXPECT_FALSE(std::filesystem::exists(q.JobRecordPath()));
  EXPECT_EQ(ReadFileBytes(q.JobRecordPath() + ".ignored"), "not a record\n");
  const Strings log = LogAfterStart();
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log[0], Stamp +
                        " Восстановление после прерванного задания: запись о задании не читается; ничего не "
                        "изменено: " +
                        q.JobRecordPath());
  EXPECT_EQ(Events.Events.size(), 1u);
}

}  // namespace
