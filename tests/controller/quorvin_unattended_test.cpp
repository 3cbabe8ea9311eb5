// Plan backups nobody attends: no box and no question ever, the outcome with
// its reason in the operation log and in the report, and the next due backup
// on time after a failure.

#include <gtest/gtest.h>

#include "job_fixture.h"
#include "platform/files.h"
#include "runner/job_notices.h"

namespace {

using Strings = std::vector<std::string>;

// Monday 7 December 2026, 10:00:02.
const TDateTime TenOClock = EncodeDate(2026, 12, 7) + EncodeTime(10, 0, 2, 0);

class TRecordingNotices : public TNotices {
 public:
  TRecordingNotices() { SetNotices(this); }
  ~TRecordingNotices() override { SetNotices(nullptr); }
  void UnattendedJobEnded(const TJobReport& report) override { Reports.push_back(report); }
  std::vector<TJobReport> Reports;
};

class Unattended : public JobTest {
 protected:
  void SetUp() override {
    JobTest::SetUp();
    TQuorvin& q = StartWithStandIn();
    WriteFileBytes(Dir / "Shop.fdb", "LIVE");
    q.DataBase = Dir / "Shop.fdb";
    q.AutoBackName = false;
    TPlanRecord& p = q.PlanRecord;
    p.Day1Back = true;
    p.NightPeriodBack = 1;  // every 20 minutes, all day
  }

  // One plan tick at `moment`, as the timer gives it.
  void TickAt(TDateTime moment) {
    Clock.Set(moment);
    if (!Controller->Running) Controller->Execute();
    Controller->Timer->Tick();
  }

  // The events that would have needed someone: boxes and questions.
  Strings BoxesAndQuestions() const {
    Strings out;
    for (const std::string& e : Events.Events)
      if (e.rfind("box:", 0) == 0 || e.rfind("ask:", 0) == 0 || e.rfind("confirm:", 0) == 0) out.push_back(e);
    return out;
  }

  TRecordingNotices Notices;
};

// What a failing job says, the way the runner says it: a box, then the pane.
bool RefusedLogin(TSchedule&) {
  ShowJobMessage("Error: Your user name and password are not defined.");
  AddPaneLine("ERROR: Your user name and password are not defined.");
  return false;
}

}  // namespace

TEST_F(Unattended, AFailedPlanBackupWaitsForNobodyAndTheNextOneStartsOnTime) {
  TQuorvin& q = *Controller;
  Job = RefusedLogin;
  TickAt(TenOClock);
  ASSERT_EQ(Jobs.size(), 1u);
  EXPECT_EQ(BoxesAndQuestions(), Strings{});
  ASSERT_EQ(Notices.Reports.size(), 1u);
  const TJobReport& failed = Notices.Reports[0];
  EXPECT_FALSE(failed.Succeeded);
  EXPECT_EQ(failed.Reason, "Your user name and password are not defined.");
  EXPECT_EQ(failed.Database, q.DataBase);
  EXPECT_EQ(failed.Target, Dir / "Shop.fdb.gbk");
  EXPECT_EQ(failed.Ended, Clock.Now());
  EXPECT_FALSE(q.LastPlanBackup.Succeeded);
  EXPECT_EQ(q.LastPlanBackup.Reason, failed.Reason);
  EXPECT_TRUE(q.Timer->Enabled());
  EXPECT_FALSE(q.JobRunning());

  Job = [](TSchedule& job) {
    WriteFileBytes(job.JobFile(2), "gbk");
    return true;
  };
  TickAt(TenOClock + EncodeTime(0, 20, 0, 0));
  ASSERT_EQ(Jobs.size(), 2u);
  ASSERT_EQ(Notices.Reports.size(), 2u);
  EXPECT_TRUE(q.LastPlanBackup.Succeeded);
  EXPECT_EQ(q.LastPlanBackup.Reason, "");
  const std::string gbk = Dir / "Shop.fdb.gbk";
  EXPECT_EQ(LogAfterStart(),
            (Strings{"07.12.2026 в 10:00 Сервис запущен.", "07.12.2026 в 10:00 резервная копия. начало",
                     "07.12.2026 в 10:00 Резервная копия НЕ создана. " + gbk,
                     "07.12.2026 в 10:00 Причина: Your user name and password are not defined.", "---",
                     "07.12.2026 в 10:20 резервная копия. начало", "07.12.2026 в 10:20 Резервная копия создана. " + gbk,
                     "---"}));
}

TEST_F(Unattended, ReasonsAndWarningsOfPlanBackups) {
  struct TCase {
    const char* Name;
    bool NoDatabase;
    std::function<bool(TSchedule&)> Job;
    bool Succeeded;
    std::string Reason;
    Strings Warnings;
  };
  const TCase cases[] = {
      {"a job that reports success but leaves no file",
       false,
       [](TSchedule&) { return true; },
       false,
       "файл копии не найден на этом компьютере",
       {}},
      {"no database named", true, nullptr, false, "Файл не найден!", {}},
      {"made, but not brought back on line",
       false,
       [](TSchedule& job) {
         WriteFileBytes(job.JobFile(2), "gbk");
         ShowJobMessage("Error starting database");
         AddPaneLine("Error starting database");
         return true;
       },
       true,
       "",
       {"Error starting database"}},
  };
  TDateTime moment = TenOClock;
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TQuorvin& q = *Controller;
    q.DataBase = c.NoDatabase ? std::string() : Dir / "Shop.fdb";
    q.Pass.clear();  // the administrator's question is not asked of a plan
    Job = c.Job;
    Events.Events.clear();
    TickAt(moment);
    moment += EncodeTime(0, 20, 0, 0);
    EXPECT_EQ(BoxesAndQuestions(), Strings{});
    EXPECT_EQ(q.LastPlanBackup.Succeeded, c.Succeeded);
    EXPECT_EQ(q.LastPlanBackup.Reason, c.Reason);
    EXPECT_EQ(q.LastPlanBackup.Warnings, c.Warnings);
    const Strings log = LogAfterStart();
    const std::string expectedLast = c.Succeeded ? "Внимание: " + c.Warnings.front() : "Причина: " + c.Reason;
    ASSERT_GE(log.size(), 2u);
    EXPECT_NE(log[log.size() - 2].find(expectedLast), std::string::npos) << log[log.size() - 2];
    EXPECT_EQ(log.back(), "---");
    std::filesystem::remove(Dir / "Shop.fdb.gbk");
  }
}

TEST_F(Unattended, JobsStartedByTheUserKeepTheirBoxesAndQuestions) {
  TQuorvin& q = *Controller;
  q.Pass.clear();
  Job = RefusedLogin;
  EXPECT_FALSE(q.Backup());
  EXPECT_EQ(BoxesAndQuestions(), (Strings{AdminQuestion, "box:Error: Your user name and password are not defined.",
                                          "box:Errors were encountered during backup"}));
  EXPECT_TRUE(Notices.Reports.empty());
  EXPECT_EQ(q.LastPlanBackup.Ended, 0);
}
