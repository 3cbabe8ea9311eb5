// Backup files written by the real gbak (local, through the embedded engine's
// service, through the server's service, to standard output) are judged
// whole; the same files cut short anywhere are judged cut short, and gbak
// itself agrees that they are not whole.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "integration/fb_fixture.h"
#include "service/backup_file_check.h"

namespace {

std::string Bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

class BackupFileCheckFirebird : public ::testing::Test {
 protected:
  void SetUp() override {
    db = dir.File("base.fdb");
    fbtest::CreateDatabase(db, 3);
  }
  // A backup made by `command` (with %D the database, %B the backup file).
  std::string Made(const std::string& name, std::string command) {
    const std::string gbk = dir.File(name);
    for (const auto& [mark, value] : {std::pair{"%D", db}, std::pair{"%B", gbk}})
      command.replace(command.find(mark), 2, fbtest::ShellQuote(value));
    int code = -1;
    const std::string out = fbtest::RunCommand(command + " </dev/null", &code);
    EXPECT_EQ(code, 0) << command << "\n" << out;
    return gbk;
  }

  fbtest::TempFolder dir{"quorvin-gbk"};
  std::string db;
};

TEST_F(BackupFileCheckFirebird, WholeBackupsOfEveryKindAndTheirCuts) {
  const std::string server = std::string("-se ") + fbtest::kServerHost + ":service_mgr -user SYSDBA -password " +
                             fbtest::ShellQuote(fbtest::SysdbaPassword());
  ::chmod(dir.Path().c_str(), 0777);
  const std::string files[] = {
      Made("local.gbk", "gbak -b %D %B"),
      Made("factor.gbk", "gbak -b -factor 3 %D %B"),
      Made("plain.gbk", "gbak -b -nt -g %D %B"),
      Made("metadata.gbk", "gbak -b -m %D %B"),
      Made("stdout.gbk", "gbak -b %D stdout > %B"),
      Made("server.gbk", "gbak -b " + server + " %D %B"),
      Made("server_stdout.gbk", "gbak -b " + server + " %D stdout > %B"),
  };
  for (const std::string& gbk : files) {
    SCOPED_TRACE(gbk);
    EXPECT_EQ(JudgeBackupFile(gbk), TBackupFileEnd::Complete);
    const std::string whole = Bytes(gbk);
    ASSERT_GT(whole.size(), 1000u);
    // Halves, the buffers' edges, near the end, inside the header.
    std::vector<std::size_t> cuts = {whole.size() / 2, whole.size() - 600, 40, 3};
    for (std::size_t at = 262144; at < whole.size() - 600; at += 262144) cuts.push_back(at);
    for (std::size_t cut : cuts) {
      const std::string part = dir.File("part.gbk");
      std::ofstream(part, std::ios::binary) << whole.substr(0, cut);
      EXPECT_EQ(JudgeBackupFile(part), TBackupFileEnd::CutShort) << "cut at " << cut;
    }
  }
}

TEST_F(BackupFileCheckFirebird, GbakAgreesTheCutFilesAreNotWhole) {
  const std::string gbk = Made("local.gbk", "gbak -b %D %B");
  const std::string whole = Bytes(gbk);
  for (std::size_t cut : {whole.size() / 2, std::size_t{262144}, whole.size() - 600}) {
    SCOPED_TRACE(cut);
    const std::string part = dir.File("part.gbk");
    std::ofstream(part, std::ios::binary) << whole.substr(0, cut);
    ASSERT_EQ(JudgeBackupFile(part), TBackupFileEnd::CutShort);
    const std::string target = dir.File("from_part.fdb");
    std::filesystem::remove(target);
    int code = -1;
    const std::string out = fbtest::RunCommand(
        "gbak -c " + fbtest::ShellQuote(part) + " " + fbtest::ShellQuote(target) + " </dev/null", &code);
    EXPECT_NE(code, 0) << out;
    EXPECT_NE(out.find("Backup incomplete"), std::string::npos) << out;
  }
  // The whole file restores.
  const std::string target = dir.File("from_whole.fdb");
  int code = -1;
  const std::string out = fbtest::RunCommand(
      "gbak -c " + fbtest::ShellQuote(gbk) + " " + fbtest::ShellQuote(target) + " </dev/null", &code);
  EXPECT_EQ(code, 0) << out;
}

}  // namespace
