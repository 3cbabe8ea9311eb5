#include <sys/stat.h>

#include "controller_fixture.h"
#include "platform/files.h"
#include "platform/profile_file.h"

namespace {

using OperationLog = ControllerTest;

const std::string FirstLine = "06.12.2026 в 12:15 Начало работы\r\n";

TEST_F(OperationLog, FirstLineInTheLogFolderNamedAfterTheStartMinute) {
  TQuorvin& q = Start();
  EXPECT_EQ(q.Log().LogDir(), Dir / "log");
  EXPECT_EQ(q.Log().LogFileName(), Dir / "log/06_12_2026_12_15.log");
  EXPECT_EQ(ReadFileBytes(q.Log().LogFileName()), FirstLine);
  EXPECT_EQ(q.Log().LogStamp(), "06.12.2026 в 12:15");
}

TEST_F(OperationLog, ExecuteAndStopWriteTheirLinesAndDriveTheTimer) {
  TQuorvin& q = Start();
  EXPECT_FALSE(q.Timer().Enabled());
  EXPECT_EQ(q.Timer().Interval(), 5000);
  // Stop on a plan that is not running still writes its line.
  q.Stop();
  Clock.Set(EncodeDate(2026, 12, 6) + EncodeTime(13, 2, 0, 0));
  q.Execute();
  EXPECT_TRUE(q.Timer().Enabled());
  EXPECT_TRUE(q.Plan().Running());
  q.Log().SaveStrToLog("---");
  q.Stop();
  EXPECT_FALSE(q.Timer().Enabled());
  EXPECT_FALSE(q.Plan().Running());
  EXPECT_EQ(ReadFileBytes(q.Log().LogFileName()), FirstLine +
                                                      "06.12.2026 в 12:15 Сервис остановлен.\r\n"
                                                      "06.12.2026 в 13:02 Сервис запущен.\r\n"
                                                      "---\r\n"
                                                      "06.12.2026 в 13:02 Сервис остановлен.\r\n");
}

// A second start in the same minute (a hand job beside the service, a quick
// restart) shares the file and adds its lines after the first run's, which
// is still writing: nothing either wrote is lost.
TEST_F(OperationLog, TwoStartsWithinOneMinuteShareOneFileAndKeepEveryLine) {
  TQuorvin& first = Start();
  first.Log().SaveStrToLog("from the first run");
  Clock.Set(EncodeDate(2026, 12, 6) + EncodeTime(12, 15, 59, 0));
  TQuorvin second(TFrontEnd{nullptr, &Prompts}, Dir.Path);
  EXPECT_EQ(second.Log().LogFileName(), Dir / "log/06_12_2026_12_15.log");
  first.Log().SaveStrToLog("the first run goes on");
  second.Log().SaveStrToLog("from the second run");
  EXPECT_EQ(ReadFileBytes(second.Log().LogFileName()), FirstLine + "from the first run\r\n" + FirstLine +
                                                           "the first run goes on\r\n"
                                                           "from the second run\r\n");
  Close();
  Clock.Set(EncodeDate(2026, 12, 6) + EncodeTime(12, 16, 0, 0));
  EXPECT_EQ(Start().Log().LogFileName(), Dir / "log/06_12_2026_12_16.log");
  EXPECT_EQ(Lines(ReadFileBytes(Dir / "log/06_12_2026_12_15.log")).size(), 5u);
}

TEST_F(OperationLog, NoLogFolderPossibleMeansLogBesideTheExecutable) {
  // A file named "log" leaves no room for the folder.
  WriteFileBytes(Dir / "log", "not a folder");
  TQuorvin& q = Start();
  EXPECT_EQ(q.Log().LogDir(), Dir.Path);
  EXPECT_EQ(q.Log().LogFileName(), Dir.Path + "/06_12_2026_12_15.log");
  EXPECT_EQ(ReadFileBytes(Dir / "06_12_2026_12_15.log"), FirstLine);
  EXPECT_EQ(ReadFileBytes(Dir / "log"), "not a folder");
}

TEST_F(OperationLog, ALogDeletedByHandIsNotRecreated) {
  TQuorvin& q = Start();
  ASSERT_TRUE(DeleteFile(q.Log().LogFileName()));
  q.Log().SaveStrToLog("lost");
  q.Execute();
  EXPECT_FALSE(FileExists(q.Log().LogFileName()));
  EXPECT_TRUE(q.Plan().Running());
}

TEST_F(OperationLog, LogFileThatCannotBeCreatedInTheFolderGoesBesideTheExecutable) {
  ASSERT_EQ(mkdir((Dir / "log").c_str(), 0700), 0);
  ASSERT_EQ(mkdir((Dir / "log/06_12_2026_12_15.log").c_str(), 0700), 0);
  TQuorvin& q = Start();
  EXPECT_EQ(q.Log().LogDir(), Dir.Path);
  EXPECT_EQ(ReadFileBytes(q.Log().LogFileName()), FirstLine);
}

TEST_F(OperationLog, NoPlaceForTheLogStillBuildsTheControllerFromItsSettings) {
  SetIni("[Main]\nUser=bob\n[Parameters]\nRememberPass=1\nProtocol=3\n[BDNames]\nName0=/a.fdb\n");
  ASSERT_EQ(mkdir((Dir / "log").c_str(), 0700), 0);
  ASSERT_EQ(mkdir((Dir / "log/06_12_2026_12_15.log").c_str(), 0700), 0);
  ASSERT_EQ(mkdir((Dir / "06_12_2026_12_15.log").c_str(), 0700), 0);
  TQuorvin& q = Start();
  EXPECT_EQ(q.Log().LogFileName(), "");
  // Fully built: settings read, timer in place; lines are dropped silently.
  EXPECT_EQ(q.Settings().User, "bob");
  EXPECT_EQ(q.Settings().Protocol, 3);
  q.Execute();
  q.Stop();
  EXPECT_TRUE(Prompts.Messages.empty());
  Close();
  TIniFile ini(IniPath());
  EXPECT_EQ(ini.ReadString("Main", "User", ""), "bob");
  EXPECT_EQ(ini.ReadString("BDNames", "Name0", ""), "/a.fdb");
}

class CountingTimer : public TPlanTimer {
 public:
  explicit CountingTimer(int* enables) : FEnables(enables) {}
  void SetEnabled(bool enabled) override {
    if (enabled) ++*FEnables;
    TPlanTimer::SetEnabled(enabled);
  }

 private:
  int* FEnables;
};

TEST_F(OperationLog, InstalledTimerFactoryMakesThePlanTimer) {
  int enables = 0;
  SetPlanTimerFactory([&enables] { return std::make_unique<CountingTimer>(&enables); });
  TQuorvin& q = Start();
  SetPlanTimerFactory(nullptr);
  EXPECT_NE(dynamic_cast<CountingTimer*>(&q.Timer()), nullptr);
  EXPECT_EQ(enables, 0);
  q.Execute();
  EXPECT_EQ(enables, 1);
  q.Timer().Tick();  // the tick reaches the controller's handler without harm
  EXPECT_EQ(q.Timer().Interval(), 5000);
}

}  // namespace
