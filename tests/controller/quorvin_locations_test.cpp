// The controller's files when its program folder takes none (installed
// system-wide): settings and logs in the XDG folders.
#include <sys/stat.h>

#include "controller_fixture.h"
#include "platform/files.h"
#include "platform/scoped_env.h"

namespace {

class InstalledController : public ControllerTest {
 protected:
  void SetUp() override {
    ControllerTest::SetUp();
    Env.Set("HOME", Home.Path);
    Env.Set("XDG_CONFIG_HOME", Home / "cfg");
    Env.Set("XDG_STATE_HOME", Home / "state");
  }
  // A folder under /usr counts as installed, whoever runs the test.
  TQuorvin& StartInstalled() {
    Controller = std::make_unique<TQuorvin>(TFrontEnd{}, "/usr/lib/quorvin-test-none/");
    return *Controller;
  }

  TTempFolder Home;
  TScopedEnv Env;
};

TEST_F(InstalledController, SettingsAndLogsGoToTheXdgFolders) {
  TQuorvin& q = StartInstalled();
  EXPECT_FALSE(q.Locations().Portable);
  EXPECT_EQ(q.ProgramDir(), "/usr/lib/quorvin-test-none/");
  EXPECT_EQ(q.IniPath(), Home / "cfg/Quorvin/Quorvin.INI");
  EXPECT_EQ(q.HistoryPath(), Home / "cfg/Quorvin/Quorvin.history.jsonl");
  EXPECT_EQ(q.Log().LogDir(), Home / "state/Quorvin/log");
  EXPECT_EQ(q.Log().LogFileName(), Home / "state/Quorvin/log/06_12_2026_12_15.log");
  EXPECT_EQ(ReadFileBytes(q.Log().LogFileName()), "06.12.2026 в 12:15 Начало работы\r\n");

  q.Settings().RememberPass = true;
  q.Settings().Pass = "secret";
  q.Settings().DataBase = "/data/shop.fdb";
  Close();
  struct stat st {};
  ASSERT_EQ(stat((Home / "cfg/Quorvin/Quorvin.INI").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_FALSE(FileExists("/usr/lib/quorvin-test-none/Quorvin.INI"));

  // The next run reads them back from there.
  TQuorvin& again = StartInstalled();
  EXPECT_EQ(again.Settings().DataBase, "/data/shop.fdb");
  EXPECT_EQ(again.Settings().Pass, "secret");
}

TEST_F(InstalledController, JobLogsAndTheLogFallbackStayInTheStateFolder) {
  ASSERT_TRUE(CreateDir(Home / "state") && CreateDir(Home / "state/Quorvin"));
  // A file named "log" leaves no room for the folder: the log goes one up.
  WriteFileBytes(Home / "state/Quorvin/log", "not a folder");
  TQuorvin& q = StartInstalled();
  EXPECT_EQ(q.Log().LogDir(), Home / "state/Quorvin/");
  EXPECT_EQ(ReadFileBytes(q.Log().LogFileName()), "06.12.2026 в 12:15 Начало работы\r\n");
  EXPECT_EQ(q.Jobs().Places().JobLogDir, Home / "state/Quorvin/");
}

}  // namespace
