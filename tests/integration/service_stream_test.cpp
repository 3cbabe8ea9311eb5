// Backups streamed to this computer and restores fed from it, through the
// service classes against the embedded engine (Local) and the server (TCP).

#include <gtest/gtest.h>

#include <fstream>

#include "integration/local_copy_fixture.h"
#include "service/ib_services.h"

namespace {

class ServiceStreamTest : public ::testing::TestWithParam<TProtocol> {
 protected:
  void SetUp() override {
    SetBlockingCallRunner({});
    database_ = dir_.File("source.fdb");
    fbtest::CreateDatabase(database_);
  }

  void Connect(TIBCustomService& service) {
    service.SetProtocol(GetParam());
    if (GetParam() == TProtocol::TCP) service.SetServerName(fbtest::kServerHost);
    service.Params().Add("User_Name=SYSDBA");
    service.Params().Add("Password=" + fbtest::SysdbaPassword());
    service.LoginPrompt = false;
  }

  std::string StreamBackup() {
    TIBBackupStreamService backup;
    Connect(backup);
    backup.DatabaseName = database_;
    backup.SetActive(true);
    backup.ServiceStart();
    std::string file;
    while (!backup.OutputEnded()) {
      backup.ReadStreamPiece([&](const char* data, std::size_t size) { file.append(data, size); });
    }
    EXPECT_EQ(backup.BytesReceived(), file.size());
    backup.SetActive(false);
    return file;
  }

  std::vector<std::string> StreamRestore(const std::string& file, const std::string& target) {
    TIBRestoreStreamService restore;
    Connect(restore);
    restore.DatabaseName.Add(target);
    restore.Verbose = true;
    restore.SetActive(true);
    restore.ServiceStart();
    std::size_t offered = 0;
    const TStreamSource source = [&](char* buffer, std::size_t capacity) {
      const std::size_t n = std::min(capacity, file.size() - offered);
      std::copy_n(file.data() + offered, n, buffer);
      offered += n;
      return n;
    };
    std::vector<std::string> lines;
    while (!restore.OutputEnded()) {
      std::string line;
      if (restore.FeedAndReadLine(source, line)) lines.push_back(line);
    }
    EXPECT_EQ(restore.BytesSent(), file.size());
    restore.SetActive(false);
    return lines;
  }

  fbtest::TempFolder dir_;
  std::string database_;
};

TEST_P(ServiceStreamTest, StreamedBackupRestoresEqualThroughStandardInputAndWithGbak) {
  const std::string file = StreamBackup();
  ASSERT_GT(file.size(), 100000u);

  const std::string viaStdin = dir_.File("via_stdin.fdb");
  const std::vector<std::string> lines = StreamRestore(file, viaStdin);
  EXPECT_GT(lines.size(), 10u);  // verbose output comes along with the input
  EXPECT_EQ(fbtest::TableContents(viaStdin), fbtest::TableContents(database_));

  // The same bytes are an ordinary backup file for gbak.
  const std::string gbk = dir_.File("streamed.gbk");
  std::ofstream(gbk, std::ios::binary) << file;
  const std::string viaGbak = dir_.File("via_gbak.fdb");
  int code = -1;
  const std::string output =
      fbtest::RunCommand("gbak -c -user SYSDBA " + fbtest::ShellQuote(gbk) + " " + fbtest::ShellQuote(viaGbak), &code);
  ASSERT_EQ(code, 0) << output;
  EXPECT_EQ(fbtest::TableContents(viaGbak), fbtest::TableContents(database_));
}

TEST_P(ServiceStreamTest, RestoreOfACutShortStreamFails) {
  const std::string file = StreamBackup();
  const std::string target = dir_.File("cut.fdb");
  bool failed = false;
  try {
    for (const std::string& line : StreamRestore(file.substr(0, file.size() / 2), target)) {
      failed = failed || line.find("ERROR") != std::string::npos;
    }
  } catch (const EIBError&) {
    failed = true;
  }
  EXPECT_TRUE(failed);
}

INSTANTIATE_TEST_SUITE_P(Protocols, ServiceStreamTest, ::testing::Values(TProtocol::Local, TProtocol::TCP),
                         [](const auto& info) { return info.param == TProtocol::Local ? "Local" : "TCP"; });

TEST(ServiceStreamDrop, ConnectionDroppedMidStreamIsAnError) {
  SetBlockingCallRunner({});
  fbtest::TempFolder dir;
  const std::string database = dir.File("source.fdb");
  fbtest::CreateDatabase(database, 4);
  fbtest::TcpProxy proxy;
  TIBBackupStreamService backup;
  backup.SetProtocol(TProtocol::TCP);
  backup.SetServerName(proxy.Server());
  backup.Params().Add("User_Name=SYSDBA");
  backup.Params().Add("Password=" + fbtest::SysdbaPassword());
  backup.LoginPrompt = false;
  backup.DatabaseName = database;
  backup.SetActive(true);
  backup.ServiceStart();
  std::size_t received = 0;
  try {
    while (!backup.OutputEnded()) {
      received += backup.ReadStreamPiece([](const char*, std::size_t) {});
      if (received > 200000) proxy.Kill();
    }
    ADD_FAILURE() << "the stream ended normally after " << received << " bytes";
  } catch (const EIBInterBaseError& e) {
    EXPECT_FALSE(e.Message.empty());
  }
  EXPECT_FALSE(backup.Active());
  EXPECT_FALSE(backup.OutputEnded());
}

}  // namespace
