// Plan backups nobody attends: never a box or a question, the reason of a
// failure in the operation log and in the report.

#include <gtest/gtest.h>

#include "controller/history/job_history.h"
#include "job_fixture.h"
#include "platform/files.h"
#include "runner/job_output.h"

namespace {

using Strings = std::vector<std::string>;

class Unattended : public JobTest {
 protected:
  void SetUp() override {
    JobTest::SetUp();
    TQuorvin& q = StartWithStandIn();
    q.Settings().AutoBackName = false;
    q.Settings().Pass.clear();  // the administrator's question is never asked of a plan
    q.Settings().PlanRecord.Day1Back = true;
    q.Settings().PlanRecord.NightPeriodBack = 1;  // every 20 minutes, all day
    WriteFileBytes(Dir / "Shop.fdb", "LIVE");
  }

  // Boxes and questions: what would have waited for someone.
  Strings Waiting() const {
    Strings out;
    for (const std::string& e : Events.Events)
      if (e.rfind("box:", 0) == 0 || e.rfind("ask:", 0) == 0) out.push_back(e);
    return out;
  }
};

bool RefusedLogin(TJobRunner& job) {
  job.Output->ShowJobMessage("Error: Your user name and password are not defined.");
  job.Output->AddPaneLine("ERROR: Your user name and password are not defined.");
  return false;
}

// A database the server does not have: the shutdown step finds nothing to
// shut down first, the server then says why.
bool MissingDatabase(TJobRunner& job) {
  job.Output->AddPaneLine("Error stopping database");
  job.Output->AddPaneLine("ERROR: I/O error during \"open\" operation for file \"/srv/gone.fdb\"");
  return false;
}

bool MadeButNotOnLine(TJobRunner& job) {
  WriteFileBytes(TargetOf(job.Job()).Get(), "gbk");
  job.Output->ShowJobMessage("Error starting database");
  return true;
}

}  // namespace

TEST_F(Unattended, PlanBackupsReportWithoutWaiting) {
  struct TCase {
    bool (*Job)(TJobRunner&);
    bool NoDatabase;
    std::string LogLine;  // the line before "---"
    bool Succeeded;
  };
  const TCase cases[] = {
      {RefusedLogin, false, "Причина: Your user name and password are not defined.", false},
      {MissingDatabase, false, "Причина: I/O error during \"open\" operation for file \"/srv/gone.fdb\"", false},
      {[](TJobRunner&) { return true; }, false, "Причина: файл копии не найден на этом компьютере", false},
      {nullptr, true, "Причина: Файл не найден!", false},
      {MadeButNotOnLine, false, "Внимание: Error starting database", true},
  };
  TQuorvin& q = *Controller;
  q.Execute();
  TDateTime moment = EncodeDate(2026, 12, 7) + EncodeTime(10, 0, 2, 0);  // a Monday
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.LogLine);
    q.Settings().DataBase = c.NoDatabase ? std::string() : Dir / "Shop.fdb";
    Job = c.Job;
    Clock.Set(moment);
    moment += EncodeTime(0, 20, 0, 0);
    Tick();
    EXPECT_EQ(Waiting(), Strings{});
    ASSERT_FALSE(Reports.Reports.empty());
    EXPECT_EQ(Reports.Reports.back().Succeeded, c.Succeeded);
    EXPECT_EQ(Reports.Reports.back().Ended, Clock.Now());
    EXPECT_EQ(q.Plan().LastPlanBackup().Reason, Reports.Reports.back().Reason);
    // One reason everywhere: the history says what the report and the log say.
    if (!c.NoDatabase && !c.Succeeded) {
      EXPECT_EQ("Причина: " + ReadHistory(q.HistoryPath()).back().Reason, c.LogLine);
    }
    const Strings log = LogAfterStart();
    EXPECT_EQ(log[log.size() - 2], FormatDateTime("dd.mm.yyyy в hh:nn ", Clock.Now()) + c.LogLine);
    EXPECT_EQ(log.back(), "---");
    std::filesystem::remove(Dir / "Shop.fdb.gbk");
  }
  EXPECT_EQ(Reports.Reports.size(), 5u);
  EXPECT_TRUE(q.Timer().Enabled());
}
