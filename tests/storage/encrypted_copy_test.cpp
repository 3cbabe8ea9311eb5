// An encrypted copy through the real gateway: encrypted as it is uploaded,
// decrypted as it is downloaded; its metadata names the key's id, never the
// key; an object altered in the bucket is refused.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "storage/crypt/decrypting_reader.h"
#include "storage/crypt/encrypting_writer.h"
#include "storage/digest.h"
#include "storage/s3_gateway.h"
#include "storage/upload/multipart_uploader.h"
#include "storage/upload/part_sizes.h"

using ::testing::HasSubstr;

namespace {

class EncryptedCopyTest : public s3test::TS3GatewayTest {};

TEST_F(EncryptedCopyTest, EncryptedOnTheWayUpAndCheckedOnTheWayDown) {
  TS3Client client = Client();
  const TCryptKey key(std::string(CryptKeyBytes, 'q'));
  const std::string plain = s3test::TestBytes(13 * MiB + 99, 23);
  TUploadOptions options;
  options.ExpectedBytes = plain.size();
  options.Metadata = {{std::string(EncryptionMetadataName), std::string(EncryptionMetadataValue)},
                      {std::string(KeyIdMetadataName), key.Id()}};
  TMultipartUploader upload(client, "enc/shop.gbk.zst.enc", options);
  TEncryptingWriter encrypt(key, [&](const char* data, std::size_t size) { upload.Write(data, size); });
  for (std::size_t at = 0; at < plain.size(); at += 100000) {
    encrypt.Write(plain.data() + at, std::min<std::size_t>(100000, plain.size() - at));
  }
  encrypt.Finish();
  const TUploadedObject object = upload.Commit();
  EXPECT_EQ(object.Size, encrypt.BytesOut());
  EXPECT_EQ(object.Parts, 3);

  const TS3ObjectInfo head = client.HeadObject(object.Key);
  EXPECT_EQ(head.Metadata.at(std::string(KeyIdMetadataName)), key.Id());
  for (const auto& [name, value] : head.Metadata) EXPECT_EQ(value.find(HexOf(key.Bytes())), std::string::npos);

  std::string back;
  TDecryptor decrypt(key, [&](const char* data, std::size_t size) { back.append(data, size); });
  client.GetObject(object.Key, [&](const char* data, std::size_t size) { decrypt.Write(data, size); });
  decrypt.Finish();
  EXPECT_TRUE(back == plain);

  // One byte changed in the bucket: refused at the chunk that holds it.
  std::string stored;
  client.GetObject(object.Key, [&](const char* data, std::size_t size) { stored.append(data, size); });
  stored[CryptHeaderBytes + 3 * (DefaultCryptChunkBytes + CryptTagBytes) + 5] ^= 0x10;
  client.PutObject(object.Key, stored);
  back.clear();
  TDecryptor again(key, [&](const char* data, std::size_t size) { back.append(data, size); });
  try {
    client.GetObject(object.Key, [&](const char* data, std::size_t size) { again.Write(data, size); });
    again.Finish();
    ADD_FAILURE() << "an altered object was taken";
  } catch (const ECryptError& error) {
    EXPECT_THAT(error.Message, HasSubstr("chunk 4 "));
  }
  EXPECT_EQ(back.size(), 3 * DefaultCryptChunkBytes);
}

}  // namespace
