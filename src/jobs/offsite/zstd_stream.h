#pragma once
// zstd compression and decompression as streams: bytes pushed in, the
// result handed on in pieces as it comes, with memory bounded by zstd's own
// window whatever the size.

#include <cstddef>
#include <memory>

#include "storage/crypt/encrypting_writer.h"

class TZstdCompressor {
 public:
  TZstdCompressor(TByteOutput output, int level = 3);
  ~TZstdCompressor();
  TZstdCompressor(const TZstdCompressor&) = delete;
  TZstdCompressor& operator=(const TZstdCompressor&) = delete;

  void Write(const char* data, std::size_t size);
  // Ends the frame: everything is handed on.
  void Finish();

 private:
  struct TState;
  std::unique_ptr<TState> FState;
};

class TZstdDecompressor {
 public:
  explicit TZstdDecompressor(TByteOutput output);
  ~TZstdDecompressor();
  TZstdDecompressor(const TZstdDecompressor&) = delete;
  TZstdDecompressor& operator=(const TZstdDecompressor&) = delete;

  // Raises Exception for data that is not zstd or is damaged.
  void Write(const char* data, std::size_t size);
  // Raises when the stream ended inside a frame (cut short).
  void Finish();

 private:
  struct TState;
  std::unique_ptr<TState> FState;
};
