// What a job nobody attends collects instead of showing boxes.

#include "runner/job_output.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "recording_seams.h"

using Lines = std::vector<std::string>;

TEST(JobOutput, UnattendedJobsCollectTheirErrorsInsteadOfBoxes) {
  // A leading '!' marks a box; other steps are pane lines.
  const std::pair<Lines, Lines> cases[] = {
      {{"gbak: writing data", "Error stopping database"}, {}},
      {{"!Error: refused", "ERROR: refused", "!Errors were encountered during backup"},
       {"refused", "Errors were encountered during backup"}},
      {{"ERROR: File name is too long", "!Error shutting down database: x"},
       {"File name is too long", "Error shutting down database: x"}},
      {{"!Error: first line\r\nsecond line\n"}, {"first line second line"}},
  };
  TRecordingSeams seams;
  for (const auto& [steps, collected] : cases) {
    TJobOutput job(&seams.Pane, &seams.Prompts, TAttendance::Unattended);
    for (const std::string& step : steps) step[0] == '!' ? job.ShowJobMessage(step.substr(1)) : job.AddPaneLine(step);
    EXPECT_EQ(job.Collected(), collected);
    EXPECT_FALSE(job.AskJobYesNo("Continue anyway?", false));
  }
  EXPECT_EQ(seams.Prompts.Messages, Lines{});
  // Attended: the box is shown, and the job's reason kept all the same.
  seams.Output.ShowJobMessage("Error: attended");
  EXPECT_EQ(seams.Prompts.Messages, Lines{"Error: attended"});
  EXPECT_EQ(seams.Output.Collected(), Lines{"attended"});
  EXPECT_EQ(seams.Output.ReasonSince(1), "");
}

namespace {

class TThrowingPane : public TLogPaneView {
 public:
  void Clear() override {}
  void AppendLine(const std::string&) override { throw std::runtime_error("pane gone"); }
};

}  // namespace

TEST(JobOutput, PaneLinesReachWatchersThenThePaneAndAFailingPaneStopsNothing) {
  TRecordingSeams seams;
  Lines watched;
  {
    TJobOutput::TWatcher watcher(seams.Output, [&](const std::string& line) { watched.push_back(line); });
    seams.Output.AddPaneLine("first");
    seams.Output.AddPaneLine("");
  }
  seams.Output.AddPaneLine("  indented");
  EXPECT_EQ(seams.Pane.Lines, (Lines{"first", " ", "  indented"}));
  EXPECT_EQ(watched, (Lines{"first", ""}));
  seams.Output.ClearPane();
  EXPECT_TRUE(seams.Pane.Lines.empty());
  EXPECT_EQ(seams.Pane.Clears, 1);

  TJobOutput nowhere;
  EXPECT_NO_THROW(nowhere.AddPaneLine("dropped"));
  EXPECT_NO_THROW(nowhere.ClearPane());
  EXPECT_TRUE(nowhere.AskJobYesNo("Continue anyway?", false));  // silent prompts answer Yes
  TThrowingPane failing;
  TJobOutput broken(&failing);
  EXPECT_NO_THROW(broken.AddPaneLine("lost"));
}
