#pragma once
// Copies kept as objects under a prefix of a bucket of an S3-compatible
// store. A copy is written as a multipart upload (aborted on any failure,
// so no parts stay behind) and read back with HEAD when it completes.

#include <memory>
#include <optional>
#include <string>

#include "jobs/targets/backup_target.h"
#include "storage/s3/s3_client.h"

class TS3Target : public TBackupTarget {
 public:
  // `place` as ResolvePlace makes it.
  TS3Target(TS3Place place, const TS3Credentials& credentials, TS3Options options = {});

  std::string Describe(const std::string& name) const override;
  std::unique_ptr<TCopyWriter> Put(const std::string& name, const TCopyMetadata& metadata,
                                   std::uint64_t expectedBytes) override;
  std::optional<TStoredCopy> Stat(const std::string& name) override;
  void Read(const std::string& name, const TByteOutput& output) override;
  std::vector<TStoredCopy> List() override;
  void Remove(const std::string& name) override;
  // Aborts the unfinished multipart uploads of exactly `name`'s object.
  int DropUnfinished(const std::string& name) override;

  TS3Client& Client() { return FClient; }
  // Every copy put from now on is written under this Object Lock retention
  // (nullopt: none); the bucket must have Object Lock enabled.
  void SetLock(std::optional<TS3ObjectLock> lock) { FLock = lock; }

 private:
  TStoredCopy CopyOf(const TS3ObjectInfo& info) const;

  TS3Client FClient;
  std::optional<TS3ObjectLock> FLock;
};
