#include "jobs/offsite/offsite_copy.h"

#include <chrono>
#include <memory>
#include <optional>

#include "jobs/offsite/zstd_stream.h"
#include "platform/sha256.h"
#include "runner/job_output.h"
#include "runner/job_requests.h"
#include "service/stream_services.h"
#include "storage/crypt/encrypting_writer.h"

std::string OffsiteCopyName(const std::string& backupFileName) { return backupFileName + ".zst"; }

std::string OffsiteChecksumName(const std::string& copyName) { return copyName + ".sha256"; }

namespace {

// The stages between the server's stream and the target: zstd, then the
// encryption when there is a key, then the copy's writer.
class TOffsitePipe {
 public:
  TOffsitePipe(TCopyWriter& writer, const TCryptKey* key) {
    TByteOutput toTarget = [&writer](const char* data, std::size_t size) { writer.Write(data, size); };
    if (key != nullptr) {
      FEncrypt.emplace(*key, toTarget);
      toTarget = [this](const char* data, std::size_t size) { FEncrypt->Write(data, size); };
    }
    FCompress = std::make_unique<TZstdCompressor>(toTarget);
  }
  void Write(const char* data, std::size_t size) {
    FIn += size;
    FCompress->Write(data, size);
  }
  void Finish() {
    FCompress->Finish();
    if (FEncrypt) FEncrypt->Finish();
  }
  std::uint64_t BytesIn() const { return FIn; }

 private:
  std::optional<TEncryptingWriter> FEncrypt;
  std::unique_ptr<TZstdCompressor> FCompress;
  std::uint64_t FIn = 0;
};

TCopyMetadata MetadataOf(const std::string& backupFileName, const TCryptKey* key) {
  TCopyMetadata metadata{{CopyMetaCompression, "zstd"}, {CopyMetaBackup, backupFileName}};
  if (key != nullptr) {
    metadata[CopyMetaEncryption] = "aes-256-gcm";
    metadata[CopyMetaKeyId] = key->Id();
  }
  return metadata;
}

void StreamBackup(const TLocalCopySource& source, TOffsitePipe& pipe, TJobOutput& output) {
  std::unique_ptr<TIBBackupService> request = MakeBackupRequest(source.Database, source.BackupFile, source.Protocol,
                                                                source.UserName, source.Password, source.Options, true);
  auto& stream = static_cast<TIBBackupStreamService&>(*request);
  stream.SetActive(true);
  stream.ServiceStart();
  const auto toPipe = [&](const char* data, std::size_t size) { pipe.Write(data, size); };
  auto lastLine = std::chrono::steady_clock::now();
  while (!stream.OutputEnded()) {
    stream.ReadStreamPiece(toPipe);
    output.ThrowIfStopped();
    if (std::chrono::steady_clock::now() - lastLine < std::chrono::seconds(5)) continue;
    lastLine = std::chrono::steady_clock::now();
    output.AddPaneLine("Sent " + std::to_string(pipe.BytesIn() / (1024 * 1024)) + " MB of the backup");
  }
  // The stream has ended: a failed detach does not spoil it.
  try {
    ReleaseRequest(*request);
  } catch (const std::exception& error) {
    output.AddPaneLine(std::string("ERROR: ") + error.what());
  }
}

// The checksum beside the copy, as sha256sum writes it.
void PutChecksum(TBackupTarget& target, const TStoredCopy& copy) {
  const std::string line = Sha256SumLine(copy.Sha256, copy.Name);
  std::unique_ptr<TCopyWriter> writer =
      target.Put(OffsiteChecksumName(copy.Name), {{CopyMetaSha256, copy.Sha256}}, line.size());
  writer->Write(line.data(), line.size());
  writer->Commit();
}

}  // namespace

TOffsiteCopyInfo MakeOffsiteCopy(const TLocalCopySource& source, TBackupTarget& target, const TCryptKey* key,
                                 std::uint64_t expectedBytes, TJobOutput& output) {
  output.ThrowIfStopped();
  const std::string name = OffsiteCopyName(source.BackupFile.FileName);
  output.AddPaneLine("Off-site copy: " + target.Describe(name) + (key ? ", encrypted with key " + key->Id() : ""));
  TOffsiteCopyInfo info;
  std::unique_ptr<TCopyWriter> writer = target.Put(name, MetadataOf(source.BackupFile.FileName, key), expectedBytes);
  TOffsitePipe pipe(*writer, key);
  StreamBackup(source, pipe, output);
  pipe.Finish();
  info.Copy = writer->Commit();
  info.InputBytes = pipe.BytesIn();
  info.KeyId = key ? key->Id() : std::string();
  try {
    PutChecksum(target, info.Copy);
  } catch (...) {
    // A copy whose checksum is not beside it is not reported as made.
    try {
      target.Remove(name);
    } catch (const std::exception& error) {
      output.AddPaneLine(std::string("ERROR: ") + error.what());
    }
    throw;
  }
  output.AddPaneLine("Stored " + std::to_string(info.Copy.Size) + " bytes (" + std::to_string(info.InputBytes) +
                     " before compression), SHA-256: " + info.Copy.Sha256);
  output.AddPaneLine("**** OFF-SITE COPY COMPLETE ****");
  return info;
}
