#include "jobs/offsite/zstd_stream.h"

#include <zstd.h>

#include <string>
#include <vector>

#include "platform/exception.h"

namespace {

void Check(std::size_t result, const char* what) {
  if (ZSTD_isError(result)) throw Exception(std::string(what) + ": " + ZSTD_getErrorName(result));
}

}  // namespace

struct TZstdCompressor::TState {
  ZSTD_CCtx* Context = ZSTD_createCCtx();
  TByteOutput Output;
  std::vector<char> Buffer = std::vector<char>(ZSTD_CStreamOutSize());
  ~TState() { ZSTD_freeCCtx(Context); }

  // Runs `mode` over `in` until zstd has taken it all (and, ending, flushed).
  void Run(ZSTD_inBuffer in, ZSTD_EndDirective mode) {
    std::size_t remaining = 0;
    do {
      ZSTD_outBuffer out{Buffer.data(), Buffer.size(), 0};
      remaining = ZSTD_compressStream2(Context, &out, &in, mode);
      Check(remaining, "Compression failed");
      if (out.pos > 0) Output(Buffer.data(), out.pos);
    } while (mode == ZSTD_e_end ? remaining != 0 : in.pos < in.size);
  }
};

TZstdCompressor::TZstdCompressor(TByteOutput output, int level) : FState(std::make_unique<TState>()) {
  if (FState->Context == nullptr) throw Exception("Compression failed: no memory for zstd");
  FState->Output = std::move(output);
  Check(ZSTD_CCtx_setParameter(FState->Context, ZSTD_c_compressionLevel, level), "Compression failed");
  Check(ZSTD_CCtx_setParameter(FState->Context, ZSTD_c_checksumFlag, 1), "Compression failed");
}

TZstdCompressor::~TZstdCompressor() = default;

void TZstdCompressor::Write(const char* data, std::size_t size) {
  if (size > 0) FState->Run(ZSTD_inBuffer{data, size, 0}, ZSTD_e_continue);
}

void TZstdCompressor::Finish() { FState->Run(ZSTD_inBuffer{nullptr, 0, 0}, ZSTD_e_end); }

struct TZstdDecompressor::TState {
  ZSTD_DCtx* Context = ZSTD_createDCtx();
  TByteOutput Output;
  std::vector<char> Buffer = std::vector<char>(ZSTD_DStreamOutSize());
  std::size_t LastHint = 0;  // 0: a frame ended with the last input
  bool SawInput = false;
  ~TState() { ZSTD_freeDCtx(Context); }
};

TZstdDecompressor::TZstdDecompressor(TByteOutput output) : FState(std::make_unique<TState>()) {
  if (FState->Context == nullptr) throw Exception("Decompression failed: no memory for zstd");
  FState->Output = std::move(output);
}

TZstdDecompressor::~TZstdDecompressor() = default;

void TZstdDecompressor::Write(const char* data, std::size_t size) {
  ZSTD_inBuffer in{data, size, 0};
  while (in.pos < in.size) {
    ZSTD_outBuffer out{FState->Buffer.data(), FState->Buffer.size(), 0};
    FState->LastHint = ZSTD_decompressStream(FState->Context, &out, &in);
    Check(FState->LastHint, "The compressed copy is damaged");
    FState->SawInput = true;
    if (out.pos > 0) FState->Output(FState->Buffer.data(), out.pos);
  }
}

void TZstdDecompressor::Finish() {
  if (!FState->SawInput) throw Exception("The compressed copy is empty");
  // zstd says 0 once a frame is decoded and all of it handed on; output it
  // still holds comes out with no more input.
  while (FState->LastHint != 0) {
    ZSTD_inBuffer in{nullptr, 0, 0};
    ZSTD_outBuffer out{FState->Buffer.data(), FState->Buffer.size(), 0};
    FState->LastHint = ZSTD_decompressStream(FState->Context, &out, &in);
    Check(FState->LastHint, "The compressed copy is damaged");
    if (out.pos == 0) break;
    FState->Output(FState->Buffer.data(), out.pos);
  }
  if (FState->LastHint != 0) throw Exception("The compressed copy is cut short: it ends inside its last frame");
}
