#pragma once
// The encrypted format: a header, then the data in chunks of a fixed size
// (the last one shorter or empty), each sealed with AES-256-GCM on its own.
//
//   header   "QUORVENC" | version 1 | cipher 1 (AES-256-GCM) | 0 0 |
//            chunk size (4 bytes, big-endian) | key id (8) | nonce base (12)
//   chunk i  ciphertext (as long as its plaintext) | tag (16)
//
// Chunk i's nonce is the nonce base with i (8 bytes, big-endian) XORed into
// its last 8 bytes; its authenticated data is the whole header, i, and a
// byte that is 1 for the last chunk only. So a changed byte anywhere, a
// chunk moved, dropped or repeated, a stream cut at a chunk's end or
// carried on past its last chunk, all fail at the first chunk concerned.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/exception.h"
#include "storage/crypt/crypt_key.h"

inline constexpr std::string_view CryptMagic = "QUORVENC";
inline constexpr std::uint8_t CryptVersion = 1;
inline constexpr std::size_t CryptHeaderBytes = 36;
inline constexpr std::size_t CryptTagBytes = 16;
inline constexpr std::size_t CryptNonceBytes = 12;
inline constexpr std::size_t DefaultCryptChunkBytes = 64 * 1024;
// Chunk sizes a reader takes: a damaged header cannot make it hold gigabytes.
inline constexpr std::size_t MinCryptChunkBytes = 1024;
inline constexpr std::size_t MaxCryptChunkBytes = 16 * 1024 * 1024;

// Object metadata that marks an encrypted object and names its key.
inline constexpr std::string_view EncryptionMetadataName = "quorvin-encryption";
inline constexpr std::string_view EncryptionMetadataValue = "aes-256-gcm-chunked-1";
inline constexpr std::string_view KeyIdMetadataName = "quorvin-key-id";

// Encrypted data that cannot be read: not of this format, damaged, altered,
// cut short, out of order, or encrypted with another key.
class ECryptError : public Exception {
 public:
  using Exception::Exception;
};

struct TCryptHeader {
  std::size_t ChunkBytes = DefaultCryptChunkBytes;
  std::string RawKeyId;   // 8 bytes
  std::string NonceBase;  // 12 bytes
};

std::string HeaderBytes(const TCryptHeader& header);
// Raises Exception saying what is wrong: not this format, another version
// or cipher, a chunk size out of bounds.
TCryptHeader ParseHeader(std::string_view bytes);

// Seals and opens the chunks of one stream.
class TChunkCipher {
 public:
  TChunkCipher(const TCryptKey& key, const TCryptHeader& header);
  ~TChunkCipher();
  TChunkCipher(const TChunkCipher&) = delete;
  TChunkCipher& operator=(const TChunkCipher&) = delete;

  // Ciphertext and tag of chunk `index`.
  std::string Seal(std::uint64_t index, bool last, std::string_view plaintext);
  // The plaintext of a sealed chunk; false (and `plaintext` cleared) when
  // it fails its authentication.
  bool Open(std::uint64_t index, bool last, std::string_view sealed, std::string& plaintext);

 private:
  std::string Nonce(std::uint64_t index) const;
  std::string AssociatedData(std::uint64_t index, bool last) const;

  std::string FKey;
  std::string FHeader;
  std::string FNonceBase;
  void* FContext = nullptr;
};
