// Requests against the real RADOS gateway: objects, listings, errors, and an
// independent client reading what the program stored.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/child_process.h"
#include "platform/sha256.h"
#include "storage/digest.h"
#include "storage/s3/s3_error.h"
#include "storage/s3_gateway.h"
#include "storage/upload/multipart_uploader.h"

using s3test::TestBytes;
using ::testing::HasSubstr;

namespace {

class S3ClientTest : public s3test::TS3GatewayTest {};

std::string ReadAll(TS3Client& client, const std::string& key) {
  std::string bytes;
  client.GetObject(key, [&](const char* data, std::size_t size) { bytes.append(data, size); });
  return bytes;
}

TEST_F(S3ClientTest, ObjectWrittenReadListedAndDeleted) {
  TS3Client client = Client();
  // Keys that need encoding in the path and in the query.
  for (const std::string key : {"plain.gbk.zst", "with space/and+plus&amp.bin", "кириллица/файл.zst"}) {
    SCOPED_TRACE(key);
    const std::string body = TestBytes(70000, 7);
    const TS3ObjectInfo put = client.PutObject(key, body, {{"quorvin-sha256", "abc"}, {"kind", "backup"}});
    EXPECT_EQ(put.ETag, HexOf(Md5Of(body)));

    const TS3ObjectInfo head = client.HeadObject(key);
    EXPECT_EQ(head.Size, body.size());
    EXPECT_EQ(head.ETag, HexOf(Md5Of(body)));
    EXPECT_EQ(head.Metadata, (TS3Metadata{{"quorvin-sha256", "abc"}, {"kind", "backup"}}));
    EXPECT_FALSE(head.Lock.has_value());
    EXPECT_GT(head.LastModified, 1700000000);

    EXPECT_EQ(ReadAll(client, key), body);
    const std::vector<TS3ObjectInfo> listed = client.ListObjects(key);
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0].Key, key);
    EXPECT_EQ(listed[0].Size, body.size());

    client.DeleteObject(key);
    EXPECT_FALSE(client.FindObject(key).has_value());
    try {
      ReadAll(client, key);
      ADD_FAILURE() << "a deleted object was read";
    } catch (const ES3Error& error) {
      EXPECT_EQ(error.HttpStatus, 404);
      EXPECT_THAT(error.Message, HasSubstr("no such object"));
    }
  }
}

TEST_F(S3ClientTest, ListingFollowsPrefixAndPages) {
  TS3Client client = Client();
  for (int i = 0; i < 7; ++i) client.PutObject("shop/b" + std::to_string(i) + ".zst", "x");
  client.PutObject("shop2/other", "y");
  client.PutObject("top", "z");

  std::vector<std::string> keys;
  for (const TS3ObjectInfo& object : client.ListObjects("shop/", 3)) keys.push_back(object.Key);
  EXPECT_THAT(keys, ::testing::ElementsAre("shop/b0.zst", "shop/b1.zst", "shop/b2.zst", "shop/b3.zst", "shop/b4.zst",
                                           "shop/b5.zst", "shop/b6.zst"));
  EXPECT_EQ(client.ListObjects("", 2).size(), 9u);
  EXPECT_EQ(client.ListObjects("shop", 4).size(), 8u);
  EXPECT_TRUE(client.ListObjects("none/").empty());
}

// Wrong keys and a missing bucket are told plainly, and never retried.
TEST_F(S3ClientTest, RefusalsAreClearAndNotRetried) {
  struct TCase {
    std::string Name;
    TS3Credentials Keys;
    std::string BucketName;
    std::string Code;
    std::string Text;
  };
  const TS3Credentials good = Keys();
  const std::vector<TCase> cases = {
      {"wrong secret",
       {good.AccessKeyId, good.SecretAccessKey + "x", ""},
       Bucket,
       "SignatureDoesNotMatch",
       "the secret key does not match"},
      {"unknown key",
       {"QVNOSUCHKEY000000000", good.SecretAccessKey, ""},
       Bucket,
       "InvalidAccessKeyId",
       "does not know this access key"},
      {"no such bucket", good, Bucket + "-missing", "NoSuchBucket", "the bucket does not exist"},
  };
  for (const TCase& test : cases) {
    SCOPED_TRACE(test.Name);
    TS3Place place = Place();
    place.Bucket = test.BucketName;
    int retries = 0;
    TS3Options options = QuickOptions();
    options.OnRetry = [&](const std::string&) { ++retries; };
    TS3Client client(place, test.Keys, options);
    try {
      client.ListObjects("");
      ADD_FAILURE() << "the store took the request";
    } catch (const ES3Error& error) {
      EXPECT_EQ(error.Code, test.Code);
      EXPECT_THAT(error.Message, HasSubstr(test.Text));
      EXPECT_THAT(error.Message, HasSubstr("GET s3://" + test.BucketName + "/ at " + place.Endpoint));
      EXPECT_THAT(error.Message, ::testing::Not(HasSubstr(good.SecretAccessKey)));
      EXPECT_FALSE(error.Transient);
    }
    EXPECT_EQ(retries, 0);
  }
  // HEAD answers carry no code: a missing bucket is still told as such.
  TS3Place place = Place();
  place.Bucket = Bucket + "-missing";
  TS3Client missing(place, Keys(), QuickOptions());
  try {
    missing.FindObject("x");
    ADD_FAILURE() << "an object was looked for in no bucket";
  } catch (const ES3Error& error) {
    EXPECT_EQ(error.Code, "NoSuchBucket");
  }
}

// A download that breaks off (the gateway restarted under it) goes on from
// the next byte: the reader sees every byte once.
TEST_F(S3ClientTest, DownloadGoesOnAfterTheGatewayRestarts) {
  const std::string bytes = TestBytes(24 * 1024 * 1024, 21);
  Client().PutObject("big.bin", bytes);
  s3test::TPrivateGateway gateway(Setting("QUORVIN_S3_CEPH_CONF"));
  std::vector<std::string> retries;
  TS3Options options = QuickOptions();
  options.OnRetry = [&](const std::string& line) { retries.push_back(line); };
  TS3Client client(Place(gateway.Endpoint()), Keys(), options);
  std::string back;
  bool restarted = false;
  const TS3ObjectInfo info = client.GetObject("big.bin", [&](const char* data, std::size_t size) {
    back.append(data, size);
    if (!restarted && back.size() > 1024 * 1024) {
      restarted = true;
      gateway.Stop();
      gateway.Start();
    }
  });
  EXPECT_EQ(info.Size, bytes.size());
  EXPECT_TRUE(back == bytes);
  ASSERT_EQ(retries.size(), 1u);
  EXPECT_THAT(retries[0], HasSubstr("GET s3://" + Bucket + "/big.bin"));
}

// s3cmd, knowing nothing of this program, reads back what it uploaded.
TEST_F(S3ClientTest, IndependentClientReadsTheObject) {
  const std::string s3cmd = FindProgram("s3cmd");
  if (s3cmd.empty()) GTEST_SKIP() << "s3cmd is not installed (scripts/install_deps.sh installs it)";
  TS3Client client = Client();
  const std::string body = TestBytes(12 * 1024 * 1024 + 5, 11);
  TUploadOptions options;
  options.ExpectedBytes = body.size();
  TMultipartUploader upload(client, "copies/shop.gbk.zst", options);
  upload.Write(body.data(), body.size());
  const TUploadedObject object = upload.Commit();
  EXPECT_EQ(object.Parts, 3);

  TTempFolder folder;
  const std::string port = Setting("AWS_ENDPOINT_URL").substr(Setting("AWS_ENDPOINT_URL").rfind(':') + 1);
  WriteFileBytes(folder / "s3cfg", "[default]\naccess_key = " + Setting("AWS_ACCESS_KEY_ID") +
                                       "\nsecret_key = " + Setting("AWS_SECRET_ACCESS_KEY") +
                                       "\nhost_base = 127.0.0.1:" + port + "\nhost_bucket = 127.0.0.1:" + port +
                                       "\nuse_https = False\nbucket_location = us-east-1\n");
  TChildProcess get(
      s3cmd,
      {"-c", folder / "s3cfg", "--no-progress", "get", "s3://" + Bucket + "/copies/shop.gbk.zst", folder / "got"}, "");
  std::string output;
  while (get.ReadOutput(output, std::chrono::milliseconds(1000))) {
  }
  ASSERT_EQ(get.Wait(), 0) << output;
  EXPECT_EQ(Sha256OfFile(folder / "got"), object.Sha256);
}

}  // namespace
