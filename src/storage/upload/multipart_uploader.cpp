#include "storage/upload/multipart_uploader.h"

#include "platform/exception.h"
#include "storage/digest.h"
#include "storage/s3/s3_error.h"
#include "storage/upload/part_sizes.h"

TMultipartUploader::TMultipartUploader(TS3Client& client, std::string key, TUploadOptions options)
    : FClient(client), FKey(std::move(key)), FOptions(std::move(options)) {
  FBasePart = BasePartSize(FOptions.ExpectedBytes, FOptions.MinPartBytes > 0 ? FOptions.MinPartBytes : MinPartBytes);
  FFilling.reserve(FBasePart);
}

TMultipartUploader::~TMultipartUploader() {
  if (FDone) return;
  try {
    AbortUpload();
  } catch (...) {
  }
}

void TMultipartUploader::Write(const char* data, std::size_t size) {
  if (FFailure) std::rethrow_exception(FFailure);
  if (FDone) throw Exception("The upload of " + FClient.Place().Describe(FKey) + " has already ended");
  try {
    FSha256.Update(data, size);
    FWritten += size;
    while (size > 0) {
      const std::uint64_t partSize =
          PartSize(FBasePart, static_cast<int>(FParts.size()) + 1 + (FInFlight.valid() ? 1 : 0));
      const std::size_t room = static_cast<std::size_t>(partSize - FFilling.size());
      const std::size_t piece = std::min(room, size);
      FFilling.append(data, piece);
      data += piece;
      size -= piece;
      if (FFilling.size() == partSize) SendFullPart();
    }
  } catch (...) {
    Fail(std::current_exception());
  }
}

void TMultipartUploader::SendFullPart() {
  if (FUploadId.empty()) FUploadId = FClient.CreateMultipartUpload(FKey, FOptions.Metadata, FOptions.Lock);
  CollectPartInFlight();
  const int number = static_cast<int>(FParts.size()) + 1;
  if (number > MaxParts) {
    throw Exception("The object " + FClient.Place().Describe(FKey) + " grew past what one upload of " +
                    std::to_string(MaxParts) + " parts can hold");
  }
  FSending.swap(FFilling);
  FFilling.clear();
  // Room for the whole next part at once: growing by steps would copy it.
  FFilling.reserve(PartSize(FBasePart, number + 1));
  FInFlight = std::async(std::launch::async, [this, number] {
    const std::string md5 = Md5Of(FSending);
    TS3Part part{number, FClient.UploadPart(FKey, FUploadId, number, FSending, md5)};
    FPartMd5s += md5;  // read only once this task has been collected
    return part;
  });
}

void TMultipartUploader::CollectPartInFlight() {
  if (!FInFlight.valid()) return;
  FParts.push_back(FInFlight.get());
}

TUploadedObject TMultipartUploader::Commit() {
  if (FFailure) std::rethrow_exception(FFailure);
  if (FDone) throw Exception("The upload of " + FClient.Place().Describe(FKey) + " has already ended");
  try {
    TUploadedObject object = Finish();
    FDone = true;
    return object;
  } catch (...) {
    Fail(std::current_exception());
  }
}

TUploadedObject TMultipartUploader::Finish() {
  std::string expectedETag;
  if (FUploadId.empty()) {
    // Smaller than one part: one request, whose ETag is the body's MD5.
    FClient.PutObject(FKey, FFilling, FOptions.Metadata, FOptions.Lock);
    expectedETag = HexOf(Md5Of(FFilling));
  } else {
    if (!FFilling.empty()) SendFullPart();
    CollectPartInFlight();
    FClient.CompleteMultipartUpload(FKey, FUploadId, FParts);
    FUploadId.clear();  // nothing left to abort: the object stands
    expectedETag = HexOf(Md5Of(FPartMd5s)) + "-" + std::to_string(FParts.size());
  }
  TUploadedObject object = CheckObject(FWritten, expectedETag);
  object.Parts = static_cast<int>(FParts.size());
  object.Sha256 = FSha256.HexDigest();
  return object;
}

void TMultipartUploader::EnsureLocked(TUploadedObject& object) {
  const TS3ObjectLock& wanted = *FOptions.Lock;
  auto holds = [&] {
    return object.Lock && object.Lock->Mode == wanted.Mode && object.Lock->RetainUntil >= wanted.RetainUntil;
  };
  if (holds()) return;
  // Some stores (the RADOS gateway among them) drop the lock headers of a
  // multipart upload: the retention is set on the new version instead.
  FClient.PutObjectRetention(FKey, object.VersionId, wanted);
  object.Lock = FClient.HeadObject(FKey, object.VersionId).Lock;
  if (!holds()) {
    throw Exception("The object store keeps " + FClient.Place().Describe(FKey) +
                    " without the Object Lock retention it was given");
  }
}

// The object as the store has it, checked against what was sent; an object
// that fails the check is removed where the store lets it be.
TUploadedObject TMultipartUploader::CheckObject(std::uint64_t size, const std::string& expectedETag) {
  const TS3ObjectInfo info = FClient.HeadObject(FKey);
  try {
    return CheckedObject(info, size, expectedETag);
  } catch (...) {
    try {
      FClient.DeleteObject(FKey, info.VersionId);
    } catch (const std::exception&) {
    }
    throw;
  }
}

TUploadedObject TMultipartUploader::CheckedObject(const TS3ObjectInfo& info, std::uint64_t size,
                                                  const std::string& expectedETag) {
  const std::string where = FClient.Place().Describe(FKey);
  if (info.Size != size) {
    throw Exception("The object store holds " + std::to_string(info.Size) + " bytes of " + where + " where " +
                    std::to_string(size) + " were sent");
  }
  // A store that encrypts on its side gives other ETags; one of the usual
  // form must be the one the bytes sent give.
  const bool usualForm = info.ETag.size() >= 32 && (info.ETag.size() == 32 || info.ETag[32] == '-');
  if (usualForm && info.ETag != expectedETag) {
    throw Exception("The object store reports the ETag " + info.ETag + " for " + where + " where the bytes sent give " +
                    expectedETag);
  }
  TUploadedObject object;
  object.Key = FKey;
  object.Size = info.Size;
  object.ETag = info.ETag;
  object.VersionId = info.VersionId;
  object.Lock = info.Lock;
  if (FOptions.Lock) EnsureLocked(object);
  return object;
}

void TMultipartUploader::Fail(std::exception_ptr error) {
  std::string abortFailure;
  try {
    abortFailure = AbortUpload();
  } catch (...) {
  }
  if (abortFailure.empty()) {
    FFailure = error;
  } else {
    try {
      std::rethrow_exception(error);
    } catch (const std::exception& failure) {
      FFailure = std::make_exception_ptr(Exception(MessageOf(failure) + "; " + abortFailure));
    }
  }
  std::rethrow_exception(FFailure);
}

void TMultipartUploader::Abandon() {
  if (FDone) return;
  const std::string abortFailure = AbortUpload();
  if (!abortFailure.empty()) throw Exception(abortFailure);
}

// Empty when the upload is gone (or was never started); else why it stays.
std::string TMultipartUploader::AbortUpload() {
  FDone = true;
  if (FInFlight.valid()) FInFlight.wait();
  FInFlight = {};
  if (FUploadId.empty()) return {};
  try {
    FClient.AbortMultipartUpload(FKey, FUploadId);
    return {};
  } catch (const std::exception& error) {
    return "the upload " + FUploadId + " of " + FClient.Place().Describe(FKey) +
           " could not be cancelled, its parts stay in the bucket until it is: " + MessageOf(error);
  }
}
