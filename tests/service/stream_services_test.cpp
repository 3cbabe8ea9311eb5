// Backups streamed to this computer and restores fed from it, against the
// stand-in client library: the bytes sent and the parsing of the answers.

#include "service_test_support.h"

namespace {

std::string Item(int tag, const std::string& data) { return TextItem(tag, data); }
const std::string End = Bytes({1});

TEST(StreamAnswer, FullBufferAndMalformedAnswers) {
  // A full answer has no room left for the end byte.
  const std::string full = Item(63, "abc") + Bytes({2, 2});
  const TStreamAnswer answer = ParseStreamAnswer(full.data(), full.size());
  EXPECT_EQ(std::vector<std::string>(answer.Data.begin(), answer.Data.end()), std::vector<std::string>{"abc"});
  EXPECT_FALSE(answer.OutputDone);
  for (const std::string& bad : {Bytes({9, 0, 0, 1}), Bytes({0}), Bytes({63, 10, 0}) + "abc", Bytes({78, 1, 0})}) {
    EXPECT_EQ(Catch<EIBClientError>([&] { ParseStreamAnswer(bad.data(), bad.size()); }).SqlErrorCode,
              ibceOutputParsingError);
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
  EXPECT_EQ(fake.StartBlocks(),
            std::vector<std::string>{Bytes({1}) + TextItem(106, "db") + NumberItem(108, 2) + TextItem(5, "stdout")});
  fake.AddRawAnswer(Item(63, "head") + Bytes({2}) + Item(63, "er") + Bytes({2}) + End);
  fake.AddRawAnswer(Item(63, "") + Bytes({4}) + End);
  fake.AddRawAnswer(Item(63, "tail") + Item(63, "") + End);
  std::string file;
  for (int i = 0; i < 3; ++i) service.ReadStreamPiece([&](const char* data, std::size_t n) { file.append(data, n); });
  EXPECT_TRUE(service.OutputEnded());
  EXPECT_EQ(file, "headertail");
  // Never more than two items: Firebird 3 overruns a full answer buffer by
  // one byte for every further item.
  EXPECT_EQ(fake.QueryRequests(), std::vector<std::string>(3, Bytes({63, 63})));
  EXPECT_EQ(fake.QueryBufferLengths(), std::vector<int>(3, 65535));
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
  fake.AddRawAnswer(NumberItem(78, 5) + Item(62, "") + Bytes({64}) + End);  // no line yet
  for (int i = 0; i < 3; ++i)
    fake.AddRawAnswer(NumberItem(78, 262144) + Item(62, std::string("gbak:restoring\0x", 16)) + End);
  fake.AddRawAnswer(NumberItem(78, 0) + Item(62, "") + End);
  std::vector<std::string> lines;
  for (std::string line; !service.OutputEnded();) {
    if (service.FeedAndReadLine(source, line)) lines.push_back(line);
  }
  EXPECT_EQ(lines, std::vector<std::string>(3, "gbak:restoring"));
  const std::size_t big = TIBRestoreStreamService::MaxFeedBytes;
  EXPECT_EQ(fake.QuerySends(),
            (std::vector<std::string>{"", Item(62, "ddddd") + End, Item(62, input.substr(5, big)) + End,
                                      Item(62, input.substr(5 + big)) + End, Item(62, "") + End}));
  EXPECT_EQ(fake.QueryRequests(), std::vector<std::string>(5, Bytes({78, 62})));
}

}  // namespace
