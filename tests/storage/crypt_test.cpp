// Client-side encryption: the key file, a round trip in any pieces, and
// every kind of damage refused at the first chunk it touches.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>

#include "platform/temp_folder.h"
#include "storage/crypt/crypt_key.h"
#include "storage/crypt/decrypting_reader.h"
#include "storage/crypt/encrypting_writer.h"
#include "storage/digest.h"
#include "storage/s3_gateway.h"

using ::testing::HasSubstr;

namespace {

constexpr std::size_t Chunk = 1024;
constexpr std::size_t Sealed = Chunk + CryptTagBytes;

TCryptKey KeyOf(char seed) { return TCryptKey(std::string(CryptKeyBytes, seed)); }

std::string Encrypt(const TCryptKey& key, const std::string& plain, std::size_t piece = 777) {
  std::string out;
  TEncryptingWriter writer(
      key, [&](const char* data, std::size_t size) { out.append(data, size); }, Chunk);
  for (std::size_t at = 0; at < plain.size(); at += piece) {
    writer.Write(plain.data() + at, std::min(piece, plain.size() - at));
  }
  writer.Finish();
  return out;
}

// Decrypts pushing `piece` bytes at a time; the plaintext handed on before
// a failure comes back in `delivered`.
std::string Decrypt(const TCryptKey& key, const std::string& sealed, std::string* delivered = nullptr,
                    std::size_t piece = 500) {
  std::string out;
  TDecryptor decryptor(key, [&](const char* data, std::size_t size) { out.append(data, size); });
  try {
    for (std::size_t at = 0; at < sealed.size(); at += piece) {
      decryptor.Write(sealed.data() + at, std::min(piece, sealed.size() - at));
    }
    decryptor.Finish();
  } catch (...) {
    if (delivered != nullptr) *delivered = out;
    throw;
  }
  return out;
}

TEST(CryptTest, RoundTripInAnyPieces) {
  const TCryptKey key = KeyOf('k');
  for (const std::size_t size : std::vector<std::size_t>{0, 1, Chunk - 1, Chunk, Chunk + 1, 5 * Chunk, 7777 * 3}) {
    SCOPED_TRACE(size);
    const std::string plain = s3test::TestBytes(size, static_cast<std::uint32_t>(size));
    const std::string sealed = Encrypt(key, plain);
    // Header, full chunks, and a last chunk of 0 to Chunk bytes.
    const std::size_t chunks = size == 0 ? 1 : (size + Chunk - 1) / Chunk;
    EXPECT_EQ(sealed.size(), CryptHeaderBytes + size + chunks * CryptTagBytes);
    if (size >= 64) {
      EXPECT_EQ(sealed.find(plain.substr(0, 64)), std::string::npos);
    }
    EXPECT_TRUE(Decrypt(key, sealed) == plain);
    EXPECT_TRUE(Decrypt(key, sealed, nullptr, 1) == plain);

    // The reader pulls it in whatever pieces its input gives.
    std::size_t at = 0;
    TDecryptingReader reader(key, [&](char* buffer, std::size_t capacity) {
      const std::size_t n = std::min({capacity, sealed.size() - at, std::size_t{333}});
      std::memcpy(buffer, sealed.data() + at, n);
      at += n;
      return n;
    });
    std::string back;
    char buffer[100];
    for (std::size_t n; (n = reader.Read(buffer, sizeof buffer)) > 0;) back.append(buffer, n);
    EXPECT_TRUE(back == plain);
  }
  // The same data twice: other nonces, other bytes.
  EXPECT_NE(Encrypt(key, "same"), Encrypt(key, "same"));
}

// Each damage is refused at the chunk it touches: what came before that
// chunk has been handed on, nothing of it or after it.
TEST(CryptTest, DamageIsRefusedAtTheFirstBadChunk) {
  const TCryptKey key = KeyOf('k');
  const std::string plain = s3test::TestBytes(5 * Chunk + 100, 5);
  const std::string sealed = Encrypt(key, plain);
  auto chunkAt = [&](std::size_t i) { return CryptHeaderBytes + i * Sealed; };
  struct TCase {
    std::string Name;
    std::string Bytes;
    std::size_t GoodChunks;  // handed on before the refusal
    std::string Text;
  };
  std::string altered = sealed;
  altered[chunkAt(2) + 10] ^= 0x01;
  std::string alteredTag = sealed;
  alteredTag[chunkAt(3) - 1] ^= 0x80;
  std::string swapped = sealed;
  std::copy(sealed.begin() + chunkAt(2), sealed.begin() + chunkAt(3), swapped.begin() + chunkAt(1));
  std::copy(sealed.begin() + chunkAt(1), sealed.begin() + chunkAt(2), swapped.begin() + chunkAt(2));
  std::string alteredHeader = sealed;
  alteredHeader[30] ^= 0x01;  // the nonce base
  std::string repeated = sealed.substr(0, chunkAt(2)) + sealed.substr(chunkAt(1));
  const std::vector<TCase> cases = {
      {"altered byte", altered, 2, "chunk 3 (from byte " + std::to_string(chunkAt(2)) + ") fails"},
      {"altered tag", alteredTag, 2, "chunk 3 "},
      {"chunks swapped", swapped, 1, "chunk 2 "},
      {"chunk repeated", repeated, 2, "chunk 3 "},
      {"altered header", alteredHeader, 0, "chunk 1 "},
      {"cut at a chunk's end", sealed.substr(0, chunkAt(3)), 2, "chunk 3 "},
      {"cut inside a chunk", sealed.substr(0, chunkAt(3) + 20), 3, "chunk 4 "},
      {"last chunk dropped", sealed.substr(0, chunkAt(5)), 4, "chunk 5 "},
      {"carried on past the end", sealed + sealed.substr(chunkAt(1), Sealed), 5, "chunk 6 "},
      {"nothing but the header", sealed.substr(0, CryptHeaderBytes), 0, "chunk 1 "},
      {"cut in the header", sealed.substr(0, 20), 0, "ends within its header"},
      {"not encrypted", plain, 0, "not encrypted by this program"},
  };
  for (const TCase& test : cases) {
    SCOPED_TRACE(test.Name);
    std::string delivered;
    try {
      Decrypt(key, test.Bytes, &delivered);
      ADD_FAILURE() << "damaged data was taken";
    } catch (const ECryptError& error) {
      EXPECT_THAT(error.Message, HasSubstr(test.Text));
    }
    EXPECT_TRUE(delivered == plain.substr(0, test.GoodChunks * Chunk)) << delivered.size();
  }
}

TEST(CryptTest, WrongKeyIsRefusedBeforeAnyData) {
  const TCryptKey key = KeyOf('k');
  const TCryptKey other = KeyOf('o');
  const std::string sealed = Encrypt(key, s3test::TestBytes(3000, 1));
  std::string delivered = "x";
  try {
    Decrypt(other, sealed, &delivered);
    ADD_FAILURE() << "another key opened the data";
  } catch (const ECryptError& error) {
    EXPECT_THAT(error.Message, HasSubstr("encrypted with another key (key id " + key.Id()));
    EXPECT_THAT(error.Message, HasSubstr("the key given has the id " + other.Id()));
  }
  EXPECT_TRUE(delivered.empty());
  // A header that names the other key's id still fails at chunk 1.
  std::string forged = sealed;
  forged.replace(16, 8, other.RawId());
  EXPECT_THROW(Decrypt(other, forged), ECryptError);
}

TEST(CryptTest, KeyFiles) {
  TTempFolder folder;
  const TCryptKey made = CreateKeyFile(folder / "new.key");
  struct stat info {};
  ASSERT_EQ(stat((folder / "new.key").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  EXPECT_EQ(ReadKeyFile(folder / "new.key").Bytes(), made.Bytes());
  EXPECT_EQ(made.Id().size(), 16u);
  EXPECT_THROW(CreateKeyFile(folder / "new.key"), EOSError);  // never overwritten
  EXPECT_EQ(ReadKeyFile(folder / "new.key").Bytes(), made.Bytes());

  struct TCase {
    std::string Name;
    std::string Content;
    mode_t Mode;
    std::string Error;  // empty: read
  };
  const std::string raw(CryptKeyBytes, '\xA5');
  const std::vector<TCase> cases = {
      {"raw", raw, 0600, ""},
      {"hex", " " + std::string(64, 'A') + "\r\n", 0400, ""},
      {"readable by others", raw, 0644, "can be used by others than its owner (mode 0644); make it its owner's only"},
      {"group-writable", raw, 0620, "(mode 0620)"},
      {"too short", std::string(31, 'x'), 0600, "neither 32 bytes nor 64 hexadecimal digits"},
      {"not hex", std::string(64, 'g'), 0600, "neither 32 bytes"},
  };
  for (const TCase& test : cases) {
    SCOPED_TRACE(test.Name);
    const std::string path = folder / (test.Name + ".key");
    WriteFileBytes(path, test.Content);
    chmod(path.c_str(), test.Mode);
    if (test.Error.empty()) {
      EXPECT_EQ(ReadKeyFile(path).Bytes().size(), CryptKeyBytes);
    } else {
      try {
        ReadKeyFile(path);
        ADD_FAILURE() << "the key file was taken";
      } catch (const Exception& error) {
        EXPECT_THAT(error.Message, HasSubstr(path));
        EXPECT_THAT(error.Message, HasSubstr(test.Error));
      }
    }
  }
  EXPECT_THROW(ReadKeyFile(folder / "missing.key"), EOSError);
}

}  // namespace
