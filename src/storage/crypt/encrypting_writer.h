#pragma once
// Encrypts a stream as it is written (chunk_format.h): the header goes out
// first, then each chunk as soon as the next byte shows that it is not the
// last; Finish seals the last one. At most one chunk is held.
//
//   TEncryptingWriter encrypt(key, [&](const char* d, std::size_t n) { upload.Write(d, n); });
//   encrypt.Write(data, size);  ...  encrypt.Finish();

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "storage/crypt/chunk_format.h"

// Where a stage hands its bytes on.
using TByteOutput = std::function<void(const char* data, std::size_t size)>;

class TEncryptingWriter {
 public:
  TEncryptingWriter(const TCryptKey& key, TByteOutput output, std::size_t chunkBytes = DefaultCryptChunkBytes);

  void Write(const char* data, std::size_t size);
  // Seals the last chunk (empty when the data ended with a full one).
  void Finish();

  std::uint64_t BytesOut() const { return FBytesOut; }

 private:
  TEncryptingWriter(const TCryptKey& key, TByteOutput output, const TCryptHeader& header);
  void Emit(const std::string& bytes);

  TByteOutput FOutput;
  std::size_t FChunkBytes;
  TChunkCipher FCipher;
  std::string FHeader;
  std::string FPending;
  std::uint64_t FIndex = 0;
  std::uint64_t FBytesOut = 0;
  bool FFinished = false;
};
