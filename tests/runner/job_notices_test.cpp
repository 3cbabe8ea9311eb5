// The notices of a job: boxes while someone attends it, a collected reason
// while nobody does.

#include "runner/job_notices.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>

#include "recording_seams.h"

namespace {

using Lines = std::vector<std::string>;

// One step of a job's reporting: a box (notice) or a pane line.
struct TStep {
  bool Box;
  std::string Text;
};

struct TReasonCase {
  const char* Name;
  std::vector<TStep> Steps;
  std::string Reason;
  Lines Collected;
};

const std::string Refused = "Your user name and password are not defined.";

const TReasonCase ReasonCases[] = {
    {"nothing said", {{false, "gbak: writing data"}, {false, "Error stopping database"}}, "", {}},
    {"the runner's box and its pane line count once",
     {{true, "Error: " + Refused}, {false, "ERROR: " + Refused}, {true, "Errors were encountered during backup"}},
     Refused,
     {Refused, "Errors were encountered during backup"}},
    {"a refusal on the pane before the generic box",
     {{false, "ERROR: File name is longer than 80 characters"}, {true, "Errors were encountered during backup"}},
     "File name is longer than 80 characters",
     {"File name is longer than 80 characters", "Errors were encountered during backup"}},
    {"a failed shutdown keeps its own words",
     {{true, "Error shutting down database: lock time-out"}, {false, "Error shutting down database: lock time-out"}},
     "Error shutting down database: lock time-out",
     {"Error shutting down database: lock time-out"}},
    {"lines of a message become one",
     {{true, "Error: first line\r\nsecond line\n"}},
     "first line second line",
     {"first line second line"}},
    {"a controller's own check", {{true, "Файл не найден!"}}, "Файл не найден!", {"Файл не найден!"}},
};

}  // namespace

class JobNoticesReason : public ::testing::TestWithParam<TReasonCase> {};

TEST_P(JobNoticesReason, FirstErrorOfTheJob) {
  const TReasonCase& c = GetParam();
  TRecordingPrompts prompts;
  TRecordingPane pane;
  TUnattendedJob job;
  for (const TStep& step : c.Steps) {
    if (step.Box)
      ShowJobMessage(step.Text);
    else
      AddPaneLine(step.Text);
  }
  EXPECT_EQ(job.Reason(), c.Reason);
  EXPECT_EQ(job.Collected(), c.Collected);
  EXPECT_TRUE(prompts.Messages.empty()) << "a box was shown for a job nobody attends";
  // The pane still gets every line it would get.
  EXPECT_EQ(pane.Lines.size(), static_cast<std::size_t>(std::count_if(c.Steps.begin(), c.Steps.end(),
                                                                      [](const TStep& s) { return !s.Box; })));
}

INSTANTIATE_TEST_SUITE_P(Cases, JobNoticesReason, ::testing::ValuesIn(ReasonCases), [](const auto& info) {
  std::string name;
  for (char c : std::string(info.param.Name)) name += std::isalnum(c) ? c : '_';
  return name;
});

TEST(JobNotices, AttendedJobsShowBoxesAndAskTheirQuestions) {
  TRecordingPrompts prompts;
  ASSERT_FALSE(TUnattendedJob::Active());
  ShowJobMessage("Errors were encountered during backup");
  EXPECT_TRUE(AskJobYesNo("Continue anyway?", false));  // the recording prompts answer Yes
  EXPECT_EQ(prompts.Messages, (Lines{"Errors were encountered during backup", "Continue anyway?"}));
}

TEST(JobNotices, UnattendedQuestionsTakeTheGivenAnswerAndScopesNest) {
  TRecordingPrompts prompts;
  {
    TUnattendedJob outer;
    EXPECT_TRUE(TUnattendedJob::Active());
    EXPECT_FALSE(AskJobYesNo("Continue anyway?", false));
    EXPECT_TRUE(AskJobYesNo("Continue anyway?", true));
    {
      TUnattendedJob inner;
      ShowJobMessage("inner");
      EXPECT_EQ(inner.Collected(), Lines{"inner"});
    }
    ShowJobMessage("outer");
    EXPECT_EQ(outer.Collected(), Lines{"outer"});
  }
  EXPECT_FALSE(TUnattendedJob::Active());
  EXPECT_TRUE(prompts.Messages.empty());
  ShowJobMessage("attended again");
  EXPECT_EQ(prompts.Messages, Lines{"attended again"});
}
