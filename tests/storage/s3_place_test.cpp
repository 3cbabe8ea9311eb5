// Where objects go and with which keys: addresses, bucket names, key files
// and the environment, as the ecosystem's tools take them.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "platform/exception.h"
#include "platform/scoped_env.h"
#include "platform/temp_folder.h"
#include "storage/s3/s3_client.h"
#include "storage/s3/s3_credentials.h"
#include "storage/s3/s3_place.h"

using ::testing::HasSubstr;

namespace {

TEST(S3PlaceTest, UrlsGiveBucketAndPrefix) {
  struct TCase {
    std::string Url;
    std::string Bucket;
    std::string Prefix;
  };
  for (const TCase& test : std::vector<TCase>{{"s3://backups", "backups", ""},
                                              {"s3://backups/", "backups", ""},
                                              {"S3://backups/shop", "backups", "shop/"},
                                              {"s3://backups/site/shop/", "backups", "site/shop/"},
                                              {"s3://my.bucket-1//shop", "my.bucket-1", "shop/"}}) {
    SCOPED_TRACE(test.Url);
    const TS3Place place = PlaceOfUrl(test.Url);
    EXPECT_EQ(place.Bucket, test.Bucket);
    EXPECT_EQ(place.Prefix, test.Prefix);
    EXPECT_EQ(place.ObjectKey("a.gbk.zst"), test.Prefix + "a.gbk.zst");
  }
  const TS3ObjectUrl object = ObjectOfUrl("s3://backups/shop/shop_06_12_26_14_05.gbk.zst");
  EXPECT_EQ(object.Bucket, "backups");
  EXPECT_EQ(object.Key, "shop/shop_06_12_26_14_05.gbk.zst");

  for (const std::string url :
       {"https://backups/shop", "s3://", "s3://ab", "s3://Backups", "s3://-backups", "s3://back_ups/x"}) {
    SCOPED_TRACE(url);
    EXPECT_THROW(PlaceOfUrl(url), Exception);
  }
}

TEST(S3PlaceTest, EndpointsAndAddressing) {
  struct TCase {
    std::string Endpoint;
    std::string Bucket;
    TS3Addressing Addressing;
  };
  for (const TCase& test : std::vector<TCase>{{"http://127.0.0.1:7480", "backups", TS3Addressing::Path},
                                              {"https://localhost/", "backups", TS3Addressing::Path},
                                              {"http://[::1]:9000", "backups", TS3Addressing::Path},
                                              {"https://s3.example.net", "backups", TS3Addressing::VirtualHost},
                                              {"https://S3.Example.net:8443", "my.backups", TS3Addressing::Path}}) {
    SCOPED_TRACE(test.Endpoint);
    TS3Place place;
    place.Endpoint = test.Endpoint;
    place.Region = "eu-1";
    place.Bucket = test.Bucket;
    EXPECT_EQ(ResolvePlace(place).Addressing, test.Addressing);
  }
  const TS3Endpoint parts = ParseEndpoint("https://S3.Example.net:8443/");
  EXPECT_EQ(parts.Scheme, "https");
  EXPECT_EQ(parts.Host, "s3.example.net");
  EXPECT_EQ(parts.Port, "8443");

  for (const std::string bad :
       {"s3.example.net", "ftp://s3.example.net", "https://s3.example.net/path", "https://user@s3.example.net",
        "https://s3.example.net:0", "https://:80", "https://host:99999"}) {
    SCOPED_TRACE(bad);
    try {
      ParseEndpoint(bad);
      ADD_FAILURE() << "taken";
    } catch (const Exception& error) {
      EXPECT_THAT(error.Message, HasSubstr("'" + bad + "'"));
    }
  }
}

TEST(S3PlaceTest, EnvironmentFillsWhatIsNotGiven) {
  TScopedEnv env;
  env.Set("AWS_ENDPOINT_URL", "http://127.0.0.1:9000");
  env.Set("AWS_REGION", "eu-central-1");
  env.Set("AWS_DEFAULT_REGION", "us-west-2");
  TS3Place place = PlaceOfUrl("s3://backups/shop");
  TS3Place resolved = ResolvePlace(place);
  EXPECT_EQ(resolved.Endpoint, "http://127.0.0.1:9000");
  EXPECT_EQ(resolved.Region, "eu-central-1");
  place.Endpoint = "https://s3.example.net";
  place.Region = "r1";
  resolved = ResolvePlace(place);
  EXPECT_EQ(resolved.Endpoint, "https://s3.example.net");
  EXPECT_EQ(resolved.Region, "r1");

  env.Set("AWS_REGION", "");
  env.Set("AWS_ENDPOINT_URL", "");
  place = PlaceOfUrl("s3://backups/shop");
  place.Endpoint = "https://s3.example.net";
  EXPECT_EQ(ResolvePlace(place).Region, "us-west-2");
  env.Set("AWS_DEFAULT_REGION", "");
  EXPECT_EQ(ResolvePlace(place).Region, DefaultRegion);
  place.Endpoint.clear();
  EXPECT_THROW(ResolvePlace(place), Exception);
}

TEST(S3CredentialsTest, KeyFileOrEnvironment) {
  TTempFolder folder;
  TScopedEnv env;
  env.Set("AWS_ACCESS_KEY_ID", "ENVKEY");
  env.Set("AWS_SECRET_ACCESS_KEY", "envsecret");
  env.Set("AWS_SESSION_TOKEN", "");
  struct TCase {
    std::string Name;
    std::string Content;
    mode_t Mode;
    std::string Key;    // expected; empty: refused
    std::string Error;  // part of the refusal
  };
  const std::vector<TCase> cases = {
      {"plain", "aws_access_key_id = AK1\naws_secret_access_key = s1\n", 0600, "AK1", ""},
      {"profiles",
       "[other]\naws_access_key_id=AK0\naws_secret_access_key=s0\n[default]\n# note\n"
       "AWS_ACCESS_KEY_ID = AK2\r\naws_secret_access_key = s2/with=sign\r\n",
       0600, "AK2", ""},
      {"open to others", "aws_access_key_id = AK3\naws_secret_access_key = s3\n", 0640, "",
       "can be used by others than its owner (mode 0640)"},
      {"no secret", "aws_access_key_id = AK4\n", 0600, "", "gives no aws_access_key_id and aws_secret_access_key"},
      {"other profile only", "[other]\naws_access_key_id=AK0\naws_secret_access_key=s0\n", 0600, "",
       "in its [default] section"},
  };
  for (const TCase& test : cases) {
    SCOPED_TRACE(test.Name);
    const std::string path = folder / test.Name;
    WriteFileBytes(path, test.Content);
    chmod(path.c_str(), test.Mode);
    if (!test.Key.empty()) {
      const TS3Credentials keys = ResolveCredentials(path);
      EXPECT_EQ(keys.AccessKeyId, test.Key);
      EXPECT_EQ(keys.SecretAccessKey, test.Name == "profiles" ? "s2/with=sign" : "s1");
      continue;
    }
    try {
      ResolveCredentials(path);
      ADD_FAILURE() << "taken";
    } catch (const Exception& error) {
      EXPECT_THAT(error.Message, HasSubstr(path));
      EXPECT_THAT(error.Message, HasSubstr(test.Error));
    }
  }
  EXPECT_EQ(ReadCredentialsFile(folder / "profiles", "other").AccessKeyId, "AK0");
  EXPECT_EQ(ResolveCredentials("").AccessKeyId, "ENVKEY");
  env.Set("AWS_SECRET_ACCESS_KEY", "");
  EXPECT_FALSE(CredentialsFromEnvironment().has_value());
  EXPECT_THROW(ResolveCredentials(""), Exception);
}

TEST(S3EncodingTest, AsTheSignatureExpects) {
  EXPECT_EQ(S3Encode("shop/a b+c~d_e.f-g", true), "shop/a%20b%2Bc~d_e.f-g");
  EXPECT_EQ(S3Encode("p/", false), "p%2F");
  EXPECT_EQ(S3Encode("файл", true), "%D1%84%D0%B0%D0%B9%D0%BB");
  EXPECT_EQ(S3Time(0), "1970-01-01T00:00:00.000Z");
  EXPECT_EQ(S3Time(1796688000), "2026-12-08T00:00:00.000Z");
}

}  // namespace
