// The streaming multipart uploader against the real RADOS gateway: tens of
// MiB in odd pieces read back equal, nothing left behind by an upload that
// is dropped, stopped or cut off by a gateway that dies.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>

#include "platform/sha256.h"
#include "platform/text.h"
#include "storage/digest.h"
#include "storage/s3/s3_error.h"
#include "storage/s3_gateway.h"
#include "storage/upload/multipart_uploader.h"
#include "storage/upload/part_sizes.h"

using s3test::TestBytes;
using ::testing::HasSubstr;

namespace {

class MultipartUploadTest : public s3test::TS3GatewayTest {};

// Writes `bytes` in pieces of uneven sizes, as a compressor hands them on.
void WriteInPieces(TMultipartUploader& upload, const std::string& bytes) {
  std::size_t at = 0;
  for (std::size_t piece = 1; at < bytes.size(); piece = piece * 3 % 300007 + 1) {
    const std::size_t size = std::min(piece, bytes.size() - at);
    upload.Write(bytes.data() + at, size);
    at += size;
  }
}

TEST_F(MultipartUploadTest, TensOfMebibytesReadBackEqual) {
  TS3Client client = Client();
  const std::string bytes = TestBytes(23 * MiB + 12345, 1);
  TUploadOptions options;
  options.Metadata = {{"quorvin-kind", "backup"}};
  TMultipartUploader upload(client, "db/shop.gbk.zst", options);
  WriteInPieces(upload, bytes);
  EXPECT_EQ(upload.BytesWritten(), bytes.size());
  const TUploadedObject object = upload.Commit();

  EXPECT_EQ(object.Key, "db/shop.gbk.zst");
  EXPECT_EQ(object.Size, bytes.size());
  EXPECT_EQ(object.Parts, 5);  // four of 5 MiB and the rest
  TSha256 sha;
  sha.Update(bytes.data(), bytes.size());
  EXPECT_EQ(object.Sha256, sha.HexDigest());
  EXPECT_THAT(object.ETag, ::testing::EndsWith("-5"));

  const TS3ObjectInfo head = client.HeadObject(object.Key);
  EXPECT_EQ(head.Size, bytes.size());
  EXPECT_EQ(head.ETag, object.ETag);
  EXPECT_EQ(head.Metadata.at("quorvin-kind"), "backup");

  // Read back in the pieces the store sends, compared as they come.
  std::size_t at = 0;
  bool equal = true;
  int pieces = 0;
  client.GetObject(object.Key, [&](const char* data, std::size_t size) {
    equal = equal && at + size <= bytes.size() && bytes.compare(at, size, data, size) == 0;
    at += size;
    ++pieces;
  });
  EXPECT_TRUE(equal);
  EXPECT_EQ(at, bytes.size());
  EXPECT_GT(pieces, 1);
  EXPECT_TRUE(client.ListMultipartUploads("").empty());
}

TEST_F(MultipartUploadTest, SmallAndEmptyObjectsGoInOneRequest) {
  TS3Client client = Client();
  for (const std::size_t size : {std::size_t{0}, std::size_t{1000}, std::size_t{MinPartBytes - 1}}) {
    SCOPED_TRACE(size);
    const std::string bytes = TestBytes(size, 3);
    TMultipartUploader upload(client, "small-" + std::to_string(size));
    WriteInPieces(upload, bytes);
    const TUploadedObject object = upload.Commit();
    EXPECT_EQ(object.Parts, 0);
    EXPECT_EQ(object.Size, size);
    EXPECT_EQ(object.ETag, HexOf(Md5Of(bytes)));
    std::string back;
    client.GetObject(object.Key, [&](const char* data, std::size_t n) { back.append(data, n); });
    EXPECT_TRUE(back == bytes);
  }
  EXPECT_TRUE(client.ListMultipartUploads("").empty());
}

// An upload dropped before Commit, abandoned, or stopped by the caller
// leaves no parts and no object.
TEST_F(MultipartUploadTest, UnfinishedUploadsLeaveNothing) {
  enum class TEnd { Dropped, Abandoned, Stopped };
  for (const TEnd end : {TEnd::Dropped, TEnd::Abandoned, TEnd::Stopped}) {
    SCOPED_TRACE(static_cast<int>(end));
    std::atomic<bool> stop{false};
    TS3Options options = QuickOptions();
    options.Limits.StopRequested = [&] { return stop.load(); };
    TS3Client client = Client(options);
    const std::string key = "cut/" + std::to_string(static_cast<int>(end));
    const std::string bytes = TestBytes(12 * MiB, 5);
    {
      TMultipartUploader upload(client, key);
      upload.Write(bytes.data(), bytes.size());
      EXPECT_FALSE(upload.UploadId().empty());
      ASSERT_EQ(Client().ListMultipartUploads("").size(), 1u);  // the uploader's client is busy
      if (end == TEnd::Abandoned) upload.Abandon();
      if (end == TEnd::Stopped) {
        stop = true;
        EXPECT_THROW(
            {
              upload.Write(bytes.data(), bytes.size());
              upload.Commit();
            },
            ES3Stopped);
      }
    }
    stop = false;
    EXPECT_TRUE(client.ListMultipartUploads("").empty());
    EXPECT_FALSE(client.FindObject(key).has_value());
  }
}

// A gateway killed in the middle of an upload: a bounded number of attempts,
// then the failure with its reason; the upload is aborted once the gateway
// is back (here: started again during the abort's first pause).
TEST_F(MultipartUploadTest, GatewayStoppedMidUpload) {
  s3test::TPrivateGateway gateway(Setting("QUORVIN_S3_CEPH_CONF"));
  std::vector<std::string> retries;
  TS3Options options = QuickOptions();
  options.Limits.ConnectSeconds = 2;
  options.OnRetry = [&](const std::string& line) {
    retries.push_back(line);
    if (StartsWith(line, "DELETE")) gateway.Start();
  };
  TS3Client client(Place(gateway.Endpoint()), Keys(), options);
  const std::string bytes = TestBytes(11 * MiB, 9);
  std::string failure;
  {
    TMultipartUploader upload(client, "dies/shop.gbk.zst");
    upload.Write(bytes.data(), bytes.size());  // two parts sent or on their way
    gateway.Stop();
    try {
      upload.Write(bytes.data(), bytes.size());
      upload.Commit();
    } catch (const ES3Error& error) {
      failure = error.Message;
    }
  }
  EXPECT_THAT(failure, HasSubstr("PUT s3://" + Bucket + "/dies/shop.gbk.zst at " + gateway.Endpoint()));
  EXPECT_THAT(failure, HasSubstr("no answer from the store"));
  EXPECT_THAT(failure, HasSubstr("gave up after 3 attempts"));
  ASSERT_EQ(retries.size(), 3u);  // two for the part, one for the abort
  EXPECT_THAT(retries[0], HasSubstr("attempt 2 of 3"));
  EXPECT_THAT(retries[1], HasSubstr("attempt 3 of 3"));
  EXPECT_TRUE(StartsWith(retries[2], "DELETE"));
  EXPECT_TRUE(Client().ListMultipartUploads("").empty());
  EXPECT_FALSE(Client().FindObject("dies/shop.gbk.zst").has_value());
}

// The gateway stays away: the failure says that the upload is left and
// under which id, so that it can be aborted later.
TEST_F(MultipartUploadTest, GatewayThatStaysAwayIsReported) {
  auto gateway = std::make_unique<s3test::TPrivateGateway>(Setting("QUORVIN_S3_CEPH_CONF"));
  TS3Client client(Place(gateway->Endpoint()), Keys(), QuickOptions());
  const std::string bytes = TestBytes(6 * MiB, 13);
  TMultipartUploader upload(client, "away/shop.gbk.zst");
  upload.Write(bytes.data(), bytes.size());
  gateway.reset();
  try {
    upload.Commit();
    ADD_FAILURE() << "an upload through a dead gateway was committed";
  } catch (const Exception& error) {
    EXPECT_THAT(error.Message, HasSubstr("gave up after 3 attempts"));
    EXPECT_THAT(error.Message, HasSubstr("the upload " + upload.UploadId() + " of s3://" + Bucket +
                                         "/away/shop.gbk.zst could not be cancelled"));
  }
  const std::vector<TS3MultipartUpload> left = Client().ListMultipartUploads("away/");
  ASSERT_EQ(left.size(), 1u);
  EXPECT_EQ(left[0].UploadId, upload.UploadId());
  // Once the store is back, what was left is found by its key and aborted.
  EXPECT_EQ(Client().AbortUploadsOf("away/shop.gbk"), 0);
  EXPECT_EQ(Client().AbortUploadsOf("away/shop.gbk.zst"), 1);
  EXPECT_TRUE(Client().ListMultipartUploads("").empty());
}

// A bucket whose quota is used up refuses the first part: told at once,
// not retried, and nothing left behind.
TEST_F(MultipartUploadTest, FullQuotaIsToldAtOnce) {
  const std::string conf = Setting("QUORVIN_S3_CEPH_CONF");
  for (const std::vector<std::string>& arguments :
       {std::vector<std::string>{"set", "--max-size=1048576"}, std::vector<std::string>{"enable"}}) {
    std::vector<std::string> command = {"-c", conf, "quota"};
    command.insert(command.end(), arguments.begin(), arguments.end());
    command.insert(command.end(), {"--quota-scope=bucket", "--bucket=" + Bucket});
    TChildProcess admin(FindProgram("radosgw-admin"), command, "");
    std::string output;
    while (admin.ReadOutput(output, std::chrono::milliseconds(1000))) {
    }
    ASSERT_EQ(admin.Wait(), 0) << output;
  }
  int retries = 0;
  TS3Options options = QuickOptions();
  options.OnRetry = [&](const std::string&) { ++retries; };
  TS3Client client = Client(options);
  const std::string bytes = TestBytes(12 * MiB, 19);
  try {
    TMultipartUploader upload(client, "full/shop.gbk.zst");
    upload.Write(bytes.data(), bytes.size());
    upload.Commit();
    ADD_FAILURE() << "the store took more than its quota";
  } catch (const ES3Error& error) {
    EXPECT_EQ(error.Code, "QuotaExceeded");
    EXPECT_THAT(error.Message, HasSubstr("the store's quota is used up"));
  }
  EXPECT_EQ(retries, 0);
  EXPECT_TRUE(client.ListMultipartUploads("").empty());
}

TEST(PartSizesTest, PartsGrowSoThatAnyObjectFits) {
  EXPECT_EQ(BasePartSize(0), 5 * MiB);
  EXPECT_EQ(BasePartSize(10 * MiB), 5 * MiB);
  EXPECT_EQ(BasePartSize(100ULL * 1024 * MiB), 26 * MiB);  // 100 GiB in under 4 000 parts
  EXPECT_EQ(BasePartSize(1ULL << 50), MaxPartBytes);
  EXPECT_EQ(BasePartSize(0, 8 * MiB + 1), 9 * MiB);
  // What 10 000 parts hold: 335 GB without an expected size, sixteen times
  // the expected size otherwise (up to the 5 TiB an object can have), never
  // a part over 5 GiB.
  for (const std::uint64_t expected : {0ULL, 20ULL * 1024 * MiB, 1ULL << 40}) {
    const std::uint64_t base = BasePartSize(expected);
    std::uint64_t total = 0;
    for (int part = 1; part <= MaxParts; ++part) {
      EXPECT_LE(PartSize(base, part), MaxPartBytes);
      if (part > 1) {
        EXPECT_GE(PartSize(base, part), PartSize(base, part - 1));
      }
      total += PartSize(base, part);
    }
    const std::uint64_t needed =
        expected == 0 ? 335ULL * 1000 * 1000 * 1000 : std::min<std::uint64_t>(16 * expected, 5ULL << 40);
    EXPECT_GE(total, needed) << expected;
  }
}

}  // namespace
