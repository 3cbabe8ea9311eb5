// Backups copied to this computer through the job runner, against the stand-in client
// library: the server's request unchanged, the copy's own request and pane
// section, a connection lost mid-stream, and which restores are fed from
// this computer.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "fakeclient/fake_client.h"
#include "jobs/job_runner.h"
#include "platform/date_time.h"
#include "platform/fake_clock.h"
#include "platform/temp_folder.h"
#include "runner/local_copy_job.h"
#include "runner/recording_seams.h"
#include "service/client_library.h"

namespace {

using Lines = std::vector<std::string>;

std::string Item(int tag, const std::string& data) {
  return std::string{static_cast<char>(tag), static_cast<char>(data.size() & 0xFF),
                     static_cast<char>(data.size() >> 8)} +
         data;
}

TEST(LocalCopyJob, CopyAfterTheServersBackupOrInsteadOfItAndLostMidStream) {
  SetClientLibraryCandidates({FakeClient::Path()});
  const TDateTime moment = EncodeDate(2026, 3, 14) + EncodeTime(9, 26, 53, 0);
  const TFakeClock clock(moment);
  const std::string stamp = "Stopped: " + FormatLongDate(moment) + " " + FormatShortTime(moment);
  FakeClient fake;
  TRecordingPane pane;
  TRecordingPrompts prompts;
  TJobOutput output{&pane, &prompts};
  TTempFolder copies;
  const std::string copy = copies / "BASE.gbk.zst";
  std::vector<TLocalCopyInfo> made;
  const auto run = [&](bool copyOnly) {
    TJob job;
    job.Name.Set("B");
    job.Protocol = TProtocol::Local;
    job.WriteJobLog = false;
    job.StopDatabase = false;
    job.Database.Set("/data/BASE.GDB");
    job.BackupFile.Set("/data/BASE.gbk");
    job.Destination = {copies.Path, copyOnly};
    TJobRunner runner(job);
    runner.Output = &output;
    runner.OnLocalCopyMade = [&](const TLocalCopyInfo& info) { made.push_back(info); };
    return runner.Run();
  };
  const std::string head = "\x01" + Item(106, "/data/BASE.GDB") + std::string{108, 0, 0, 0, 0};
  for (bool copyOnly : {false, true}) {
    fake.Reset();
    made.clear();
    fake.AddLines({"gbak:closing file"});
    fake.AddAnswerFor(63, Item(63, std::string(3000, 'g')) + "\x02" + Item(63, "end") + "\x02\x01");
    fake.AddAnswerFor(63, Item(63, "") + Item(63, "") + "\x01");
    // The embedded engine refuses the copy's first attach: it is streamed.
    fake.FailCall("isc_service_attach", copyOnly ? 0 : 1, -902, 335544375, {"unavailable database"});
    ASSERT_TRUE(run(copyOnly));
    // The server's backup goes out exactly as without a copy; the copy is a
    // request of its own to gbak's standard output.
    const std::string server = head + "\x6b" + Item(5, "/data/BASE.gbk"), stream = head + Item(5, "stdout");
    EXPECT_EQ(fake.StartBlocks(), copyOnly ? Lines{stream} : (Lines{server, stream}));
    ASSERT_EQ(made.size(), 1u);
    EXPECT_EQ(made[0].File, copy);
    EXPECT_EQ(made[0].InputBytes, 3003u);
    // The copy's own section closes the pane, after the server's if any.
    const auto section = std::find(pane.Lines.begin(), pane.Lines.end(), "Copy on this computer: " + copy);
    ASSERT_NE(section, pane.Lines.end());
    EXPECT_EQ(std::find(pane.Lines.begin(), section, "**** BACKUP COMPLETE ****") != section, !copyOnly);
    EXPECT_EQ(*std::next(section, copyOnly ? 1 : 3),
              "Copy made by: the server's service manager, streamed (the embedded engine cannot be used: "
              "unavailable database)");
    const std::string checksum = "SHA-256: " + made[0].Sha256 + " in " + copy + ".sha256";
    EXPECT_EQ(Lines(pane.Lines.end() - 4, pane.Lines.end()),
              copyOnly ? (Lines{"**** COPY COMPLETE ****", stamp, "End of job: B", " "})
                       : (Lines{checksum, "**** COPY COMPLETE ****", stamp, " "}));
    EXPECT_TRUE(prompts.Messages.empty());
  }

  // The connection lost mid-stream: the job fails with the library's word,
  // and the copy made before stands as it was, alone.
  const std::string before = ReadFileBytes(copy), sum = ReadFileBytes(copy + ".sha256");
  fake.Reset();
  fake.AddAnswerFor(63, Item(63, std::string(3000, 'g')) + "\x02\x01");
  fake.FailCall("isc_service_attach", 0, -902, 335544375, {"unavailable database"});
  fake.FailCall("isc_service_query", 1, -902, 335544726, {"Error reading data from the connection."});
  EXPECT_FALSE(run(true));
  EXPECT_EQ(pane.Lines.back(), "ERROR: Error reading data from the connection");
  EXPECT_TRUE(ReadFileBytes(copy) == before && ReadFileBytes(copy + ".sha256") == sum);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(copies.Path), std::filesystem::directory_iterator()), 2);
  SetClientLibraryCandidates({});
}

TEST(LocalCopyJob, WhichRestoresAreFedFromThisComputer) {
  const TServerPath here{"myhost", "/b/x.gbk", "x.gbk"};
  const TServerPath db{"MYHOST", "/d/x.fdb", "x.fdb"};
  const TServerPath remoteDb{"dbhost", "D:\\d\\x.fdb", "x.fdb"};
  EXPECT_TRUE(RestoreFedFromThisComputer("/b/X.GBK.ZST", here, db));
  EXPECT_FALSE(RestoreFedFromThisComputer("/b/x.gbk", here, db));  // the server opens it itself, as ever
  EXPECT_TRUE(RestoreFedFromThisComputer("/b/x.gbk", here, remoteDb));
  EXPECT_EQ(LocalCopyPathOf("/copies/", "x_06_12_26_14_05.gbk"), "/copies/x_06_12_26_14_05.gbk.zst");
}

}  // namespace
