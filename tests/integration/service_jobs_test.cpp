// The service classes against the real Firebird 3.0: the embedded engine
// (protocol Local, no server) and the server on 127.0.0.1 (protocol TCP).

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "integration/fb_fixture.h"
#include "service/ib_services.h"

namespace {

namespace fs = std::filesystem;

std::string ProtocolName(TProtocol p) { return p == TProtocol::Local ? "Local" : "TCP"; }

class ServiceJobsTest : public ::testing::TestWithParam<TProtocol> {
 protected:
  void SetUp() override {
    database_ = dir_.File("source.fdb");
    fbtest::CreateDatabase(database_);
  }

  template <typename T>
  void Connect(T& service, const std::string& password = fbtest::SysdbaPassword()) {
    service.SetProtocol(GetParam());
    if (GetParam() == TProtocol::TCP) service.SetServerName(fbtest::kServerHost);
    service.Params().Add("User_Name=SYSDBA");
    service.Params().Add("Password=" + password);
    service.LoginPrompt = false;
  }

  static std::vector<std::string> ReadToEnd(TIBControlAndQueryService& service) {
    std::vector<std::string> lines;
    while (!service.OutputEnded()) lines.push_back(service.NextOutputLine());
    return lines;
  }

  std::vector<std::string> Backup(const std::string& target, TBackupOptions options = {}) {
    TIBBackupService backup;
    Connect(backup);
    backup.DatabaseName = database_;
    backup.BackupFile.Add(target);
    backup.Options = options;
    backup.Verbose = true;
    backup.SetActive(true);
    backup.ServiceStart();
    auto lines = ReadToEnd(backup);
    backup.SetActive(false);
    return lines;
  }

  std::vector<std::string> Restore(const std::string& source, const std::string& target, TRestoreOptions options) {
    TIBRestoreService restore;
    Connect(restore);
    restore.BackupFile.Add(source);
    restore.DatabaseName.Add(target);
    restore.Options = options;
    restore.Verbose = true;
    restore.SetActive(true);
    restore.ServiceStart();
    auto lines = ReadToEnd(restore);
    restore.SetActive(false);
    return lines;
  }

  void ExpectStandardRows(const std::string& db) {
    EXPECT_EQ(fbtest::RowCount(db, "T_CUSTOMERS"), fbtest::kCustomers);
    EXPECT_EQ(fbtest::RowCount(db, "T_ORDERS"), fbtest::kOrders);
    EXPECT_EQ(fbtest::RowCount(db, "T_NOTES"), fbtest::kNotes);
  }

  fbtest::TempFolder dir_;
  std::string database_;
};

TEST_P(ServiceJobsTest, VerboseBackupReadToTheEndThenRestoreIntoNewFile) {
  const std::string gbk = dir_.File("source.gbk");
  const auto lines = Backup(gbk);
  ASSERT_GT(lines.size(), 10u);
  EXPECT_EQ(lines.back(), "");
  for (size_t i = 0; i + 1 < lines.size(); ++i) EXPECT_FALSE(lines[i].empty()) << "line " << i;
  bool sawTable = false;
  for (const auto& line : lines) sawTable = sawTable || line.find("T_ORDERS") != std::string::npos;
  EXPECT_TRUE(sawTable);
  ASSERT_TRUE(fs::exists(gbk));
  EXPECT_GT(fs::file_size(gbk), 100000u);

  const std::string restored = dir_.File("restored.fdb");
  const auto restoreLines = Restore(gbk, restored, {TRestoreOption::CreateNewDB});
  EXPECT_GT(restoreLines.size(), 10u);
  EXPECT_EQ(restoreLines.back(), "");
  ExpectStandardRows(restored);
}

TEST_P(ServiceJobsTest, RestoreOverExistingFileNeedsReplace) {
  const std::string gbk = dir_.File("source.gbk");
  Backup(gbk);
  const std::string existing = dir_.File("existing.fdb");
  fbtest::CreateDatabase(existing, 2);
  try {
    Restore(gbk, existing, {TRestoreOption::CreateNewDB});
    ADD_FAILURE() << "restore over an existing file without Replace must fail";
  } catch (const EIBInterBaseError& e) {
    EXPECT_NE(e.Message.find("already exists"), std::string::npos) << e.Message;
  }
  // The existing database is untouched.
  EXPECT_EQ(fbtest::RowCount(existing, "T_ORDERS"), 2 * fbtest::kOrders);
  Restore(gbk, existing, {TRestoreOption::CreateNewDB, TRestoreOption::Replace});
  ExpectStandardRows(existing);
}

TEST_P(ServiceJobsTest, MetadataOnlyBackupRestoresWithoutRows) {
  const std::string gbk = dir_.File("meta.gbk");
  Backup(gbk, {TBackupOption::MetadataOnly});
  const std::string restored = dir_.File("meta.fdb");
  Restore(gbk, restored, {TRestoreOption::CreateNewDB});
  EXPECT_EQ(fbtest::RowCount(restored, "T_CUSTOMERS"), 0);
  EXPECT_EQ(fbtest::RowCount(restored, "T_ORDERS"), 0);
  EXPECT_EQ(fbtest::RowCount(restored, "T_NOTES"), 0);
}

TEST_P(ServiceJobsTest, Validation) {
  TIBValidationService validation;
  Connect(validation);
  validation.DatabaseName = database_;
  validation.Options = {TValidateOption::ValidateDB, TValidateOption::ValidateFull};
  validation.SetActive(true);
  validation.ServiceStart();
  const auto lines = ReadToEnd(validation);
  validation.SetActive(false);
  EXPECT_EQ(lines.back(), "");
  EXPECT_TRUE(validation.OutputEnded());
  ExpectStandardRows(database_);
}

TEST_P(ServiceJobsTest, ForcedShutdownThenOnline) {
  ASSERT_FALSE(fbtest::IsShutdown(database_));
  {
    TIBConfigService config;
    Connect(config);
    config.DatabaseName = database_;
    config.SetActive(true);
    config.RequestShutdown(ShutdownMode::ShutdownForced, 10);
    config.SetActive(false);
  }
  EXPECT_TRUE(fbtest::IsShutdown(database_)) << fbtest::HeaderAttributes(database_);
  {
    TIBConfigService config;
    Connect(config);
    config.DatabaseName = database_;
    config.SetActive(true);
    config.RequestOnline();
    config.SetActive(false);
  }
  EXPECT_FALSE(fbtest::IsShutdown(database_)) << fbtest::HeaderAttributes(database_);
  ExpectStandardRows(database_);
}

TEST_P(ServiceJobsTest, MissingDatabaseGivesTheServersTextAndLeavesInactive) {
  TIBBackupService backup;
  Connect(backup);
  backup.DatabaseName = dir_.File("missing.fdb");
  backup.BackupFile.Add(dir_.File("missing.gbk"));
  backup.Verbose = true;
  backup.SetActive(true);
  try {
    backup.ServiceStart();
    ReadToEnd(backup);
    ADD_FAILURE() << "backup of a missing database must fail";
  } catch (const EIBInterBaseError& e) {
    EXPECT_NE(e.Message.find("missing.fdb"), std::string::npos) << e.Message;
    EXPECT_NE(e.LibraryErrorCode, 0);
  }
  EXPECT_FALSE(backup.Active());
  EXPECT_FALSE(fs::exists(dir_.File("missing.fdb")));
}

TEST_P(ServiceJobsTest, ShutdownOfMissingDatabaseFails) {
  TIBConfigService config;
  Connect(config);
  config.DatabaseName = dir_.File("missing.fdb");
  config.SetActive(true);
  EXPECT_THROW(config.RequestShutdown(ShutdownMode::ShutdownForced, 10), EIBInterBaseError);
  EXPECT_FALSE(config.Active());
}

// Jobs run on a thread of their own, not the one that loaded the library.
TEST_P(ServiceJobsTest, BackupOnTheJobsThread) {
  const std::string gbk = dir_.File("threaded.gbk");
  std::vector<std::string> lines;
  std::thread job([&] { lines = Backup(gbk); });
  job.join();
  EXPECT_FALSE(lines.empty());
  EXPECT_TRUE(fs::exists(gbk));
}

INSTANTIATE_TEST_SUITE_P(Protocols, ServiceJobsTest, ::testing::Values(TProtocol::Local, TProtocol::TCP),
                         [](const auto& info) { return ProtocolName(info.param); });

// The library unloads an embedded engine that stood idle for a minute and
// loads it again at the next Local job: that job works like the first.
using ServiceIdleTest = ServiceJobsTest;
TEST_P(ServiceIdleTest, ALocalJobAfterTheEngineStoodIdleForMinutes) {
  Backup(dir_.File("first.gbk"));
  ASSERT_TRUE(fs::exists(dir_.File("first.gbk")));
  std::this_thread::sleep_for(std::chrono::seconds(75));
  Backup(dir_.File("second.gbk"));
  EXPECT_TRUE(fs::exists(dir_.File("second.gbk")));
}
INSTANTIATE_TEST_SUITE_P(Local, ServiceIdleTest, ::testing::Values(TProtocol::Local),
                         [](const auto& info) { return ProtocolName(info.param); });

TEST(ServiceServerTest, WrongPasswordOverTcp) {
  TIBBackupService backup;
  backup.SetProtocol(TProtocol::TCP);
  backup.SetServerName(fbtest::kServerHost);
  backup.Params().Add("User_Name=SYSDBA");
  backup.Params().Add("Password=not-the-password");
  backup.LoginPrompt = false;
  try {
    backup.SetActive(true);
    ADD_FAILURE() << "attach with a wrong password must fail";
  } catch (const EIBInterBaseError& e) {
    EXPECT_NE(e.Message.find("user name and password are not defined"), std::string::npos) << e.Message;
    EXPECT_NE(e.Message.back(), '.');
    EXPECT_EQ(e.LibraryErrorCode, 335544472);  // isc_login
  }
  EXPECT_FALSE(backup.Active());
}

TEST(ServiceServerTest, UnknownHostOverTcp) {
  TIBBackupService backup;
  backup.SetProtocol(TProtocol::TCP);
  backup.SetServerName("127.0.0.1/1");  // nothing listens on port 1
  backup.Params().Add("User_Name=SYSDBA");
  backup.Params().Add("Password=x");
  backup.LoginPrompt = false;
  EXPECT_THROW(backup.SetActive(true), EIBInterBaseError);
  EXPECT_FALSE(backup.Active());
}

// A process that ends right after a Local job must end cleanly: the embedded
// engine's own exit once crashed it now and then (about one run in five), when
// the engine was unloaded under a thread of its own that was still running.
TEST(ServiceExitTest, ProcessEndingRightAfterALocalJobEndsCleanly) {
  fbtest::TempFolder dir{"quorvin-exit"};
  const std::string database = dir.File("exit.fdb");
  fbtest::CreateDatabase(database);
  const std::string backup = dir.File("exit.gbk");
  for (int run = 1; run <= 15; ++run) {
    int code = -1;
    const std::string output = fbtest::RunCommand(fbtest::ShellQuote(QUORVIN_SERVICE_EXIT_PROBE) + " " +
                                                      fbtest::ShellQuote(database) + " " + fbtest::ShellQuote(backup),
                                                  &code);
    ASSERT_EQ(code, 0) << "run " << run << ": " << output;
    ASSERT_TRUE(fs::exists(backup));
    fs::remove(backup);
  }
}

}  // namespace
