// Reading the store's answers: its XML, and its refusals and network faults
// as messages that say what to do and whether another attempt may help.

#include <curl/curl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/text.h"
#include "storage/s3/s3_error.h"
#include "storage/s3/xml.h"

using ::testing::HasSubstr;

namespace {

TEST(S3XmlTest, AnswersAreRead) {
  const TXmlElement list = ParseXml(
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!-- listing -->"
      "<ListBucketResult xmlns=\"http://s3.amazonaws.com/doc/2006-03-01/\"><Name>b</Name>"
      "<Contents><Key>a &amp; b/&#1092;&#x430;&lt;&gt;&quot;&apos;</Key><Size>12</Size></Contents>"
      "<Contents><Key><![CDATA[x<y]]></Key><Size/></Contents>"
      "<s3:IsTruncated>true</s3:IsTruncated></ListBucketResult>");
  EXPECT_EQ(list.Name, "ListBucketResult");
  EXPECT_EQ(list.ChildText("Name"), "b");
  EXPECT_EQ(list.ChildText("IsTruncated"), "true");
  EXPECT_EQ(list.ChildText("Missing"), "");
  const auto contents = list.ChildrenNamed("Contents");
  ASSERT_EQ(contents.size(), 2u);
  EXPECT_EQ(contents[0]->ChildText("Key"), "a & b/фа<>\"'");
  EXPECT_EQ(contents[1]->ChildText("Key"), "x<y");
  EXPECT_EQ(XmlEscape("a&<>\"'"), "a&amp;&lt;&gt;&quot;&apos;");

  for (const std::string& bad : std::vector<std::string>{"", "text", "<a><b></a>", "<a>", "<a>&bogus;</a>",
                                                         "<a></a><b/>", "<a x=\"1></a>", std::string(40, '<')}) {
    SCOPED_TRACE(bad);
    EXPECT_THROW(ParseXml(bad), Exception);
  }
}

TEST(S3ErrorTest, RefusalsSayWhatAndWhetherToTryAgain) {
  struct TCase {
    int Status;
    std::string Body;
    std::string Code;
    bool Transient;
    std::string Text;
  };
  const std::string request = "PUT s3://b/k at http://127.0.0.1:7480";
  const std::vector<TCase> cases = {
      {404, "<Error><Code>NoSuchBucket</Code><Message></Message><BucketName>b</BucketName></Error>", "NoSuchBucket",
       false, request + ": the bucket does not exist (NoSuchBucket, HTTP 404)"},
      {403, "<Error><Code>AccessDenied</Code><Message>Access\nDenied</Message></Error>", "AccessDenied", false,
       "access denied (AccessDenied, HTTP 403: Access Denied)"},
      {503, "<Error><Code>SlowDown</Code><Message>Please reduce your request rate.</Message></Error>", "SlowDown", true,
       "the store asks to slow down (SlowDown, HTTP 503: Please reduce your request rate.)"},
      {500, "", "InternalError", true, "the store had an internal error (InternalError, HTTP 500)"},
      {502, "<html>Bad gateway</html>", "InternalError", true, "(InternalError, HTTP 502)"},
      {404, "", "NotFound", false, "no such object (NotFound, HTTP 404)"},
      {400, "<Error><Code>RequestTimeout</Code></Error>", "RequestTimeout", true, "timed the request out"},
      {403, "<Error><Code>QuotaExceeded</Code></Error>", "QuotaExceeded", false, "quota is used up"},
      {409, "<Error><Code>Whatever</Code><Message>odd</Message></Error>", "Whatever", false,
       "the store refused it (Whatever, HTTP 409: odd)"},
      {502, "not xml at all", "InternalError", true, "HTTP 502: not xml at all"},
  };
  for (const TCase& test : cases) {
    SCOPED_TRACE(test.Code);
    const ES3Error error = ErrorOfAnswer(request, test.Status, test.Body);
    EXPECT_EQ(error.Code, test.Code);
    EXPECT_EQ(error.HttpStatus, test.Status);
    EXPECT_EQ(error.Transient, test.Transient);
    EXPECT_THAT(error.Message, HasSubstr(test.Text));
    EXPECT_TRUE(StartsWith(error.Message, request + ": "));
  }

  const ES3Error refused = ErrorOfTransfer(request, CURLE_COULDNT_CONNECT, "Failed to connect to 127.0.0.1 port 7480");
  EXPECT_TRUE(refused.Transient);
  EXPECT_EQ(refused.HttpStatus, 0);
  EXPECT_THAT(refused.Message, HasSubstr("no answer from the store (Couldn't connect to server: Failed to connect"));
  EXPECT_TRUE(ErrorOfTransfer(request, CURLE_OPERATION_TIMEDOUT, "").Transient);
  EXPECT_TRUE(ErrorOfTransfer(request, CURLE_RECV_ERROR, "Connection reset by peer").Transient);
  EXPECT_FALSE(ErrorOfTransfer(request, CURLE_PEER_FAILED_VERIFICATION, "certificate").Transient);
}

}  // namespace
