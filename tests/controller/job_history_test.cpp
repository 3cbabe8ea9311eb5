#include "controller/job_history.h"

#include <gtest/gtest.h>

#include "platform/files.h"
#include "platform/temp_folder.h"

namespace {

THistoryRecord Sample(const char* kind, const char* outcome, const std::string& database, std::uint64_t lines) {
  THistoryRecord r;
  r.Start = "2026-12-07T14:00:00+01:00";
  r.End = "2026-12-07T14:01:30+01:00";
  r.Kind = kind;
  r.By = HistoryByPlan;
  r.Database = database;
  r.File = database + "_07_12_26_14_00.gbk";
  r.Size = 123456;
  r.Sha256 = std::string(64, 'a');
  r.Outcome = outcome;
  r.Reason = "он сказал \"нет\"\n\tи всё";
  r.Lines = lines;
  return r;
}

TEST(JobHistory, RecordsSurviveTheFileAsWritten) {
  TTempFolder dir;
  const std::string path = dir / HistoryFileName("Quorvin");
  EXPECT_EQ(path, dir / "Quorvin.history.jsonl");
  const THistoryRecord a = Sample(HistoryKindBackup, HistorySuccess, "/db/a.fdb", 120);
  THistoryRecord b = Sample(HistoryKindVerify, HistoryFailure, "/db/a.fdb", 7);
  b.Size.reset();
  b.Sha256.clear();
  ASSERT_TRUE(AppendHistory(path, a));
  ASSERT_TRUE(AppendHistory(path, b));
  const auto records = ReadHistory(path);
  ASSERT_EQ(records.size(), 2u);
  for (std::size_t i = 0; i < 2; ++i) {
    const THistoryRecord& want = i == 0 ? a : b;
    EXPECT_EQ(HistoryLine(records[i]), HistoryLine(want));
  }
  EXPECT_EQ(records[0].DurationSeconds(), 90);
  EXPECT_FALSE(records[1].Size.has_value());
  // One object per line; the first field is the start.
  EXPECT_EQ(ReadFileBytes(path).rfind("{\"start\":\"2026-12-07T14:00:00+01:00\"", 0), 0u);
}

TEST(JobHistory, TheReaderSkipsWhatItCannotReadAndWhatItDoesNotKnow) {
  TTempFolder dir;
  const std::string path = dir / "h.jsonl";
  const std::string good = HistoryLine(Sample(HistoryKindBackup, HistorySuccess, "/db/a.fdb", 1));
  std::string file;
  file += good + "\n";
  file += "not json\n";
  file += "[1,2]\n";
  file += "{\"start\":\"x\",\"kind\":\"backup\"}\n";  // no outcome
  file +=
      "{\"start\":\"x\",\"kind\":\"restore\",\"outcome\":\"success\",\"size\":\"big\",\"lines\":-1,"
      "\"copy\":{\"file\":\"/elsewhere\"}}\n";
  file += good.substr(0, good.size() / 2);  // a write cut short
  WriteFileBytes(path, file);
  // The next record starts on a line of its own.
  ASSERT_TRUE(AppendHistory(path, Sample(HistoryKindRestore, HistoryFailure, "/db/b.fdb", 2)));
  const auto records = ReadHistory(path);
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[0].Database, "/db/a.fdb");
  EXPECT_EQ(records[1].Kind, HistoryKindRestore);
  EXPECT_FALSE(records[1].Size.has_value());
  EXPECT_EQ(records[1].Lines, 0u);
  EXPECT_EQ(records[2].Database, "/db/b.fdb");
  EXPECT_TRUE(ReadHistory(dir / "missing").empty());
}

TEST(JobHistory, LatestSuccessfulRecordOfAKindAndOfAFile) {
  std::vector<THistoryRecord> records = {Sample(HistoryKindBackup, HistorySuccess, "/db/a.fdb", 1),
                                         Sample(HistoryKindBackup, HistorySuccess, "/db/b.fdb", 2),
                                         Sample(HistoryKindBackup, HistorySuccess, "/db/a.fdb", 3),
                                         Sample(HistoryKindBackup, HistoryFailure, "/db/a.fdb", 4),
                                         Sample(HistoryKindVerify, HistorySuccess, "/db/a.fdb", 5)};
  EXPECT_EQ(LastSuccessful(records, HistoryKindBackup, "/db/a.fdb")->Lines, 3u);
  EXPECT_EQ(LastSuccessful(records, HistoryKindVerify, "/db/a.fdb")->Lines, 5u);
  EXPECT_FALSE(LastSuccessful(records, HistoryKindRestore, "/db/a.fdb").has_value());
  EXPECT_FALSE(LastSuccessful(records, HistoryKindBackup, "/db/c.fdb").has_value());
  // The file by another spelling of the same path.
  EXPECT_EQ(LastBackupWriting(records, "/db/./x/../b.fdb_07_12_26_14_00.gbk")->Lines, 2u);
  EXPECT_FALSE(LastBackupWriting(records, "/db/c.fdb_07_12_26_14_00.gbk").has_value());
}

}  // namespace
