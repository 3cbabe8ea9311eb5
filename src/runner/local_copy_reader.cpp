#include "runner/local_copy_reader.h"

#include <zstd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

#include "platform/durable_file.h"
#include "platform/exception.h"
#include "platform/files.h"
#include "platform/sha256.h"
#include "platform/text.h"
#include "runner/worker_thread.h"

bool IsCompressedCopy(const std::string& path) {
  constexpr std::string_view Extension = ".zst";
  return path.size() >= Extension.size() &&
         SameTextAscii(std::string_view(path).substr(path.size() - Extension.size()), Extension);
}

std::optional<std::string> ReadChecksumFile(const std::string& checksumFile) {
  std::ifstream in(checksumFile, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  if (!in) return std::nullopt;
  return ParseSha256SumLine(text.str());
}

struct TLocalCopyReader::TReading {
  int File = -1;
  TWorkerThread Thread;
  ~TReading() { CloseFile(File); }
};

TLocalCopyReader::TLocalCopyReader(std::string path, TLocalCopyTuning tuning)
    : FPath(std::move(path)), FTuning(tuning), FQueue(tuning.QueueChunks) {}

TLocalCopyReader::~TLocalCopyReader() {
  FQueue.Cancel();
  if (FReading) FReading->Thread.Wait();
}

TChecksumCheck TLocalCopyReader::CheckChecksum(const std::function<void()>& afterBlock) const {
  const std::string checksumFile = ChecksumFileOf(FPath);
  if (!FileExists(checksumFile)) {
    if (!IsCompressedCopy(FPath)) return {TChecksumCheck::NoChecksumFile, {}, {}};
    return {TChecksumCheck::Missing,
            {},
            "The checksum file " + checksumFile + " of the copy " + FPath +
                " is missing: the copy cannot be checked, nothing was restored"};
  }
  const std::optional<std::string> expected = ReadChecksumFile(checksumFile);
  if (!expected) {
    return {
        TChecksumCheck::Unreadable, {}, "The checksum file " + checksumFile + " cannot be read as a SHA-256 checksum"};
  }
  const std::string actual = Sha256OfFile(FPath, afterBlock);
  if (actual != *expected) {
    return {TChecksumCheck::Differs, actual,
            "The copy " + FPath + " does not match its checksum file " + checksumFile + " (SHA-256 " + actual +
                ", expected " + *expected + "): the copy is damaged, nothing was restored"};
  }
  return {TChecksumCheck::Matches, actual, {}};
}

std::string TLocalCopyReader::VerifyChecksum(const std::function<void()>& afterBlock) {
  const TChecksumCheck check = CheckChecksum(afterBlock);
  if (check.Refused()) throw Exception(check.Reason);
  return check.Digest;
}

void TLocalCopyReader::Start() {
  FReading = std::make_unique<TReading>();
  FReading->File = OpenForReading(FPath);
  FReading->Thread.Start([this] {
    try {
      ReadAll(FReading->File);
    } catch (...) {
      FQueue.Cancel();
      throw;
    }
    FQueue.Close();
  });
}

void TLocalCopyReader::ReadAll(int fd) {
  std::vector<char> block(std::max<std::size_t>(ZSTD_DStreamInSize(), FTuning.ChunkBytes));
  if (!IsCompressedCopy(FPath)) {
    for (std::size_t n; (n = ReadBlock(fd, block.data(), block.size(), FPath)) > 0;) {
      if (!FQueue.Push(TChunk(block.begin(), block.begin() + static_cast<std::ptrdiff_t>(n)))) return;
    }
    return;
  }
  std::unique_ptr<ZSTD_DCtx, decltype(&ZSTD_freeDCtx)> context(ZSTD_createDCtx(), &ZSTD_freeDCtx);
  if (!context) throw Exception("Cannot start the decompression of " + FPath);
  // The last result of the decoder: 0 once a frame is complete (an empty
  // file has none, so it counts as cut short).
  std::size_t frameOpen = 1;
  for (std::size_t n; (n = ReadBlock(fd, block.data(), block.size(), FPath)) > 0;) {
    ZSTD_inBuffer in{block.data(), n, 0};
    while (in.pos < in.size) {
      TChunk out(FTuning.ChunkBytes);
      ZSTD_outBuffer buffer{out.data(), out.size(), 0};
      frameOpen = ZSTD_decompressStream(context.get(), &buffer, &in);
      if (ZSTD_isError(frameOpen)) {
        throw Exception("The copy " + FPath + " is damaged: " + ZSTD_getErrorName(frameOpen));
      }
      out.resize(buffer.pos);
      if (!out.empty() && !FQueue.Push(std::move(out))) return;
    }
  }
  // Data the decoder still holds comes out without further input.
  while (frameOpen != 0) {
    TChunk out(FTuning.ChunkBytes);
    ZSTD_outBuffer buffer{out.data(), out.size(), 0};
    ZSTD_inBuffer none{nullptr, 0, 0};
    frameOpen = ZSTD_decompressStream(context.get(), &buffer, &none);
    if (ZSTD_isError(frameOpen)) throw Exception("The copy " + FPath + " is damaged: " + ZSTD_getErrorName(frameOpen));
    if (buffer.pos == 0) throw Exception("The copy " + FPath + " is cut short");
    out.resize(buffer.pos);
    if (!FQueue.Push(std::move(out))) return;
  }
}

std::size_t TLocalCopyReader::Read(char* buffer, std::size_t capacity, const std::function<void()>& whileWaiting) {
  if (!FReading) throw Exception("The backup file " + FPath + " was not opened");
  while (FCurrentAt == FCurrent.size()) {
    if (FEnded) return 0;
    std::optional<TChunk> next = FQueue.Pop(whileWaiting);
    if (!next) {
      FReading->Thread.Wait(whileWaiting);
      if (std::exception_ptr error = FReading->Thread.Error()) std::rethrow_exception(error);
      FEnded = true;
      return 0;
    }
    FCurrent = std::move(*next);
    FCurrentAt = 0;
  }
  const std::size_t n = std::min(capacity, FCurrent.size() - FCurrentAt);
  std::memcpy(buffer, FCurrent.data() + FCurrentAt, n);
  FCurrentAt += n;
  FDelivered += n;
  return n;
}
