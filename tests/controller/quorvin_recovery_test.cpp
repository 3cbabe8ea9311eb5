// The record of a job in progress and the finishing of a job cut short: the
// record while a job runs, and what a fresh controller does with the files a
// killed job left at each point where it can be killed.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <map>

#include "job_fixture.h"
#include "platform/files.h"

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
// engine; here: it holds the password, so it is the user's alone, and it
// goes with the job.
TEST_F(Recovery, TheRecordIsPrivateAndLivesAsLongAsTheJob) {
  TQuorvin& q = StartWithStandIn();
  q.Settings().AutoBackName = false;
  q.Settings().BackShutDown = true;
  WriteFileBytes(Dir / "Shop.gdb", "db");
  WriteFileBytes(Dir / "Shop.gbk", "OLD");
  q.Settings().DataBase = Dir / "Shop.gdb";
  std::optional<TJobRecord> seen;
  unsigned mode = 0;
  Job = [&](TSchedule& job) {
    bool exists = false;
    seen = TJobRecord::Parse(ReadWholeFile(q.JobRecordPath(), exists).value_or(""));
    struct stat st {};
    if (stat(q.JobRecordPath().c_str(), &st) == 0) mode = st.st_mode & 0777;
    WriteFileBytes(job.JobFile(2), "NEW");
    return true;
  };
  ASSERT_TRUE(BackupNow().Succeeded);
  ASSERT_TRUE(seen);
  EXPECT_TRUE(seen->RequestStarted && !seen->Succeeded);
  EXPECT_EQ(seen->Password, "secret");
  EXPECT_EQ(mode, 0600u);
  EXPECT_EQ(FolderFiles(Dir.Path), (Files{{"Shop.gdb", "db"}, {"Shop.gbk", "NEW"}}));
  EXPECT_FALSE(q.FinishInterruptedJob()) << "nothing left to finish";
}

// A backup (or a restore) killed at each point of its way, and the files a
// fresh controller leaves. T is the target, A its earlier file moved aside.
TEST_F(Recovery, AKilledJobIsFinishedAtTheNextStart) {
  struct Row {
    const char* name;
    const char* kind;
    Files before;  // "T" the target, "A" the aside name, other names as they are
    bool asideNoted, requestStarted, succeeded;
    Files after;
    Strings done;  // what the log and the notice say, after the description
  };
  const std::string t = "Shop.gbk";
  const std::string a = "Shop.gbk.aside-k1ll3d00";
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
      for (const auto& [from, to] : {std::pair{std::string("@A"), Dir / a}, {std::string("@T"), Dir / t}}) {
        for (std::size_t at; (at = name.find(from)) != std::string::npos;) name.replace(at, from.size(), to);
      }
      return name;
    };
    for (const auto& [name, content] : row.before) WriteFileBytes(Dir / name, content);
    TJobRecord record;
    record.Kind = row.kind;
    record.Started = "06.12.2026 в 12:00";
    record.Database = Dir / "Shop.gdb";
    record.Target = Dir / t;
    record.Aside = row.asideNoted ? Dir / a : "";
    record.RequestStarted = row.requestStarted;
    record.Succeeded = row.succeeded;
    WriteFileBytes(q.JobRecordPath(), record.Text());

    EXPECT_TRUE(q.FinishInterruptedJob());
    Files expected = row.after;
    EXPECT_EQ(FolderFiles(Dir.Path), expected) << "the record is gone too";
    Strings done{std::string(row.kind) == "backup"
                     ? "резервное копирование " + Dir / "Shop.gdb" + " в " + Dir / t + ", начато 06.12.2026 в 12:00"
                     : "восстановление базы данных " + Dir / t + ", начато 06.12.2026 в 12:00"};
    for (const std::string& line : row.done) done.push_back(path(line));
    Strings log;
    std::string notice = "notice:Задание, прерванное при прошлом запуске программы, завершено:";
    for (const std::string& line : done) {
      log.push_back(Stamp + " Восстановление после прерванного задания: " + line);
      notice += "\n" + line;
    }
    EXPECT_EQ(LogAfterStart(), log);
    EXPECT_EQ(Events.Events, Strings{notice});
    EXPECT_FALSE(q.FinishInterruptedJob());
  }
}

TEST_F(Recovery, AnUnreadableRecordIsReportedAndRemoved) {
  TQuorvin& q = Start();
  WriteFileBytes(q.JobRecordPath(), "not a record\n");
  EXPECT_TRUE(q.FinishInterruptedJob());
  EXPECT_FALSE(std::filesystem::exists(q.JobRecordPath()));
  EXPECT_EQ(LogAfterStart(), Strings{Stamp +
                                     " Восстановление после прерванного задания: запись о задании не "
                                     "читается: " +
                                     q.JobRecordPath()});
  EXPECT_EQ(Events.Events.size(), 1u);
}

}  // namespace
