// Reading the server's output line by line, including malformed answers.

#include "service_test_support.h"

namespace {

class OutputTest : public FakeClientTest {
 protected:
  void Start(TIBBackupService& service) {
    Prepare(service);
    service.DatabaseName = "db";
    service.BackupFile.Add("b.gbk");
    service.Verbose = true;
    service.SetActive(true);
    service.ServiceStart();
  }
};

TEST_F(OutputTest, ReadsLinesUntilTheEmptyLine) {
  fake.AddLines({"gbak:readied database db for backup", "gbak:writing tables", std::string(500, 'x')});
  TIBBackupService service;
  Start(service);
  std::vector<std::string> got;
  while (!service.OutputEnded()) got.push_back(service.NextOutputLine());
  EXPECT_EQ(got, (std::vector<std::string>{"gbak:readied database db for backup", "gbak:writing tables",
                                           std::string(500, 'x'), ""}));
  const int queries = fake.CallCount("isc_service_query");
  EXPECT_EQ(queries, 4);
  for (const std::string& request : fake.QueryRequests()) EXPECT_EQ(request, Bytes({62}));
  for (int length : fake.QueryBufferLengths()) EXPECT_EQ(length, 32000);
  // Ended output is answered without asking the server.
  EXPECT_EQ(service.NextOutputLine(), "");
  EXPECT_EQ(fake.CallCount("isc_service_query"), queries);
  // A new request reads again.
  fake.AddLine("again");
  service.ServiceStart();
  EXPECT_FALSE(service.OutputEnded());
  EXPECT_EQ(service.NextOutputLine(), "again");
}

TEST_F(OutputTest, NewObjectRefusesToRead) {
  TIBBackupService service;
  Prepare(service);
  service.SetActive(true);
  EXPECT_EQ(Catch<EIBClientError>([&] { service.NextOutputLine(); }).Message, "Query Parameters missing or incorrect");
  EXPECT_EQ(fake.CallCount("isc_service_query"), 0);
}

TEST_F(OutputTest, MalformedAnswersAreRefused) {
  const std::pair<const char*, std::string> cases[] = {
      {"wrong tag", Bytes({2, 3, 0}) + "abc" + Bytes({1})},
      {"truncated marker", Bytes({2})},
      {"missing end byte", Bytes({62, 3, 0}) + "abc" + Bytes({0})},
      {"end byte misplaced", Bytes({62, 2, 0}) + "abc" + Bytes({1})},
      {"length beyond buffer", Bytes({62, 0x40, 0x9C}) + "abc"},  // 40000 > 32000
      {"length at buffer end", Bytes({62, 0x7D, 0x7D})},          // 3 + 32125 > 32000
      {"length just past buffer", Bytes({62, 0x7D, 0x7C})},       // 3 + 31869 + ... stale zeros
  };
  for (const auto& [name, answer] : cases) {
    fake.Reset();
    fake.AddRawAnswer(answer);
    TIBBackupService service;
    Start(service);
    auto e = Catch<EIBClientError>([&] { service.NextOutputLine(); });
    EXPECT_EQ(e.SqlErrorCode, 95) << name;
    EXPECT_EQ(e.Message, "Unexpected Output buffer value") << name;
  }
}

TEST_F(OutputTest, AnswerFillingTheWholeBuffer) {
  // A line of exactly BufferSize - 4 bytes fits: tag, length, text, end byte.
  TIBBackupService service;
  const std::string line(31996, 'L');
  fake.AddLine(line);
  Start(service);
  EXPECT_EQ(service.NextOutputLine(), line);
  // One byte more claims an end byte outside the buffer.
  fake.AddRawAnswer(Bytes({62, 0x7D, 0x7D}) + std::string(31997, 'L'));
  EXPECT_EQ(Catch<EIBClientError>([&] { service.NextOutputLine(); }).SqlErrorCode, 95);
}

TEST_F(OutputTest, LineStopsAtEmbeddedZero) {
  fake.AddRawAnswer(Bytes({62, 5, 0}) + std::string("ab\0cd", 5) + Bytes({1}));
  TIBBackupService service;
  Start(service);
  EXPECT_EQ(service.NextOutputLine(), "ab");
  EXPECT_FALSE(service.OutputEnded());
}

TEST_F(OutputTest, ChangedBufferSizeIsTheLengthPassed) {
  TIBBackupService service;
  fake.AddLines({"one", "two"});
  Start(service);
  EXPECT_EQ(service.NextOutputLine(), "one");
  service.SetBufferSize(64);
  EXPECT_EQ(service.NextOutputLine(), "two");
  EXPECT_EQ(fake.QueryBufferLengths(), (std::vector<int>{32000, 64}));
  EXPECT_EQ(service.OutputBuffer().size(), 64u);
  fake.AddLine(std::string(100, 'z'));  // does not fit: the server marks it truncated
  EXPECT_EQ(Catch<EIBClientError>([&] { service.NextOutputLine(); }).SqlErrorCode, 95);
  for (int32_t bad : {-1, 0, 3, 65536}) {
    EXPECT_EQ(Catch<EIBClientError>([&] { service.SetBufferSize(bad); }).SqlErrorCode, 101) << bad;
  }
  EXPECT_EQ(service.BufferSize(), 64);
}

TEST_F(OutputTest, FailureWhileReadingLeavesTheLoopOnTheException) {
  fake.AddLines({"a", "b", "c"});
  fake.FailCall("isc_service_query", 1, -902, 335544344, {"connection lost"});
  TIBBackupService service;
  Start(service);
  std::vector<std::string> got;
  try {
    while (!service.OutputEnded()) got.push_back(service.NextOutputLine());
    ADD_FAILURE() << "loop should end on the exception";
  } catch (const EIBInterBaseError& e) {
    EXPECT_EQ(e.Message, "connection lost");
  }
  EXPECT_EQ(got, std::vector<std::string>{"a"});
  EXPECT_FALSE(service.Active());
  EXPECT_FALSE(service.OutputEnded());
}

// A job that can be stopped waits on the server a second at most: the line
// query carries the timeout item, and an answer that timed out is no line and
// no end.
TEST_F(OutputTest, BoundedLineQueriesSendTheTimeoutAndTellATimeoutFromTheEnd) {
  fake.AddRawAnswer(Bytes({62, 0, 0, 64, 1}));                 // timed out
  fake.AddRawAnswer(Bytes({62, 4, 0}) + "gbak" + Bytes({1}));  // a line
  fake.AddRawAnswer(Bytes({62, 0, 0, 4, 1}));                  // not ready
  fake.AddRawAnswer(Bytes({62, 0, 0, 1}));                     // the end
  TIBBackupService service;
  Start(service);
  std::string line;
  EXPECT_FALSE(service.NextOutputLineWithin(1, line));
  EXPECT_FALSE(service.OutputEnded());
  EXPECT_TRUE(service.NextOutputLineWithin(1, line));
  EXPECT_EQ(line, "gbak");
  EXPECT_FALSE(service.NextOutputLineWithin(1, line));
  EXPECT_FALSE(service.OutputEnded());
  EXPECT_FALSE(service.NextOutputLineWithin(1, line));
  EXPECT_TRUE(service.OutputEnded());
  for (const std::string& request : fake.QueryRequests()) EXPECT_EQ(request, Bytes({62}));
  for (const std::string& sent : fake.QuerySends()) EXPECT_EQ(sent, Bytes({64, 4, 0, 1, 0, 0, 0, 1}));
  EXPECT_EQ(fake.QuerySends().size(), 4u);
}

}  // namespace
