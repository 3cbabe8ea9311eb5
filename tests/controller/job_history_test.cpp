#include "controller/history/job_history.h"

#include <gtest/gtest.h>

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

TEST(JobHistory, RecordsSurviveTheFileAndTheReaderSkipsWhatItCannotRead) {
  TTempFolder dir;
  const std::string path = dir / HistoryFileName("Quorvin");
  EXPECT_EQ(path, dir / "Quorvin.history.jsonl");
  THistoryRecord a = Sample(HistoryKindBackup, HistorySuccess, "/db/a.fdb", 120);
  a.Copy = "/home/dba/copies/a.gbk.zst";
  a.CopySize = 99;
  a.CopySha256 = std::string(64, 'b');
  ASSERT_TRUE(AppendHistory(path, a));
  // One object per line, the start first.
  EXPECT_EQ(ReadFileBytes(path).rfind("{\"start\":\"2026-12-07T14:00:00+01:00\",\"end\"", 0), 0u);
  const std::string good = HistoryLine(a);
  WriteFileBytes(path, ReadFileBytes(path) + "not json\n[1,2]\n{\"start\":\"x\",\"kind\":\"backup\"}\n" +
                           "{\"start\":\"x\",\"kind\":\"restore\",\"outcome\":\"success\",\"size\":\"big\","
                           "\"lines\":-1,\"copy\":{\"file\":\"/elsewhere\",\"size\":5}}\n" +
                           good.substr(0, good.size() / 2));  // a write cut short
  THistoryRecord b = Sample(HistoryKindVerify, HistoryFailure, "/db/b.fdb", 7);
  b.Size.reset();
  b.Sha256.clear();
  ASSERT_TRUE(AppendHistory(path, b));  // starts on a line of its own
  const auto records = ReadHistory(path);
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(HistoryLine(records[0]), good);
  EXPECT_EQ(records[0].DurationSeconds(), 90);
  EXPECT_EQ(records[1].Kind, HistoryKindRestore);
  EXPECT_FALSE(records[1].Size.has_value());  // unknown and nested fields are not taken
  EXPECT_EQ(records[1].Lines, 0u);
  EXPECT_EQ(HistoryLine(records[2]), HistoryLine(b));
  EXPECT_EQ(HistoryLine(b).find("\"copy"), std::string::npos);  // only a job that made a copy names one
  EXPECT_TRUE(ReadHistory(dir / "missing").empty());
}

// A name in another encoding (Windows-1251 bytes) reads back exactly, so the
// restore's "changed or cut" check finds its record; the line stays JSON a
// reader without that knowledge reads too.
TEST(JobHistory, NamesThatAreNotUtf8ReadBackExactly) {
  TTempFolder dir;
  const std::string path = dir / HistoryFileName("Quorvin");
  THistoryRecord r = Sample(HistoryKindBackup, HistorySuccess, dir / "\xC1\xE0\xE7\xE0.fdb", 1);
  r.Leftover = dir / "\xC1\xE0\xE7\xE0.fdb.verify-abc123.fdb";
  ASSERT_TRUE(AppendHistory(path, r));
  const auto records = ReadHistory(path);
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].Database, r.Database);
  EXPECT_EQ(records[0].File, r.File);
  EXPECT_EQ(records[0].Leftover, r.Leftover);
  EXPECT_NE(ReadFileBytes(path).find("\"file\":\"" + dir / "\xEF\xBF\xBD"), std::string::npos);
  const auto facts = RecordedFacts(records, r.File);
  ASSERT_TRUE(facts);
  EXPECT_EQ(facts->Size, r.Size);
}

THistoryRecord WithCopy(THistoryRecord r, bool only) {
  r.Copy = "/copies/" + std::to_string(r.Lines) + ".gbk.zst";
  r.CopySize = r.Lines * 10;
  r.CopySha256 = std::string(64, 'c');
  if (only) r.File = r.Copy;
  return r;
}

TEST(JobHistory, LatestSuccessfulRecordOfAKindAndOfAFile) {
  const std::vector<THistoryRecord> records = {
      Sample(HistoryKindBackup, HistorySuccess, "/db/a.fdb", 1),
      Sample(HistoryKindBackup, HistorySuccess, "/db/b.fdb", 2),
      Sample(HistoryKindBackup, HistorySuccess, "/db/a.fdb", 3),
      Sample(HistoryKindBackup, HistoryFailure, "/db/a.fdb", 4),
      Sample(HistoryKindVerify, HistorySuccess, "/db/a.fdb", 5),
      WithCopy(Sample(HistoryKindBackup, HistorySuccess, "/db/a.fdb", 6), false),
      WithCopy(Sample(HistoryKindBackup, HistorySuccess, "/db/a.fdb", 7), true),
  };
  // Measured only against a job of the same copy shape.
  EXPECT_EQ(LastSuccessful(records, HistoryKindBackup, "/db/a.fdb")->Lines, 3u);
  EXPECT_EQ(LastSuccessful(records, HistoryKindBackup, "/db/a.fdb", TCopyShape::Beside)->Lines, 6u);
  EXPECT_EQ(LastSuccessful(records, HistoryKindBackup, "/db/a.fdb", TCopyShape::Only)->Lines, 7u);
  EXPECT_EQ(LastSuccessful(records, HistoryKindVerify, "/db/a.fdb")->Lines, 5u);
  EXPECT_FALSE(LastSuccessful(records, HistoryKindRestore, "/db/a.fdb").has_value());
  // The file by another spelling of the same path, as a backup file or as a
  // copy, with the size and checksum recorded for that file.
  EXPECT_EQ(RecordedFacts(records, "/db/./x/../b.fdb_07_12_26_14_00.gbk")->Size, 123456u);
  EXPECT_EQ(RecordedFacts(records, "/copies/6.gbk.zst")->Size, 60u);
  EXPECT_EQ(RecordedFacts(records, "/copies/7.gbk.zst")->Size, 123456u);  // "copy only": its file's facts
  EXPECT_EQ(RecordedFacts(records, "/copies/6.gbk.zst")->Sha256, std::string(64, 'c'));
  EXPECT_FALSE(RecordedFacts(records, "/db/c.fdb_07_12_26_14_00.gbk").has_value());
}

}  // namespace
