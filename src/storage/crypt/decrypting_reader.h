#pragma once
// Decrypts a stream of the encrypted format (chunk_format.h) and hands on
// only what has passed its authentication, chunk by chunk. The first chunk
// that fails (a changed byte, a chunk moved or dropped, a wrong key, a
// stream cut short or carried on past its end) stops it with ECryptError
// before a byte of that chunk goes on. A caller must still treat what it
// received before as unfinished until Finish (or the reader's end) has
// confirmed the last chunk.
//
//   TDecryptor decrypt(key, [&](const char* d, std::size_t n) { restore.Write(d, n); });
//   client.GetObject(key, [&](const char* d, std::size_t n) { decrypt.Write(d, n); });
//   decrypt.Finish();

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "storage/crypt/chunk_format.h"
#include "storage/crypt/encrypting_writer.h"

// Decryption fed by pushes (as a download delivers its bytes).
class TDecryptor {
 public:
  TDecryptor(const TCryptKey& key, TByteOutput output);
  ~TDecryptor();

  void Write(const char* data, std::size_t size);
  // Opens the last chunk: raises when the stream ends anywhere else.
  void Finish();

  std::uint64_t BytesOut() const { return FBytesOut; }

 private:
  void StartWithHeader();
  void OpenChunk(std::string_view sealed, bool last);

  TCryptKey FKey;
  TByteOutput FOutput;
  std::unique_ptr<TChunkCipher> FCipher;
  std::size_t FSealedBytes = 0;  // of a full chunk
  std::string FPending;
  std::string FPlain;
  std::uint64_t FIndex = 0;
  std::uint64_t FBytesIn = 0;
  std::uint64_t FBytesOut = 0;
  bool FFinished = false;
};

// Where a reader takes its bytes: up to `capacity` of them, 0 at the end.
using TByteInput = std::function<std::size_t(char* buffer, std::size_t capacity)>;

// Decryption pulled by the reader (as a restore reads its input).
class TDecryptingReader {
 public:
  TDecryptingReader(const TCryptKey& key, TByteInput input);

  // Up to `capacity` bytes of plaintext; 0 once the last chunk has been
  // read and confirmed. Raises ECryptError at the first bad chunk.
  std::size_t Read(char* buffer, std::size_t capacity);

 private:
  TByteInput FInput;
  std::string FReady;
  std::size_t FReadyAt = 0;
  TDecryptor FDecryptor;
  bool FEnded = false;
};
