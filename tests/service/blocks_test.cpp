// Byte-exact attach and start blocks, as the stand-in library receives them.

#include "service_test_support.h"

namespace {

class BlocksTest : public FakeClientTest {
 protected:
  // Runs the request on an attached service; returns the start block sent.
  template <typename T>
  std::string Started(T& service) {
    Prepare(service);
    service.SetActive(true);
    service.ServiceStart();
    service.SetActive(false);
    const auto blocks = fake.StartBlocks();
    EXPECT_EQ(blocks.size(), 1u);
    return blocks.empty() ? std::string() : blocks.back();
  }
};

TEST_F(BlocksTest, AttachBlockForUserAndPassword) {
  const std::string expected = Bytes({2, 2, 28, 6}) + "SYSDBA" + Bytes({29, 9}) + "masterkey";
  const std::vector<std::vector<std::string>> spellings = {
      {"User_Name=SYSDBA", "Password=masterkey"},
      {"isc_spb_user_name=SYSDBA", "PASSWORD=masterkey"},
      {"no equals sign here", "User_Name=SYSDBA", "  =ignored", "Password=masterkey"},
  };
  for (const auto& lines : spellings) {
    TStringList params;
    params.Assign(lines);
    const std::string block = TIBCustomService::BuildAttachBlock(params);
    EXPECT_EQ(block, expected);
    EXPECT_EQ(block.size(), 21u);
  }
  TStringList withEquals{"password=a=b=c"};
  EXPECT_EQ(TIBCustomService::BuildAttachBlock(withEquals), Bytes({2, 2, 29, 5}) + "a=b=c");
  EXPECT_EQ(TIBCustomService::BuildAttachBlock(TStringList{}), Bytes({2, 2}));
  EXPECT_EQ(TIBCustomService::BuildAttachBlock(TStringList{"Password="}), Bytes({2, 2, 29, 0}));
}

TEST_F(BlocksTest, AttachBlockRefusals) {
  const std::pair<std::string, int> cases[] = {
      {"verbose=1", 88},   {"isc_spb_db_name=x", 88}, {"sql_role_name=r", 88},
      {"user=SYSDBA", 89}, {" user_name=SYSDBA", 89}, {"user_name=" + std::string(256, 'u'), 98},
  };
  for (const auto& [line, number] : cases) {
    auto e = Catch<EIBClientError>([&] { TIBCustomService::BuildAttachBlock(TStringList{line}); });
    EXPECT_EQ(e.SqlErrorCode, number) << line;
  }
  EXPECT_EQ(TIBCustomService::BuildAttachBlock(TStringList{"user_name=" + std::string(255, 'u')}).size(), 259u);
}

TEST_F(BlocksTest, FailedAttachBlockIsNeverSentStale) {
  TIBBackupService service;
  Prepare(service);
  service.Params().Add("verbose=1");
  EXPECT_THROW(service.SetActive(true), EIBClientError);
  EXPECT_THROW(service.SetActive(true), EIBClientError);  // rebuilt, fails again
  service.Params().Delete(2);
  service.SetActive(true);
  ASSERT_EQ(fake.AttachBlocks().size(), 1u);
  EXPECT_EQ(fake.AttachBlocks()[0], Bytes({2, 2, 28, 6}) + "SYSDBA" + Bytes({29, 9}) + "masterkey");
}

TEST_F(BlocksTest, VerboseBackupWorkedExample) {
  TIBBackupService service;
  service.DatabaseName = "/data/db.fdb";
  service.BackupFile.Add("/data/db.gbk");
  service.Verbose = true;
  EXPECT_EQ(Started(service), Bytes({1}) + TextItem(106, "/data/db.fdb") + NumberItem(108, 0) + Bytes({107}) +
                                  TextItem(5, "/data/db.gbk"));
  EXPECT_EQ(service.RequestAction(), 1);
}

TEST_F(BlocksTest, BackupWithEverything) {
  TIBBackupService service;
  service.DatabaseName = "db";
  service.SQLRole = "ADMIN";
  service.Options = {TBackupOption::IgnoreLimbo, TBackupOption::MetadataOnly};
  service.BlockingFactor = 4;
  service.BackupFile.Assign({"part1.gbk=2048", "  ", "", "part2.gbk", "\t", "part3.gbk= -1 "});
  EXPECT_EQ(Started(service), Bytes({1}) + TextItem(106, "db") + TextItem(60, "ADMIN") + NumberItem(108, 6) +
                                  NumberItem(6, 4) + TextItem(5, "part1.gbk") + NumberItem(7, 2048) +
                                  TextItem(5, "part2.gbk") + TextItem(5, "part3.gbk") + NumberItem(7, 0xFFFFFFFFu));
}

TEST_F(BlocksTest, OptionValues) {
  TBackupOptions all;
  for (int m = 0; m < 7; ++m) all.Include(static_cast<TBackupOption>(m));
  EXPECT_EQ(BackupOptionsValue(all), 0x7Fu);
  EXPECT_EQ(BackupOptionsValue({TBackupOption::IgnoreLimbo, TBackupOption::MetadataOnly}), 6u);
  TIBRestoreService restore;
  EXPECT_EQ(RestoreOptionsValue(restore.Options), 0x2000u);
  restore.Options.Include(TRestoreOption::Replace);
  EXPECT_EQ(RestoreOptionsValue(restore.Options), 0x3000u);
}

TEST_F(BlocksTest, FileListLengthMustBeDecimal) {
  for (const std::string bad : {"x.gbk=abc", "x.gbk=", "x.gbk=12k", "x.gbk=0x10", "x.gbk=99999999999", "x.gbk=b=5"}) {
    fake.Reset();
    TIBBackupService service;
    Prepare(service);
    service.DatabaseName = "db";
    service.BackupFile.Add(bad);
    service.SetActive(true);
    try {
      service.ServiceStart();
      ADD_FAILURE() << bad;
    } catch (const EConvertError& e) {
      EXPECT_EQ(e.Message, "'" + bad.substr(6) + "' is not a valid integer value");
    }
    EXPECT_TRUE(service.StartRequest.empty()) << "half-built block kept";
    EXPECT_TRUE(fake.StartBlocks().empty()) << "malformed block sent";
    EXPECT_THROW(service.SendStart(), EIBClientError);
    service.SetActive(false);
  }
}

TEST_F(BlocksTest, RestoreBlocks) {
  {
    TIBRestoreService service;
    service.BackupFile.Add("/b/x.gbk");
    service.DatabaseName.Add("/d/x.fdb");
    EXPECT_EQ(Started(service),
              Bytes({2}) + NumberItem(108, 0x2000) + TextItem(5, "/b/x.gbk") + TextItem(106, "/d/x.fdb"));
  }
  fake.Reset();
  {
    TIBRestoreService service;
    service.Options.Include(TRestoreOption::Replace);
    service.Verbose = true;
    service.SQLRole = "R";
    service.PageSize = 8192;
    service.PageBuffers = 2048;
    service.BackupFile.Assign({"a.gbk=100", "b.gbk"});
    service.DatabaseName.Assign({"one.fdb=5000", "two.fdb"});
    EXPECT_EQ(Started(service), Bytes({2}) + TextItem(60, "R") + NumberItem(108, 0x3000) + Bytes({107}) +
                                    NumberItem(10, 8192) + NumberItem(9, 2048) + TextItem(5, "a.gbk") +
                                    NumberItem(7, 100) + TextItem(5, "b.gbk") + TextItem(106, "one.fdb") +
                                    NumberItem(11, 5000) + TextItem(106, "two.fdb"));
    EXPECT_EQ(service.RequestAction(), 2);
  }
  fake.Reset();
  {
    // Without files the request still goes to the server, which decides.
    TIBRestoreService service;
    EXPECT_EQ(Started(service), Bytes({2}) + NumberItem(108, 0x2000));
  }
}

TEST_F(BlocksTest, RepairBlocks) {
  const std::pair<TValidateOptions, std::string> cases[] = {
      {{TValidateOption::ValidateFull}, NumberItem(108, 0x80)},
      {{TValidateOption::SweepDB, TValidateOption::MendDB}, NumberItem(108, 0x02) + NumberItem(108, 0x04)},
      {{}, ""},
      {{TValidateOption::ValidateDB, TValidateOption::SweepDB, TValidateOption::CheckDB,
        TValidateOption::LimboTransactions, TValidateOption::IgnoreChecksum, TValidateOption::KillShadows},
       NumberItem(108, 0x03) + NumberItem(108, 0x78)},
  };
  for (const auto& [options, items] : cases) {
    fake.Reset();
    TIBValidationService service;
    service.DatabaseName = "v.fdb";
    service.Options = options;
    EXPECT_EQ(Started(service), Bytes({3}) + TextItem(106, "v.fdb") + items);
    EXPECT_EQ(service.RequestAction(), 3);
  }
}

TEST_F(BlocksTest, MissingDatabaseNameIsRefusedBeforeSending) {
  TIBBackupService backup;
  Prepare(backup);
  backup.BackupFile.Add("x.gbk");
  backup.SetActive(true);
  EXPECT_EQ(Catch<EIBClientError>([&] { backup.ServiceStart(); }).SqlErrorCode, 94);
  EXPECT_EQ(backup.RequestAction(), 0);
  TIBValidationService repair;
  Prepare(repair);
  repair.SetActive(true);
  EXPECT_EQ(Catch<EIBClientError>([&] { repair.ServiceStart(); }).SqlErrorCode, 94);
  EXPECT_EQ(repair.RequestAction(), 3);
  EXPECT_TRUE(fake.StartBlocks().empty());
}

TEST_F(BlocksTest, OverlongStartTextIsRefused) {
  TIBBackupService service;
  Prepare(service);
  service.SetActive(true);
  service.DatabaseName = std::string(65536, 'd');
  service.BackupFile.Add("x.gbk");
  EXPECT_EQ(Catch<EIBClientError>([&] { service.ServiceStart(); }).SqlErrorCode, 99);
  // A block whose items fit one by one but not together is refused as a whole.
  service.DatabaseName = std::string(40000, 'd');
  service.BackupFile.Assign({std::string(40000, 'f')});
  EXPECT_EQ(Catch<EIBClientError>([&] { service.ServiceStart(); }).SqlErrorCode, 100);
  EXPECT_TRUE(fake.StartBlocks().empty());
  EXPECT_TRUE(service.Active());
  // 65535 bytes of text alone fit the length field but not with the action.
  TIBControlService control;
  control.AddStartText(std::string(65535, 't'), 106);
  EXPECT_EQ(control.StartRequest.size(), 65538u);
}

TEST_F(BlocksTest, ConfigBlocks) {
  const std::pair<ShutdownMode, int> modes[] = {{ShutdownMode::ShutdownForced, 7},
                                                {ShutdownMode::ShutdownNoTransactions, 10},
                                                {ShutdownMode::ShutdownNoAttachments, 9},
                                                {static_cast<ShutdownMode>(7), 9}};
  for (const auto& [mode, tag] : modes) {
    fake.Reset();
    TIBConfigService service;
    Prepare(service);
    service.DatabaseName = "/d/x.fdb";
    service.SetActive(true);
    service.RequestShutdown(mode, 10);
    ASSERT_EQ(fake.StartBlocks().size(), 1u);
    EXPECT_EQ(fake.StartBlocks()[0], Bytes({8}) + TextItem(106, "/d/x.fdb") + Bytes({tag, 10, 0, 0, 0}));
    EXPECT_TRUE(service.StartRequest.empty());
  }
  fake.Reset();
  TIBConfigService service;
  Prepare(service);
  service.SetActive(true);
  service.DatabaseName = "/d/x.fdb";
  service.RequestOnline();
  service.DatabaseName.clear();
  service.RequestOnline();
  EXPECT_EQ(fake.StartBlocks(),
            (std::vector<std::string>{Bytes({8}) + TextItem(106, "/d/x.fdb") + Bytes({108, 0, 2, 0, 0}),
                                      Bytes({8, 108, 0, 2, 0, 0})}));
  auto e = Catch<EIBClientError>([&] { service.ServiceStart(); });
  EXPECT_EQ(e.SqlErrorCode, 96);
  service.SetActive(false);
  EXPECT_EQ(Catch<EIBClientError>([&] { service.ServiceStart(); }).SqlErrorCode, 96);
  EXPECT_EQ(fake.StartBlocks().size(), 2u);
}

}  // namespace
