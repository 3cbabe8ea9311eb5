// What a job nobody attends collects instead of showing boxes.

#include "runner/job_notices.h"

#include <gtest/gtest.h>

#include "recording_seams.h"

using Lines = std::vector<std::string>;

TEST(JobNotices, UnattendedJobsCollectTheirErrorsInsteadOfBoxes) {
  // A leading '!' marks a box; other steps are pane lines.
  const std::pair<Lines, Lines> cases[] = {
      {{"gbak: writing data", "Error stopping database"}, {}},
      {{"!Error: refused", "ERROR: refused", "!Errors were encountered during backup"},
       {"refused", "Errors were encountered during backup"}},
      {{"ERROR: File name is too long", "!Error shutting down database: x"},
       {"File name is too long", "Error shutting down database: x"}},
      {{"!Error: first line\r\nsecond line\n"}, {"first line second line"}},
  };
  TRecordingPrompts prompts;
  TRecordingPane pane;
  for (const auto& [steps, collected] : cases) {
    TUnattendedJob job;
    for (const std::string& step : steps) step[0] == '!' ? ShowJobMessage(step.substr(1)) : AddPaneLine(step);
    EXPECT_EQ(job.Collected(), collected);
    EXPECT_FALSE(AskJobYesNo("Continue anyway?", false));
  }
  EXPECT_EQ(prompts.Messages, Lines{});
  ShowJobMessage("attended");
  EXPECT_EQ(prompts.Messages, Lines{"attended"});
}
