#pragma once
// An object written into the store as the bytes come, in any pieces, never
// held whole: a multipart upload whose parts (sized by part_sizes.h) are
// sent one at a time on a thread of their own while the next one fills, so
// at most two parts are in memory. The SHA-256 of every byte is computed on
// the way. Commit completes the upload and reads the object back with HEAD
// (a store's Complete answer may lack the ETag): its size must be the bytes
// written and its ETag the one the parts' MD5s give. Anything that fails,
// and an uploader dropped before Commit, aborts the upload so that no parts
// stay behind; nothing is reported as made.
//
//   TMultipartUploader upload(client, place.ObjectKey(name), {.ExpectedBytes = size});
//   upload.Write(data, n);  ...
//   TUploadedObject object = upload.Commit();

#include <cstddef>
#include <cstdint>
#include <future>
#include <optional>
#include <string>
#include <vector>

#include "platform/sha256.h"
#include "storage/s3/s3_client.h"

struct TUploadOptions {
  std::uint64_t ExpectedBytes = 0;  // 0: not known
  std::uint64_t MinPartBytes = 0;   // 0: the store's usual 5 MiB
  TS3Metadata Metadata;
  std::optional<TS3ObjectLock> Lock;
};

struct TUploadedObject {
  std::string Key;
  std::uint64_t Size = 0;
  std::string ETag;
  std::string VersionId;
  std::string Sha256;                 // of every byte written, 64 hex digits
  int Parts = 0;                      // 0: small enough to go in one request
  std::optional<TS3ObjectLock> Lock;  // as the store reports it
};

class TMultipartUploader {
 public:
  TMultipartUploader(TS3Client& client, std::string key, TUploadOptions options = {});
  // An upload never committed is aborted (its failure is not raised).
  ~TMultipartUploader();
  TMultipartUploader(const TMultipartUploader&) = delete;
  TMultipartUploader& operator=(const TMultipartUploader&) = delete;

  // Raises the upload's failure (ES3Error, ES3Stopped …) once it has
  // failed; the upload is aborted by then.
  void Write(const char* data, std::size_t size);
  // Sends the rest, completes the upload and checks the object. Raises (the
  // upload aborted) on any failure.
  TUploadedObject Commit();
  // Gives the upload up now: the parts sent are removed from the store.
  // Raises when the store cannot be told (the upload's id is in the text).
  void Abandon();

  std::uint64_t BytesWritten() const { return FWritten; }
  // Empty until the first part goes.
  const std::string& UploadId() const { return FUploadId; }

 private:
  void SendFullPart();
  void CollectPartInFlight();
  TUploadedObject Finish();
  TUploadedObject CheckObject(std::uint64_t size, const std::string& expectedETag);
  TUploadedObject CheckedObject(const TS3ObjectInfo& info, std::uint64_t size, const std::string& expectedETag);
  void EnsureLocked(TUploadedObject& object);
  [[noreturn]] void Fail(std::exception_ptr error);
  std::string AbortUpload();

  TS3Client& FClient;
  std::string FKey;
  TUploadOptions FOptions;
  std::uint64_t FBasePart = 0;
  std::string FUploadId;
  std::string FFilling;
  std::string FSending;
  std::future<TS3Part> FInFlight;
  std::vector<TS3Part> FParts;
  std::string FPartMd5s;  // the parts' raw MD5s in order: the object's ETag
  TSha256 FSha256;
  std::uint64_t FWritten = 0;
  std::exception_ptr FFailure;
  bool FDone = false;
};
