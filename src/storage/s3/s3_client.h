#pragma once
// Requests to one bucket of an S3-compatible store: objects read, listed,
// written and deleted, multipart uploads, Object Lock. Every request is
// signed (AWS Signature V4) and carries its payload hash; faults that may
// pass (no connection, a reset, a time-out, 5xx, 503 SlowDown) are retried
// with growing pauses a bounded number of times, then raised as ES3Error
// with the reason. A stop asked by the caller gives a request up
// (ES3Stopped) except the clean-up after a failure. One request at a time:
// a client is not shared between threads that use it at once.

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "storage/s3/http_transfer.h"
#include "storage/s3/s3_credentials.h"
#include "storage/s3/s3_place.h"

class ES3Error;

struct TRetryPolicy {
  int Attempts = 5;  // in all, the first one included
  int FirstDelayMs = 500;
  int MaxDelayMs = 20000;
};

struct TS3Options {
  TTransferLimits Limits;
  TRetryPolicy Retry;
  // Told of every attempt that failed and will be made again, in the words
  // of the operation log (the request, the reason, the pause).
  std::function<void(const std::string& line)> OnRetry;
};

// An object's protection by Object Lock: nobody can delete or overwrite the
// object's version before `RetainUntil` (in governance mode, a user with the
// right to bypass it can).
struct TS3ObjectLock {
  enum class TMode { Governance, Compliance };
  TMode Mode = TMode::Compliance;
  std::int64_t RetainUntil = 0;  // seconds since 1970-01-01 UTC
};

// User metadata: names without "x-amz-meta-", in lower case.
using TS3Metadata = std::map<std::string, std::string>;

struct TS3ObjectInfo {
  std::string Key;
  std::uint64_t Size = 0;
  std::string ETag;       // without the quotes
  std::string VersionId;  // in a versioned bucket (Object Lock makes one)
  std::int64_t LastModified = 0;
  // Read by HEAD (and GET) only, not by a listing:
  TS3Metadata Metadata;
  std::optional<TS3ObjectLock> Lock;
};

// One version of an object in a versioned bucket, or a delete marker (what
// a delete without a version leaves: it hides the object, its versions stay).
struct TS3ObjectVersion {
  TS3ObjectInfo Object;  // Key, VersionId, Size, ETag, LastModified
  bool Latest = false;
  bool DeleteMarker = false;
};

struct TS3MultipartUpload {
  std::string Key;
  std::string UploadId;
};

struct TS3Part {
  int Number = 0;
  std::string ETag;
};

class TS3Client {
 public:
  // `place` as ResolvePlace makes it.
  TS3Client(TS3Place place, const TS3Credentials& credentials, TS3Options options = {});

  const TS3Place& Place() const { return FPlace; }

  TS3ObjectInfo HeadObject(const std::string& key, const std::string& versionId = {});
  // nullopt when there is no such object.
  std::optional<TS3ObjectInfo> FindObject(const std::string& key);
  // Streams the object to `sink` in pieces as they arrive. A transfer broken
  // off part-way goes on from the next byte of the same object (the sink
  // never sees a byte twice). Returns what the answer said of the object.
  TS3ObjectInfo GetObject(const std::string& key, const TBodySink& sink);
  // Every object whose key starts with `prefix`, in key order, read a page
  // of `pageSize` keys at a time.
  std::vector<TS3ObjectInfo> ListObjects(const std::string& prefix, int pageSize = 1000);
  // Every version and delete marker under `prefix`, by key, newest first.
  std::vector<TS3ObjectVersion> ListObjectVersions(const std::string& prefix);
  // In a versioned bucket, deleting without a version only hides the
  // object; a version id deletes that version (refused while it is locked).
  void DeleteObject(const std::string& key, const std::string& versionId = {}, bool bypassGovernance = false);
  TS3ObjectInfo PutObject(const std::string& key, std::string_view body, const TS3Metadata& metadata = {},
                          const std::optional<TS3ObjectLock>& lock = std::nullopt);

  // Multipart upload: its id.
  std::string CreateMultipartUpload(const std::string& key, const TS3Metadata& metadata = {},
                                    const std::optional<TS3ObjectLock>& lock = std::nullopt);
  // The part's ETag (without quotes). Parts are numbered from 1. `md5`: the
  // data's raw MD5 where the caller has it already.
  std::string UploadPart(const std::string& key, const std::string& uploadId, int partNumber, std::string_view data,
                         const std::string& md5 = {});
  void CompleteMultipartUpload(const std::string& key, const std::string& uploadId, const std::vector<TS3Part>& parts);
  // Runs also once a stop is asked: it is the clean-up after a failure.
  void AbortMultipartUpload(const std::string& key, const std::string& uploadId);
  std::vector<TS3MultipartUpload> ListMultipartUploads(const std::string& prefix);
  // Aborts every unfinished upload of exactly `key` (what a job that was cut
  // off left behind); how many there were.
  int AbortUploadsOf(const std::string& key);

  // Sets a version's retention (PutObjectRetention): for stores that take
  // the lock headers of a single PUT but not of a multipart upload.
  void PutObjectRetention(const std::string& key, const std::string& versionId, const TS3ObjectLock& lock);
  // Whether the bucket has Object Lock enabled.
  bool ObjectLockEnabled();
  void CreateBucket(bool objectLock = false);
  void DeleteBucket();

 private:
  struct TCall;
  std::string UrlOf(const TCall& call) const;
  std::string Describe(const TCall& call) const;
  THttpAnswer Send(const TCall& call, const TBodySink& sink = {});
  THttpAnswer SendOnce(const TCall& call, const TBodySink& sink);
  void PauseBeforeRetry(const TCall& call, const ES3Error& error, int attempt);
  std::vector<std::string> WriteHeaders(std::string_view body, const TS3Metadata& metadata,
                                        const std::optional<TS3ObjectLock>& lock) const;

  TS3Place FPlace;
  TS3Endpoint FEndpoint;
  TS3Options FOptions;
  THttpTransfer FTransfer;
};

// Percent-encoding as the signature expects it: every byte but letters,
// digits and "-._~" (and "/" when `keepSlash`) as %XX.
std::string S3Encode(std::string_view text, bool keepSlash);
// "YYYY-MM-DDTHH:MM:SS.000Z" of seconds since 1970 UTC.
std::string S3Time(std::int64_t seconds);
