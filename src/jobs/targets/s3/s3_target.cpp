#include "jobs/targets/s3/s3_target.h"

#include "storage/upload/multipart_uploader.h"

namespace {

class TS3CopyWriter : public TCopyWriter {
 public:
  TS3CopyWriter(TS3Client& client, std::string name, TUploadOptions options)
      : FName(std::move(name)), FUpload(client, client.Place().ObjectKey(FName), std::move(options)), FClient(client) {}

  void Write(const char* data, std::size_t size) override { FUpload.Write(data, size); }

  TStoredCopy Commit() override {
    const TUploadedObject object = FUpload.Commit();
    TStoredCopy copy{FName, FClient.Place().Describe(object.Key), object.Size, object.Sha256, {}};
    if (object.Lock) copy.RetainUntil = object.Lock->RetainUntil;
    return copy;
  }

 private:
  std::string FName;
  TMultipartUploader FUpload;
  TS3Client& FClient;
};

}  // namespace

TS3Target::TS3Target(TS3Place place, const TS3Credentials& credentials, TS3Options options)
    : FClient(std::move(place), credentials, std::move(options)) {}

std::string TS3Target::Describe(const std::string& name) const {
  return FClient.Place().Describe(FClient.Place().ObjectKey(name));
}

std::unique_ptr<TCopyWriter> TS3Target::Put(const std::string& name, const TCopyMetadata& metadata,
                                            std::uint64_t expectedBytes) {
  TUploadOptions options;
  options.ExpectedBytes = expectedBytes;
  options.Metadata = metadata;
  options.Lock = FLock;
  return std::make_unique<TS3CopyWriter>(FClient, name, std::move(options));
}

std::optional<TStoredCopy> TS3Target::Stat(const std::string& name) {
  const std::optional<TS3ObjectInfo> info = FClient.FindObject(FClient.Place().ObjectKey(name));
  if (!info) return std::nullopt;
  return CopyOf(*info);
}

void TS3Target::Read(const std::string& name, const TByteOutput& output) {
  FClient.GetObject(FClient.Place().ObjectKey(name), output);
}

std::vector<TStoredCopy> TS3Target::List() {
  std::vector<TStoredCopy> copies;
  for (const TS3ObjectInfo& info : FClient.ListObjects(FClient.Place().Prefix)) copies.push_back(CopyOf(info));
  return copies;
}

void TS3Target::Remove(const std::string& name) { FClient.DeleteObject(FClient.Place().ObjectKey(name)); }

int TS3Target::DropUnfinished(const std::string& name) {
  return FClient.AbortUploadsOf(FClient.Place().ObjectKey(name));
}

TStoredCopy TS3Target::CopyOf(const TS3ObjectInfo& info) const {
  const std::string& prefix = FClient.Place().Prefix;
  const std::string name = info.Key.rfind(prefix, 0) == 0 ? info.Key.substr(prefix.size()) : info.Key;
  TStoredCopy copy{name, FClient.Place().Describe(info.Key), info.Size, {}, info.Metadata};
  if (info.Lock) copy.RetainUntil = info.Lock->RetainUntil;
  copy.Modified = info.LastModified;
  return copy;
}
