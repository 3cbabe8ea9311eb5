#include "runner/local_copy_writer.h"

#include <zstd.h>

#include <cerrno>
#include <filesystem>
#include <utility>
#include <vector>

#include "platform/durable_file.h"
#include "platform/exception.h"
#include "platform/files.h"
#include "platform/sha256.h"
#include "runner/worker_thread.h"

namespace {

std::string FolderOf(const std::string& path) {
  const std::string folder = std::filesystem::path(path).parent_path().string();
  return folder.empty() ? "." : folder;
}

std::string NameOf(const std::string& path) { return std::filesystem::path(path).filename().string(); }

void CheckZstd(std::size_t result, const std::string& copyPath) {
  if (ZSTD_isError(result)) {
    throw Exception("Cannot compress the copy " + copyPath + ": " + ZSTD_getErrorName(result));
  }
}

}  // namespace

std::string CompressedCopyName(const std::string& backupFileName) { return backupFileName + ".zst"; }
std::string ChecksumFileOf(const std::string& copyPath) { return copyPath + ".sha256"; }

// The compressing side: zstd stream, digest of the written bytes, thread.
struct TLocalCopyWriter::TCompressor {
  ZSTD_CCtx* Context = ZSTD_createCCtx();
  TSha256 Digest;
  std::uint64_t OutputBytes = 0;
  std::vector<char> Out = std::vector<char>(ZSTD_CStreamOutSize());
  TWorkerThread Thread;
  ~TCompressor() { ZSTD_freeCCtx(Context); }
};

TLocalCopyWriter::TLocalCopyWriter(std::string copyPath, TLocalCopyTuning tuning)
    : FCopyPath(std::move(copyPath)), FTuning(tuning), FQueue(tuning.QueueChunks) {
  const std::string folder = FolderOf(FCopyPath);
  if (!std::filesystem::is_directory(folder)) {
    errno = ENOENT;
    RaiseFileError("The folder for the copy on this computer is missing:", folder);
  }
  FFile = CreateTemporaryBeside(FCopyPath, FTemporary);
  FCompressor = std::make_unique<TCompressor>();
  if (FCompressor->Context == nullptr) {
    Stop();
    throw Exception("Cannot start the compression of " + FCopyPath);
  }
  ZSTD_CCtx_setParameter(FCompressor->Context, ZSTD_c_compressionLevel, FTuning.Level);
  // The frame carries a checksum of its content: a damaged copy is noticed
  // while it is read back, even without the checksum file.
  ZSTD_CCtx_setParameter(FCompressor->Context, ZSTD_c_checksumFlag, 1);
  FPending.reserve(FTuning.ChunkBytes);
  FCompressor->Thread.Start([this] {
    try {
      CompressAll();
    } catch (...) {
      // The reader must not wait for room that will never come.
      FQueue.Cancel();
      throw;
    }
  });
}

TLocalCopyWriter::~TLocalCopyWriter() {
  if (!FCommitted) Stop();
}

void TLocalCopyWriter::Stop() {
  FQueue.Cancel();
  if (FCompressor) FCompressor->Thread.Wait();
  CloseFile(FFile);
  FFile = -1;
  if (!FTemporary.empty()) DeleteFile(FTemporary);
}

void TLocalCopyWriter::CompressAll() {
  TCompressor& c = *FCompressor;
  const auto emit = [&](ZSTD_outBuffer& out) {
    WriteFully(FFile, c.Out.data(), out.pos, FCopyPath);
    c.Digest.Update(c.Out.data(), out.pos);
    c.OutputBytes += out.pos;
  };
  while (std::optional<TChunk> chunk = FQueue.Pop()) {
    ZSTD_inBuffer in{chunk->data(), chunk->size(), 0};
    while (in.pos < in.size) {
      ZSTD_outBuffer out{c.Out.data(), c.Out.size(), 0};
      CheckZstd(ZSTD_compressStream2(c.Context, &out, &in, ZSTD_e_continue), FCopyPath);
      emit(out);
    }
    // A file whose folder was removed goes on taking data on Linux: stop
    // at once rather than at the final rename.
    if (FileUnlinked(FFile)) {
      throw Exception("The copy on this computer was removed while it was written: " + FTemporary);
    }
  }
  if (FQueue.Cancelled()) return;
  ZSTD_inBuffer none{nullptr, 0, 0};
  std::size_t remaining = 0;
  do {
    ZSTD_outBuffer out{c.Out.data(), c.Out.size(), 0};
    remaining = ZSTD_compressStream2(c.Context, &out, &none, ZSTD_e_end);
    CheckZstd(remaining, FCopyPath);
    emit(out);
  } while (remaining != 0);
}

void TLocalCopyWriter::RaiseFailure() {
  // Stopped first: the thread's error is known only once it has ended.
  Stop();
  std::exception_ptr error = FCompressor->Thread.Error();
  if (error) std::rethrow_exception(error);
  throw Exception("The copy on this computer was stopped: " + FCopyPath);
}

void TLocalCopyWriter::Write(const char* data, std::size_t size, const std::function<void()>& whileWaiting) {
  if (FCommitted || FQueue.Cancelled()) RaiseFailure();
  FInputBytes += size;
  while (size > 0) {
    const std::size_t room = FTuning.ChunkBytes - FPending.size();
    const std::size_t take = size < room ? size : room;
    FPending.insert(FPending.end(), data, data + take);
    data += take;
    size -= take;
    if (FPending.size() < FTuning.ChunkBytes) break;
    TChunk full;
    full.reserve(FTuning.ChunkBytes);
    std::swap(full, FPending);
    if (!FQueue.Push(std::move(full), whileWaiting)) RaiseFailure();
  }
}

TLocalCopyInfo TLocalCopyWriter::Commit(const std::function<void()>& whileWaiting) {
  if (FCommitted || FQueue.Cancelled()) RaiseFailure();
  if (!FPending.empty() && !FQueue.Push(std::move(FPending), whileWaiting)) RaiseFailure();
  FQueue.Close();
  FCompressor->Thread.Wait(whileWaiting);
  if (FCompressor->Thread.Error()) RaiseFailure();

  TLocalCopyInfo info;
  info.File = FCopyPath;
  info.ChecksumFile = ChecksumFileOf(FCopyPath);
  info.InputBytes = FInputBytes;
  info.OutputBytes = FCompressor->OutputBytes;
  std::string checksumTemporary;
  try {
    const int fd = FFile;
    FFile = -1;
    SyncAndClose(fd, FCopyPath);
    info.Sha256 = FCompressor->Digest.HexDigest();
    const std::string line = Sha256SumLine(info.Sha256, NameOf(FCopyPath));
    const int sumFile = CreateTemporaryBeside(info.ChecksumFile, checksumTemporary);
    try {
      WriteFully(sumFile, line.data(), line.size(), info.ChecksumFile);
    } catch (...) {
      CloseFile(sumFile);
      throw;
    }
    SyncAndClose(sumFile, info.ChecksumFile);
    InstallFiles({{FTemporary, FCopyPath}, {checksumTemporary, info.ChecksumFile}});
    FTemporary.clear();
    checksumTemporary.clear();
  } catch (...) {
    if (!checksumTemporary.empty()) DeleteFile(checksumTemporary);
    Stop();
    throw;
  }
  FCommitted = true;
  try {
    SyncFolder(FolderOf(FCopyPath));
  } catch (const std::exception&) {
    // Both files are complete and on disk under their names; only the
    // renames may not have reached the disk yet.
  }
  return info;
}
