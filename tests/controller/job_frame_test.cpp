// The frame of a job on its own: what it leaves when it goes, and how it ends
// a job in the operation log and the history.

#include "controller/jobs/frame/job_frame.h"

#include <gtest/gtest.h>

#include "controller/history/job_history.h"
#include "controller/log/operation_log.h"
#include "platform/files.h"
#include "platform/temp_folder.h"
#include "runner/job_output.h"

namespace {

struct TFramePlaces {
  TTempFolder Dir;
  TOperationLog Log{Dir.Path};
  TDatabaseJobs Jobs{Log, {Dir / "history.jsonl", Dir / "Quorvin.job", Dir.Path, Dir / "Quorvin.ini"}};
  TJobOutput Output;
};

TJobRecord RestoreRecord(const std::string& target) {
  TJobRecord record;
  record.Kind = TJobRecord::Restore;
  record.Database = record.Target = target;
  return record;
}

}  // namespace

TEST(JobFrame, AFrameGoneBeforeItsEndPutsTheEarlierFileBackAndFreesTheJobs) {
  TFramePlaces at;
  const std::string target = at.Dir / "db.fdb";
  WriteFileBytes(target, "the database as it was");
  {
    TJobFrame frame(at.Jobs, at.Output);
    EXPECT_TRUE(at.Jobs.JobRunning());
    frame.Name({TJobKind::Restore, target});
    frame.Begin({HistoryKindRestore, TJobBy::User, target, at.Dir / "db.fbk"});
    frame.Follow({TJobPhase::Restore});
    EXPECT_TRUE(at.Jobs.JobProgress().has_value());
    frame.Keep(RestoreRecord(target));
    TReplacedFile& previous = frame.Replace(target);
    frame.RecordFile().Save();
    previous.MoveAside();
    ASSERT_FALSE(FileExists(target));
    // The record tells recovery where the earlier database is kept.
    EXPECT_NE(ReadFileBytes(at.Dir / "Quorvin.job").find(previous.Aside()), std::string::npos);
  }
  EXPECT_EQ(ReadFileBytes(target), "the database as it was");
  EXPECT_FALSE(FileExists(at.Dir / "Quorvin.job"));
  EXPECT_FALSE(at.Jobs.JobRunning());
  EXPECT_FALSE(at.Jobs.RunningJob().Kind.has_value());
  EXPECT_FALSE(at.Jobs.JobProgress().has_value());
  // A job that never ended has no history record.
  EXPECT_TRUE(ReadHistory(at.Dir / "history.jsonl").empty());
}

TEST(JobFrame, ItsEndWritesTheReasonOfAFailureOnly) {
  struct TCase {
    bool Succeeded;
    std::string Reason;
    const char* Outcome;
  };
  for (const TCase& c : {TCase{false, "the server said no", HistoryFailure}, TCase{true, "", HistorySuccess}}) {
    TFramePlaces at;
    {
      TJobFrame frame(at.Jobs, at.Output);
      frame.Begin({HistoryKindRestore, TJobBy::Plan, at.Dir / "db.fdb", at.Dir / "db.fbk"});
      frame.Follow({TJobPhase::Restore});
      frame.LogOutcome(c.Succeeded, "Резервная копия восстановлена. ", "Резервная копия НЕ восстановлена. ",
                       at.Dir / "db.fdb");
      frame.Finish(c.Succeeded, c.Reason);
    }
    const std::string log = ReadFileBytes(at.Log.LogFileName());
    const std::string done = c.Succeeded ? " Резервная копия восстановлена. " : " Резервная копия НЕ восстановлена. ";
    EXPECT_NE(log.find(done + at.Dir / "db.fdb" + "\r\n"), std::string::npos) << log;
    EXPECT_EQ(log.find(" Причина: ") != std::string::npos, !c.Succeeded) << log;
    EXPECT_EQ(log.find(" Причина: " + c.Reason + "\r\n") != std::string::npos, !c.Succeeded) << log;
    const std::vector<THistoryRecord> history = ReadHistory(at.Dir / "history.jsonl");
    ASSERT_EQ(history.size(), 1u);
    EXPECT_EQ(history[0].Outcome, c.Outcome);
    EXPECT_EQ(history[0].Reason, c.Reason);
    EXPECT_EQ(history[0].By, HistoryByPlan);
    EXPECT_FALSE(history[0].CopySeconds.has_value());
  }
}
