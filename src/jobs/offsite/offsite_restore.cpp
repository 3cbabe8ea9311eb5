#include "jobs/offsite/offsite_restore.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <optional>
#include <thread>

#include "jobs/offsite/offsite_copy.h"
#include "jobs/offsite/zstd_stream.h"
#include "platform/sha256.h"
#include "runner/chunk_queue.h"
#include "runner/job_outcome.h"
#include "runner/job_output.h"
#include "runner/job_requests.h"
#include "runner/job_stop.h"
#include "service/stream_services.h"
#include "storage/crypt/decrypting_reader.h"

namespace {

// The digest stored beside the copy ("<hex>  <name>").
std::string StoredDigest(TBackupTarget& target, const std::string& name) {
  std::string text;
  target.Read(OffsiteChecksumName(name), [&](const char* data, std::size_t size) {
    if (text.size() < 4096) text.append(data, size);
  });
  const std::optional<std::string> digest = ParseSha256SumLine(text);
  if (!digest) throw Exception("The checksum beside " + target.Describe(name) + " is not one sha256sum writes");
  return *digest;
}

// The download on a thread of its own, its plain backup bytes queued for
// the restore to take.
class TObjectFeed {
 public:
  TObjectFeed(TBackupTarget& target, std::string name, const TCryptKey* key)
      : FTarget(target), FName(std::move(name)), FDigest(StoredDigest(target, FName)) {
    if (key != nullptr) FKey.emplace(*key);
  }
  ~TObjectFeed() {
    FQueue.Cancel();
    if (FThread.joinable()) FThread.join();
  }

  void Start() {
    FThread = std::thread([this] { Download(); });
  }

  std::size_t Read(char* buffer, std::size_t capacity) {
    while (FAt == FCurrent.size()) {
      std::optional<TChunk> next = FQueue.Pop();
      if (!next) {
        if (FThread.joinable()) FThread.join();
        if (FFailure) std::rethrow_exception(FFailure);
        return 0;
      }
      FCurrent = std::move(*next);
      FAt = 0;
    }
    const std::size_t size = std::min(capacity, FCurrent.size() - FAt);
    std::memcpy(buffer, FCurrent.data() + FAt, size);
    FAt += size;
    FDelivered += size;
    return size;
  }
  std::uint64_t Delivered() const { return FDelivered; }

 private:
  void Download() {
    try {
      TSha256 sha;
      TZstdDecompressor decompress([this](const char* data, std::size_t size) { Queue(data, size); });
      std::optional<TDecryptor> decrypt;
      if (FKey) decrypt.emplace(*FKey, [&](const char* data, std::size_t size) { decompress.Write(data, size); });
      FTarget.Read(FName, [&](const char* data, std::size_t size) {
        sha.Update(data, size);
        decrypt ? decrypt->Write(data, size) : decompress.Write(data, size);
      });
      if (decrypt) decrypt->Finish();
      decompress.Finish();
      const std::string digest = sha.HexDigest();
      if (digest != FDigest)
        throw Exception("The copy " + FTarget.Describe(FName) + " is not the one stored: its SHA-256 is " + digest +
                        ", the one stored beside it " + FDigest);
      FQueue.Close();
    } catch (...) {
      FFailure = std::current_exception();
      FQueue.Cancel();
    }
  }
  void Queue(const char* data, std::size_t size) {
    if (!FQueue.Push(TChunk(data, data + size))) throw Exception("The restore stopped taking the backup");
  }

  TBackupTarget& FTarget;
  std::string FName;
  std::string FDigest;
  std::optional<TCryptKey> FKey;
  TChunkQueue FQueue{16};
  TChunk FCurrent;
  std::size_t FAt = 0;
  std::uint64_t FDelivered = 0;
  std::exception_ptr FFailure;
  std::thread FThread;
};

// The server's output lines to the pane while it takes the backup; the
// first line in which gbak says it failed, if any.
std::string FeedRestore(TIBRestoreStreamService& stream, TObjectFeed& feed, TJobOutput& output) {
  stream.SetActive(true);
  stream.ServiceStart();
  feed.Start();
  const TStreamSource source = [&](char* buffer, std::size_t capacity) { return feed.Read(buffer, capacity); };
  std::string failure;
  while (!stream.OutputEnded()) {
    std::string line;
    if (stream.FeedAndReadLine(source, line, StoppableWaitSeconds)) {
      if (failure.empty()) failure = FailureReportedBy(line);
      output.AddPaneLine(line);
    }
    output.ThrowIfStopped();
  }
  return failure;
}

}  // namespace

std::string OffsiteKeyProblem(const TStoredCopy& copy, const TCryptKey* key) {
  const auto keyId = copy.Metadata.find(CopyMetaKeyId);
  const bool encrypted = copy.Metadata.count(CopyMetaEncryption) > 0;
  if (!encrypted) return key == nullptr ? std::string() : "The copy " + copy.Location + " is not encrypted";
  const std::string wanted = keyId == copy.Metadata.end() ? std::string("unknown") : keyId->second;
  if (key == nullptr) return "The copy " + copy.Location + " is encrypted (key " + wanted + "): give its key file";
  if (key->Id() != wanted)
    return "The copy " + copy.Location + " is encrypted with the key " + wanted + ", not with " + key->Id();
  return {};
}

void RestoreOffsiteCopy(TBackupTarget& target, const std::string& name, const TCryptKey* key,
                        const TOffsiteRestore& job, TJobOutput& output) {
  TObjectFeed feed(target, name, key);
  output.AddPaneLine("Restore from the off-site copy " + target.Describe(name) + " into " + job.Database.FileName);
  std::unique_ptr<TIBRestoreService> request =
      MakeRestoreRequest({}, job.Database, job.Protocol, job.UserName, job.Password, job.Options, true);
  std::string failure;
  try {
    failure = FeedRestore(static_cast<TIBRestoreStreamService&>(*request), feed, output);
  } catch (...) {
    ReleaseRequest(*request);
    throw;
  }
  ReleaseRequest(*request);
  output.AddPaneLine("Sent " + std::to_string(feed.Delivered()) + " bytes of the backup");
  if (!failure.empty()) throw Exception("The restore did not complete, the server reported: " + failure);
  const std::string state =
      ShutdownStateOf(job.Database.ServerName, job.Database.LocalPath, job.Protocol, job.UserName, job.Password);
  if (!state.empty()) throw Exception("The restore did not complete: the new database is shut down (" + state + ")");
}
