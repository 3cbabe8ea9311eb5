// Jobs with files on this computer through RunJob, against the stand-in
// client library: the copy after (or instead of) the server's backup, and a
// restore fed from a copy, with their pane lines and requests.

#include <gtest/gtest.h>

#include <filesystem>

#include "fakeclient/fake_client.h"
#include "platform/clock.h"
#include "platform/date_time.h"
#include "platform/sha256.h"
#include "platform/temp_folder.h"
#include "recording_seams.h"
#include "runner/database_control.h"
#include "runner/local_copy_job.h"
#include "runner/local_copy_writer.h"
#include "runner/schedule.h"
#include "service/client_library.h"

namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

const TDateTime kStampTime = EncodeDate(2026, 3, 14) + EncodeTime(9, 26, 53, 0);
std::string Stamp() { return FormatLongDate(kStampTime) + " " + FormatShortTime(kStampTime); }

std::string Le(uint32_t n, int bytes) {
  std::string out;
  for (int i = 0; i < bytes; ++i) out += static_cast<char>((n >> (8 * i)) & 0xFF);
  return out;
}
std::string Item(int tag, const std::string& data) { return std::string(1, static_cast<char>(tag)) + Le(data.size(), 2) + data; }
std::string Number(int tag, uint32_t n) { return std::string(1, static_cast<char>(tag)) + Le(n, 4); }
const std::string kEnd(1, '\x01');
const std::string kMore(1, '\x02');

bool Reachable(const std::string&) { return true; }

class LocalCopyJob : public ::testing::Test {
 protected:
  void SetUp() override {
    SetClientLibraryCandidates({FakeClient::Path()});
    SetClock([] { return kStampTime; });
    SetShareProbe(&Reachable);
  }
  void TearDown() override {
    SetShareProbe(nullptr);
    SetClock(nullptr);
    SetClientLibraryCandidates({});
  }

  void FillBackup(TSchedule& job, bool copyOnly) {
    job.JobKind = TSchedule::KindBackup;
    job.SetJobName("BACKUP OPERATION");
    job.SetUserName("SYSDBA");
    job.SetPassword("masterkey");
    job.SetProtocol(3);
    job.WriteJobLog = false;
    job.SetJobFile(1, "/data/BASE.GDB");
    job.SetJobFile(2, "/data/BASE.gbk");
    job.StopDatabase = false;
    job.LocalCopyDir = copies.Path;
    job.LocalCopyOnly = copyOnly;
    job.OnLocalCopyMade = [this](const TLocalCopyInfo& copy) { made.push_back(copy); };
  }

  // The backup file as the server sends it: two answers, then the end.
  void ScriptStream() {
    fake.AddAnswerFor(63, Item(63, kFirst) + kMore + Item(63, kSecond) + kMore + kEnd);
    fake.AddAnswerFor(63, Item(63, "") + Item(63, "") + kEnd);
  }

  std::string Decompressed(const std::string& copy) {
    const std::string plain = copies / "plain";
    EXPECT_EQ(std::system(("zstd -q -d -c " + copy + " > " + plain).c_str()), 0);
    return ReadFileBytes(plain);
  }

  const std::string kFirst = std::string(3000, 'g') + "header";
  const std::string kSecond = std::string(5000, 'd') + "end";
  const std::string kStreamBlock = std::string(1, 1) + Item(106, "/data/BASE.GDB") + Number(108, 0) + Item(5, "stdout");

  FakeClient fake;
  TRecordingPane pane;
  TRecordingPrompts prompts;
  TTempFolder copies;
  std::vector<TLocalCopyInfo> made;
};

TEST_F(LocalCopyJob, CopyFollowsTheServersBackupInItsOwnSection) {
  fake.AddLines({"gbak:closing file, committing, and finishing."});
  ScriptStream();
  TSchedule job;
  FillBackup(job, false);
  ASSERT_TRUE(job.RunJob());

  const std::string copy = copies / "BASE.gbk.zst";
  ASSERT_EQ(made.size(), 1u);
  EXPECT_EQ(made[0].File, copy);
  EXPECT_EQ(made[0].Sha256, Sha256OfFile(copy));
  EXPECT_EQ(Decompressed(copy), kFirst + kSecond);
  const std::string sizes = "Received 0.0 MB, compressed to 0.0 MB (";  // then the share, "%)"
  const Lines expected = {"Job: BACKUP OPERATION", "Backup of database: BASE.GDB", "Job options: []",
                          "Started: " + Stamp(), " ", "gbak:closing file, committing, and finishing.", " ", " ",
                          "**** BACKUP COMPLETE ****", "Stopped: " + Stamp(), "End of job: BACKUP OPERATION", " ",
                          "Copy on this computer: " + copy, "Started: " + Stamp(), " ", " ", sizes,
                          "SHA-256: " + made[0].Sha256 + " in " + copy + ".sha256", "**** COPY COMPLETE ****",
                          "Stopped: " + Stamp(), " "};
  ASSERT_EQ(pane.Lines.size(), expected.size());
  const std::size_t sizesAt = 16;
  EXPECT_EQ(pane.Lines[sizesAt].rfind(sizes, 0), 0u) << pane.Lines[sizesAt];
  EXPECT_EQ(pane.Lines[sizesAt].substr(pane.Lines[sizesAt].size() - 2), "%)");
  pane.Lines[sizesAt] = sizes;
  EXPECT_EQ(pane.Lines, expected);
  // The server's backup is sent exactly as without the copy; the copy is a
  // second request to gbak's standard output.
  const std::string serverBlock = std::string(1, 1) + Item(106, "/data/BASE.GDB") + Number(108, 0) +
                                  std::string(1, 107) + Item(5, "/data/BASE.gbk");
  EXPECT_EQ(fake.StartBlocks(), (Lines{serverBlock, kStreamBlock}));
  EXPECT_EQ(fake.OpenHandles(), 0);
  EXPECT_TRUE(prompts.Messages.empty());
}

TEST_F(LocalCopyJob, CopyOnlySendsNoServerBackup) {
  ScriptStream();
  TSchedule job;
  FillBackup(job, true);
  ASSERT_TRUE(job.RunJob());
  EXPECT_EQ(fake.StartBlocks(), Lines{kStreamBlock});
  ASSERT_EQ(made.size(), 1u);
  const Lines head = {"Job: BACKUP OPERATION", "Backup of database: BASE.GDB", "Job options: []",
                      "Started: " + Stamp(), " ", "Copy on this computer: " + made[0].File, " "};
  ASSERT_GT(pane.Lines.size(), head.size());
  EXPECT_EQ(Lines(pane.Lines.begin(), pane.Lines.begin() + static_cast<long>(head.size())), head);
  const Lines tail = {"**** COPY COMPLETE ****", "Stopped: " + Stamp(), "End of job: BACKUP OPERATION", " "};
  EXPECT_EQ(Lines(pane.Lines.end() - static_cast<long>(tail.size()), pane.Lines.end()), tail);
}

// A copy that cannot be made: the job says so, leaves no file, and a
// server's backup made before it stands.
TEST_F(LocalCopyJob, FailedCopyLeavesNoFileAndReportsIt) {
  struct Case {
    const char* name;
    bool copyOnly;
    bool folderMissing;
    const char* message;
  };
  const Case cases[] = {
      {"folder missing, with the server's backup", false, true, "folder for the copy on this computer is missing"},
      {"folder missing, copy only", true, true, "folder for the copy on this computer is missing"},
      {"connection lost mid-stream", true, false, "Error reading data from the connection"},
  };
  for (const Case& c : cases) {
    fake.Reset();
    pane.Lines.clear();
    prompts.Messages.clear();
    made.clear();
    fake.AddLines({"gbak:finishing"});
    fake.AddAnswerFor(63, Item(63, kFirst) + kMore + kEnd);
    fake.FailCall("isc_service_query", c.copyOnly ? 1 : 3, -902, 335544726, {"Error reading data from the connection."});
    TSchedule job;
    FillBackup(job, c.copyOnly);
    if (c.folderMissing) job.LocalCopyDir = copies / "gone";
    EXPECT_EQ(job.RunJob(), !c.copyOnly) << c.name;
    EXPECT_TRUE(made.empty()) << c.name;
    EXPECT_TRUE(fs::is_empty(copies.Path)) << c.name;
    ASSERT_EQ(prompts.Messages.size(), 1u) << c.name;
    EXPECT_NE(prompts.Messages[0].find(c.message), std::string::npos) << c.name << ": " << prompts.Messages[0];
    EXPECT_NE(pane.Lines.back().find("ERROR: "), std::string::npos) << c.name;
    // A missing folder stops the copy before its request is even started.
    EXPECT_EQ(fake.StartBlocks().size(), (c.copyOnly ? 0u : 1u) + (c.folderMissing ? 0u : 1u)) << c.name;
  }
}

TEST_F(LocalCopyJob, RestoreFromACopyFeedsTheRequestAndChecksFirst) {
  const std::string backup = std::string(70000, 'b') + "tail";
  const std::string copy = copies / "BASE.gbk.zst";
  {
    TLocalCopyWriter writer(copy);
    writer.Write(backup.data(), backup.size());
    writer.Commit();
  }
  const auto runRestore = [&] {
    TSchedule job;
    job.JobKind = TSchedule::KindRestore;
    job.SetJobName("Restore");
    job.SetProtocol(3);
    job.WriteJobLog = false;
    job.SetJobFile(1, copy);
    job.SetJobFile(2, "/d/NEW.FDB");
    return job.RunJob();
  };
  fake.AddAnswerFor(78, Number(78, 262144) + Item(62, "") + std::string(1, '\x04') + kEnd);
  fake.AddAnswerFor(78, Number(78, 262144) + Item(62, "gbak:restoring") + kEnd);
  fake.AddAnswerFor(78, Number(78, 262144) + Item(62, "") + std::string(1, '\x04') + kEnd);
  fake.AddAnswerFor(78, Number(78, 0) + Item(62, "gbak:finishing") + kEnd);
  fake.AddAnswerFor(78, Number(78, 0) + Item(62, "") + kEnd);
  ASSERT_TRUE(runRestore());

  const std::string restoreBlock = std::string(1, 2) + Number(108, 0x2000) + std::string(1, 107) +
                                   Item(5, "stdin") + Item(106, "/d/NEW.FDB");
  ASSERT_GE(fake.StartBlocks().size(), 3u);  // shutdown, restore, …
  EXPECT_EQ(fake.StartBlocks()[1], restoreBlock);
  std::string sent;
  for (const std::string& items : fake.QuerySends()) {
    if (items.size() >= 4) sent += items.substr(3, items.size() - 4);
  }
  EXPECT_EQ(sent, backup);
  const Lines fed = {"Backup file on this computer: " + copy, "SHA-256 checked: " + Sha256OfFile(copy), " ",
                     "gbak:restoring", "gbak:finishing", "Sent 0.1 MB from " + copy};
  auto at = std::find(pane.Lines.begin(), pane.Lines.end(), fed[0]);
  ASSERT_NE(at, pane.Lines.end());
  EXPECT_EQ(Lines(at, at + static_cast<long>(fed.size())), fed);

  // One byte changed: refused before the database is shut down, with no
  // request at all.
  std::string bytes = ReadFileBytes(copy);
  bytes[bytes.size() / 2] ^= 1;
  WriteFileBytes(copy, bytes);
  fake.Reset();
  EXPECT_FALSE(runRestore());
  EXPECT_TRUE(fake.AttachNames().empty());
  ASSERT_EQ(pane.Lines.size(), 1u);
  EXPECT_NE(pane.Lines[0].find("does not match its checksum file"), std::string::npos) << pane.Lines[0];
}

TEST_F(LocalCopyJob, WhichRestoresAreFedFromThisComputer) {
  const TServerPath here{"myhost", "/b/x.gbk", "x.gbk"};
  const TServerPath db{"MYHOST", "/d/x.fdb", "x.fdb"};
  const TServerPath remoteDb{"dbhost", "D:\\d\\x.fdb", "x.fdb"};
  EXPECT_TRUE(RestoreFedFromThisComputer("/b/x.gbk.zst", here, db));
  EXPECT_TRUE(RestoreFedFromThisComputer("/b/X.GBK.ZST", here, db));
  EXPECT_FALSE(RestoreFedFromThisComputer("/b/x.gbk", here, db));  // the server opens it itself, as ever
  EXPECT_TRUE(RestoreFedFromThisComputer("/b/x.gbk", here, remoteDb));
  EXPECT_EQ(LocalCopyPathOf("/copies", "x_06_12_26_14_05.gbk"), "/copies/x_06_12_26_14_05.gbk.zst");
  EXPECT_EQ(LocalCopyPathOf("/copies/", "x.gbk"), "/copies/x.gbk.zst");
}

}  // namespace
