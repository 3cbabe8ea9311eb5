// Backups streamed to this computer and restores fed from it, against the
// stand-in client library: the bytes sent and the parsing of the answers.

#include "service_test_support.h"

namespace {

// An output item (isc_info_svc_to_eof or isc_info_svc_line) with its data.
std::string Item(int tag, const std::string& data) { return TextItem(tag, data); }
std::string Stdin(uint32_t wanted) { return NumberItem(78, wanted); }
const std::string End = Bytes({1});

TEST(StreamAnswer, ItemsAndEndOfOutput) {
  struct Case {
    const char* name;
    std::string answer;
    std::vector<std::string> data;
    std::vector<std::string> lines;
    uint32_t stdinWanted;
    bool done;
  };
  const Case cases[] = {
      {"pieces with truncated after each", Item(63, "abc") + Bytes({2}) + Item(63, "de") + Bytes({2}) + End,
       {"abc", "de"}, {}, 0, false},
      {"empty piece, not ready", Item(63, "") + Bytes({4}) + End, {}, {}, 0, false},
      {"empty piece, timeout", Item(63, "") + Bytes({64}) + End, {}, {}, 0, false},
      {"last piece then empty", Item(63, "xyz") + Item(63, "") + Item(63, "") + End, {"xyz"}, {}, 0, true},
      {"empty piece alone", Item(63, "") + End, {}, {}, 0, true},
      {"full buffer without end byte", Item(63, "abc") + Bytes({2, 2}), {"abc"}, {}, 0, false},
      {"input wanted, line not ready", Stdin(262144) + Item(62, "") + Bytes({4}) + End, {}, {}, 262144, false},
      {"input wanted and a line", Stdin(100) + Item(62, "gbak: restoring") + End, {}, {"gbak: restoring"}, 100, false},
      {"line cut at a zero byte", Stdin(0) + Item(62, std::string("ab\0cd", 5)) + End, {}, {"ab"}, 0, false},
      {"restore ended", Stdin(0) + Item(62, "") + End, {}, {}, 0, true},
  };
  for (const Case& c : cases) {
    const TStreamAnswer answer = ParseStreamAnswer(c.answer.data(), c.answer.size());
    std::vector<std::string> data(answer.Data.begin(), answer.Data.end());
    EXPECT_EQ(data, c.data) << c.name;
    EXPECT_EQ(answer.Lines, c.lines) << c.name;
    EXPECT_EQ(answer.StdinWanted, c.stdinWanted) << c.name;
    EXPECT_EQ(answer.OutputDone, c.done) << c.name;
  }
}

TEST(StreamAnswer, MalformedAnswersAreRefused) {
  const std::pair<const char*, std::string> cases[] = {
      {"unknown item", Bytes({9, 0, 0, 1})},
      {"zero byte where an item belongs", Bytes({0})},
      {"length past the end", Bytes({63, 10, 0}) + "abc"},
      {"length cut off", Bytes({63, 1})},
      {"input size cut off", Bytes({78, 1, 0})},
  };
  for (const auto& [name, answer] : cases) {
    EXPECT_EQ(Catch<EIBClientError>([&] { ParseStreamAnswer(answer.data(), answer.size()); }).SqlErrorCode,
              ibceOutputParsingError)
        << name;
  }
}

class StreamServiceTest : public FakeClientTest {};

TEST_F(StreamServiceTest, BackupToStandardOutputArrivesInOrder) {
  TIBBackupStreamService service;
  Prepare(service);
  service.DatabaseName = "db";
  service.Options.Include(TBackupOption::IgnoreLimbo);
  service.Verbose = true;  // never sent: gbak refuses it on this channel
  service.SetActive(true);
  service.ServiceStart();
  ASSERT_EQ(fake.StartBlocks().size(), 1u);
  EXPECT_EQ(fake.StartBlocks()[0], Bytes({1}) + TextItem(106, "db") + NumberItem(108, 2) + TextItem(5, "stdout"));

  fake.AddRawAnswer(Item(63, "head") + Bytes({2}) + Item(63, "er") + Bytes({2}) + End);
  fake.AddRawAnswer(Item(63, "") + Bytes({4}) + End);
  fake.AddRawAnswer(Item(63, "tail") + Item(63, "") + End);
  std::string file;
  int calls = 0;
  while (!service.OutputEnded()) {
    service.ReadStreamPiece([&](const char* data, std::size_t size) { 
      file.append(data, size);
      ++calls;
    });
    ASSERT_LE(fake.CallCount("isc_service_query"), 3);
  }
  EXPECT_EQ(file, "headertail");
  EXPECT_EQ(calls, 3);
  EXPECT_EQ(service.BytesReceived(), 10u);
  // Never more than two items: Firebird 3 overruns a full answer buffer by
  // one byte for every further item.
  for (const std::string& request : fake.QueryRequests()) EXPECT_EQ(request, Bytes({63, 63}));
  for (int length : fake.QueryBufferLengths()) EXPECT_EQ(length, 65535);
  for (const std::string& send : fake.QuerySends()) EXPECT_EQ(send, "");
  // Nothing more is asked once the file is complete.
  EXPECT_EQ(service.ReadStreamPiece([](const char*, std::size_t) { FAIL(); }), 0u);
  EXPECT_EQ(fake.CallCount("isc_service_query"), 3);
}

TEST_F(StreamServiceTest, BackupFailingMidStreamForgetsItsHandle) {
  TIBBackupStreamService service;
  Prepare(service);
  service.DatabaseName = "db";
  service.SetActive(true);
  service.ServiceStart();
  fake.AddRawAnswer(Item(63, "part") + Bytes({2}) + End);
  fake.FailCall("isc_service_query", 1, -902, 335544726, {"Error reading data from the connection."});
  std::string file;
  const auto sink = [&](const char* data, std::size_t size) { file.append(data, size); };
  service.ReadStreamPiece(sink);
  EXPECT_EQ(Catch<EIBInterBaseError>([&] { service.ReadStreamPiece(sink); }).Message,
            "Error reading data from the connection");
  EXPECT_FALSE(service.Active());
  EXPECT_FALSE(service.OutputEnded());
  EXPECT_EQ(file, "part");
}

TEST_F(StreamServiceTest, RestoreSendsOnlyWhatTheServerAskedFor) {
  TIBRestoreStreamService service;
  Prepare(service);
  service.DatabaseName.Add("new.fdb");
  service.Verbose = true;
  service.SetActive(true);
  service.ServiceStart();
  EXPECT_EQ(fake.StartBlocks()[0],
            Bytes({2}) + NumberItem(108, 0x2000) + Bytes({107}) + TextItem(5, "stdin") + TextItem(106, "new.fdb"));

  const std::string input = std::string(70000, 'd') + "end";
  std::size_t offered = 0;
  const TStreamSource source = [&](char* buffer, std::size_t capacity) {
    const std::size_t n = std::min(capacity, input.size() - offered);
    std::copy_n(input.data() + offered, n, buffer);
    offered += n;
    return n;
  };
  fake.AddRawAnswer(Stdin(5) + Item(62, "") + Bytes({4}) + End);
  fake.AddRawAnswer(Stdin(262144) + Item(62, "gbak:restoring") + End);
  fake.AddRawAnswer(Stdin(262144) + Item(62, "") + Bytes({4}) + End);
  fake.AddRawAnswer(Stdin(262144) + Item(62, "") + Bytes({4}) + End);
  fake.AddRawAnswer(Stdin(0) + Item(62, "gbak:finishing") + End);
  fake.AddRawAnswer(Stdin(0) + Item(62, "") + End);
  std::vector<std::string> lines;
  while (!service.OutputEnded()) {
    std::string line;
    if (service.FeedAndReadLine(source, line)) lines.push_back(line);
    ASSERT_LE(fake.CallCount("isc_service_query"), 6);
  }
  EXPECT_EQ(lines, (std::vector<std::string>{"gbak:restoring", "gbak:finishing"}));
  const std::size_t big = TIBRestoreStreamService::MaxFeedBytes;
  const std::vector<std::string> sends = fake.QuerySends();
  ASSERT_EQ(sends.size(), 6u);
  EXPECT_EQ(sends[0], "");
  EXPECT_EQ(sends[1], Item(62, "ddddd") + End);
  EXPECT_EQ(sends[2], Item(62, input.substr(5, big)) + End);
  EXPECT_EQ(sends[3], Item(62, input.substr(5 + big)) + End);
  EXPECT_EQ(sends[4], Item(62, "") + End);  // the end of the input
  EXPECT_EQ(sends[5], "");
  EXPECT_EQ(service.BytesSent(), input.size());
  for (const std::string& request : fake.QueryRequests()) EXPECT_EQ(request, Bytes({78, 62}));
}

TEST_F(StreamServiceTest, LineQueriesStillSendNoSendItems) {
  fake.AddLines({"gbak: writing"});
  TIBBackupService service;
  Prepare(service);
  service.DatabaseName = "db";
  service.BackupFile.Add("b.gbk");
  service.SetActive(true);
  service.ServiceStart();
  while (!service.OutputEnded()) service.NextOutputLine();
  ASSERT_EQ(fake.QuerySends().size(), 2u);
  for (const std::string& send : fake.QuerySends()) EXPECT_EQ(send, "");
}

}  // namespace
