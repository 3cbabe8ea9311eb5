// Object Lock on the real RADOS gateway: copies written with a retention
// date cannot be deleted before it, and HEAD tells until when.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <ctime>

#include "storage/s3/s3_error.h"
#include "storage/s3_gateway.h"
#include "storage/upload/multipart_uploader.h"
#include "storage/upload/part_sizes.h"

using s3test::TestBytes;

namespace {

class ObjectLockTest : public s3test::TS3GatewayTest {
 protected:
  bool CreateWithObjectLock() const override { return true; }
};

using TMode = TS3ObjectLock::TMode;

TEST_F(ObjectLockTest, LockedCopiesCannotBeDeletedBeforeTheirDate) {
  TS3Client client = Client();
  ASSERT_TRUE(client.ObjectLockEnabled());
  const std::int64_t until = std::time(nullptr) + 86400;
  struct TCase {
    std::string Key;
    std::size_t Size;
    TMode Mode;
  };
  // Through one request and through a multipart upload, in both modes.
  for (const TCase& test :
       {TCase{"small.gbk.zst", 4000, TMode::Governance}, TCase{"large.gbk.zst", 6 * MiB, TMode::Compliance},
        TCase{"large-governed.gbk.zst", 6 * MiB, TMode::Governance}}) {
    SCOPED_TRACE(test.Key);
    TUploadOptions options;
    options.Lock = TS3ObjectLock{test.Mode, until};
    TMultipartUploader upload(client, test.Key, options);
    const std::string bytes = TestBytes(test.Size, 17);
    upload.Write(bytes.data(), bytes.size());
    const TUploadedObject object = upload.Commit();
    ASSERT_TRUE(object.Lock.has_value());
    EXPECT_EQ(object.Lock->RetainUntil, until);
    EXPECT_EQ(object.Lock->Mode, test.Mode);
    ASSERT_FALSE(object.VersionId.empty());

    const TS3ObjectInfo head = client.HeadObject(test.Key, object.VersionId);
    ASSERT_TRUE(head.Lock.has_value());
    EXPECT_EQ(head.Lock->RetainUntil, until);

    try {
      client.DeleteObject(test.Key, object.VersionId);
      ADD_FAILURE() << "the store deleted a locked copy";
    } catch (const ES3Error& error) {
      EXPECT_EQ(error.HttpStatus, 403);
      EXPECT_FALSE(error.Transient);
    }
    // A delete without a version only hides the copy behind a marker.
    client.DeleteObject(test.Key);
    EXPECT_FALSE(client.FindObject(test.Key).has_value());
    std::vector<TS3ObjectVersion> versions = client.ListObjectVersions(test.Key);
    ASSERT_EQ(versions.size(), 2u);
    EXPECT_TRUE(versions[0].DeleteMarker && versions[0].Latest);
    EXPECT_EQ(versions[1].Object.VersionId, object.VersionId);
    EXPECT_EQ(versions[1].Object.Size, test.Size);
    // Governance gives way to a user allowed to bypass it; compliance to
    // nobody.
    if (test.Mode == TMode::Governance) {
      client.DeleteObject(test.Key, object.VersionId, true);
      EXPECT_EQ(client.ListObjectVersions(test.Key).size(), 1u);
    } else {
      EXPECT_THROW(client.DeleteObject(test.Key, object.VersionId, true), ES3Error);
      EXPECT_EQ(client.HeadObject(test.Key, object.VersionId).Size, test.Size);
    }
  }
}

class PlainBucketTest : public s3test::TS3GatewayTest {};

TEST_F(PlainBucketTest, BucketWithoutObjectLockSaysSo) { EXPECT_FALSE(Client().ObjectLockEnabled()); }

}  // namespace
