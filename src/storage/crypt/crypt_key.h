#pragma once
// The key of client-side encryption: 32 random bytes in a file readable by
// its owner only, as they are or as 64 hexadecimal digits. Its id (16 hex
// digits of SHA-256 over a fixed label and the key) can stand in an object's
// metadata and in the history: it tells which key an object needs without
// telling anything of the key.

#include <cstddef>
#include <string>

inline constexpr std::size_t CryptKeyBytes = 32;

class TCryptKey {
 public:
  // Raises Exception unless `bytes` has exactly 32 bytes.
  explicit TCryptKey(std::string bytes);
  // The bytes are wiped from memory.
  ~TCryptKey();
  TCryptKey(const TCryptKey& other) = default;
  TCryptKey& operator=(const TCryptKey&) = delete;

  const std::string& Bytes() const { return FBytes; }
  // 16 lower-case hex digits.
  std::string Id() const;
  // The raw 8 bytes the id spells, as the encrypted format's header holds them.
  std::string RawId() const;

 private:
  std::string FBytes;
};

// The key in `path`. Raises EOSError naming the file when it cannot be read
// or others may use it, Exception when it holds neither form of a key.
TCryptKey ReadKeyFile(const std::string& path);

// A new random key written to `path` as 64 hex digits and a line end, in a
// new file readable by its owner only. Raises EOSError when the file exists
// already (a key is never overwritten: the objects it encrypted need it) or
// cannot be written.
TCryptKey CreateKeyFile(const std::string& path);
