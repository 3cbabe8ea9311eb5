#include "storage/s3/s3_client.h"

#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <random>
#include <thread>

#include "platform/iso_time.h"
#include "platform/text.h"
#include "storage/digest.h"
#include "storage/s3/s3_error.h"
#include "storage/s3/xml.h"

namespace {

constexpr std::string_view MetaPrefix = "x-amz-meta-";
constexpr std::string_view UnsignedPayload = "UNSIGNED-PAYLOAD";

std::string Unquoted(std::string text) {
  if (text.size() >= 2 && text.front() == '"' && text.back() == '"') text = text.substr(1, text.size() - 2);
  return text;
}

std::uint64_t NumberOf(const std::string& text) {
  try {
    return text.empty() ? 0 : std::stoull(text);
  } catch (const std::exception&) {
    return 0;
  }
}

std::string_view LockModeName(TS3ObjectLock::TMode mode) {
  return mode == TS3ObjectLock::TMode::Governance ? "GOVERNANCE" : "COMPLIANCE";
}

std::optional<TS3ObjectLock> LockOfHeaders(const THttpAnswer& answer) {
  const std::string mode = AsciiUpper(answer.Header("x-amz-object-lock-mode"));
  const auto until = ParseIso8601(answer.Header("x-amz-object-lock-retain-until-date"));
  if (mode.empty() || !until) return std::nullopt;
  TS3ObjectLock lock;
  lock.Mode = mode == "GOVERNANCE" ? TS3ObjectLock::TMode::Governance : TS3ObjectLock::TMode::Compliance;
  lock.RetainUntil = *until;
  return lock;
}

TS3ObjectInfo InfoOfHeaders(const std::string& key, const THttpAnswer& answer) {
  TS3ObjectInfo info;
  info.Key = key;
  info.Size = NumberOf(answer.Header("content-length"));
  info.ETag = Unquoted(answer.Header("etag"));
  info.VersionId = answer.Header("x-amz-version-id");
  if (const std::string modified = answer.Header("last-modified"); !modified.empty()) {
    info.LastModified = std::max<std::int64_t>(0, curl_getdate(modified.c_str(), nullptr));
  }
  for (const auto& [name, value] : answer.Headers) {
    if (StartsWith(name, MetaPrefix)) info.Metadata[name.substr(MetaPrefix.size())] = value;
  }
  info.Lock = LockOfHeaders(answer);
  return info;
}

// An object of a listing (<Contents>, <Version>, <DeleteMarker>).
TS3ObjectInfo ObjectOfEntry(const TXmlElement& entry) {
  TS3ObjectInfo info;
  info.Key = entry.ChildText("Key");
  info.Size = NumberOf(entry.ChildText("Size"));
  info.ETag = Unquoted(entry.ChildText("ETag"));
  info.LastModified = ParseIso8601(entry.ChildText("LastModified")).value_or(0);
  return info;
}

// Metadata goes in headers: printable ASCII only, or the signature and
// the store would see different bytes.
void CheckMetadata(const TS3Metadata& metadata) {
  for (const auto& [name, value] : metadata) {
    bool printable = !name.empty();
    for (char c : name + value) printable = printable && c >= ' ' && c <= '~';
    for (char c : name) printable = printable && c != ':' && c != ' ' && AsciiLower(c) == c;
    if (!printable) throw Exception("Object metadata '" + name + "' is not printable ASCII in lower case");
  }
}

}  // namespace

std::string S3Encode(std::string_view text, bool keepSlash) {
  static const char Hex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : text) {
    const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
                       c == '.' || c == '_' || c == '~' || (keepSlash && c == '/');
    if (plain) {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += Hex[c >> 4];
      out += Hex[c & 0x0F];
    }
  }
  return out;
}

std::string S3Time(std::int64_t seconds) {
  const std::time_t time = static_cast<std::time_t>(seconds);
  std::tm parts{};
  gmtime_r(&time, &parts);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S.000Z", &parts);
  return text;
}

struct TS3Client::TCall {
  TCall(std::string method, std::string key) : Method(std::move(method)), Key(std::move(key)) {}

  std::string Method;
  std::string Key;  // empty: the bucket itself
  std::vector<std::pair<std::string, std::string>> Query;
  std::vector<std::string> Headers;
  std::string_view Body;
  // Object data goes unsigned: its Content-MD5, which the store checks,
  // guards every byte, and a second hash of all of it would cost a pass.
  bool UnsignedPayload = false;
  bool IgnoreStop = false;
  bool Resumed = false;
};

TS3Client::TS3Client(TS3Place place, const TS3Credentials& credentials, TS3Options options)
    : FPlace(std::move(place)),
      FEndpoint(ParseEndpoint(FPlace.Endpoint)),
      FOptions(std::move(options)),
      FTransfer(credentials, "aws:amz:" + FPlace.Region + ":s3", FOptions.Limits) {}

std::string TS3Client::UrlOf(const TCall& call) const {
  const std::string port = FEndpoint.Port.empty() ? "" : ":" + FEndpoint.Port;
  std::string url = FEndpoint.Scheme + "://";
  if (FPlace.Addressing == TS3Addressing::VirtualHost) {
    url += FPlace.Bucket + "." + FEndpoint.Host + port + "/" + S3Encode(call.Key, true);
  } else {
    url += FEndpoint.Host + port + "/" + FPlace.Bucket + (call.Key.empty() ? "" : "/" + S3Encode(call.Key, true));
  }
  // The query as the signature has it: sorted, every name with "=".
  std::vector<std::string> pairs;
  for (const auto& [name, value] : call.Query) pairs.push_back(S3Encode(name, false) + "=" + S3Encode(value, false));
  std::sort(pairs.begin(), pairs.end());
  for (std::size_t i = 0; i < pairs.size(); ++i) url += (i == 0 ? "?" : "&") + pairs[i];
  return url;
}

std::string TS3Client::Describe(const TCall& call) const {
  return call.Method + " " + FPlace.Describe(call.Key) + " at " + FPlace.Endpoint;
}

THttpAnswer TS3Client::SendOnce(const TCall& call, const TBodySink& sink) {
  THttpRequest request;
  request.Method = call.Method;
  request.Url = UrlOf(call);
  request.Headers = call.Headers;
  request.Headers.push_back("x-amz-content-sha256: " +
                            (call.UnsignedPayload ? std::string(UnsignedPayload) : HexOf(Sha256Of(call.Body))));
  request.Body = call.Body;
  request.IgnoreStop = call.IgnoreStop;
  request.Resumed = call.Resumed;
  THttpAnswer answer = FTransfer.Perform(request, Describe(call), sink);
  if (answer.Status < 200 || answer.Status > 299) {
    // A HEAD of the bucket itself that finds nothing has found no bucket.
    const bool noBucket = answer.Status == 404 && call.Key.empty() && call.Query.empty();
    throw ErrorOfAnswer(Describe(call), answer.Status, answer.Body, noBucket ? "NoSuchBucket" : "");
  }
  return answer;
}

void TS3Client::PauseBeforeRetry(const TCall& call, const ES3Error& error, int attempt) {
  const TRetryPolicy& retry = FOptions.Retry;
  const int growth = std::min(attempt - 1, 20);
  const long long full = std::min<long long>(retry.MaxDelayMs, static_cast<long long>(retry.FirstDelayMs) << growth);
  // Half to all of the pause, so that clients that failed together do not
  // come back together.
  static thread_local std::minstd_rand random(std::random_device{}());
  const long long pause = full / 2 + (full > 1 ? static_cast<long long>(random() % (full / 2 + 1)) : 0);
  if (FOptions.OnRetry) {
    FOptions.OnRetry(error.Message + "; attempt " + std::to_string(attempt + 1) + " of " +
                     std::to_string(retry.Attempts) + " in " + std::to_string(pause) + " ms");
  }
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(pause);
  while (std::chrono::steady_clock::now() < until) {
    if (!call.IgnoreStop && FOptions.Limits.StopRequested && FOptions.Limits.StopRequested()) throw ES3Stopped();
    std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
        std::chrono::milliseconds(50), until - std::chrono::steady_clock::now()));
  }
}

namespace {

ES3Error GaveUp(const ES3Error& error, int attempts) {
  if (attempts <= 1) return error;
  return ES3Error(error.Message + "; gave up after " + std::to_string(attempts) + " attempts", error.HttpStatus,
                  error.Code, error.Transient);
}

}  // namespace

THttpAnswer TS3Client::Send(const TCall& call, const TBodySink& sink) {
  for (int attempt = 1;; ++attempt) {
    try {
      return SendOnce(call, sink);
    } catch (const ES3Error& error) {
      if (!error.Transient || attempt >= FOptions.Retry.Attempts) throw GaveUp(error, attempt);
      PauseBeforeRetry(call, error, attempt);
    }
  }
}

TS3ObjectInfo TS3Client::HeadObject(const std::string& key, const std::string& versionId) {
  TCall call("HEAD", key);
  if (!versionId.empty()) call.Query.emplace_back("versionId", versionId);
  try {
    return InfoOfHeaders(key, Send(call));
  } catch (const ES3Error& error) {
    // HEAD answers carry no error code: a missing bucket and a missing
    // object look alike until the bucket is asked for.
    if (error.HttpStatus == 404) Send(TCall("HEAD", ""));
    throw;
  }
}

std::optional<TS3ObjectInfo> TS3Client::FindObject(const std::string& key) {
  try {
    return HeadObject(key);
  } catch (const ES3Error& error) {
    if (error.HttpStatus == 404 && error.Code != "NoSuchBucket") return std::nullopt;
    throw;
  }
}

TS3ObjectInfo TS3Client::GetObject(const std::string& key, const TBodySink& sink) {
  // The version and ETag pin the object: a transfer that resumes reads on
  // from the same bytes, or fails.
  const TS3ObjectInfo head = HeadObject(key);
  std::uint64_t delivered = 0;
  const TBodySink counting = [&](const char* data, std::size_t size) {
    sink(data, size);
    delivered += size;
  };
  for (int attempt = 1;; ++attempt) {
    TCall call("GET", key);
    if (!head.VersionId.empty()) call.Query.emplace_back("versionId", head.VersionId);
    if (!head.ETag.empty()) call.Headers.push_back("If-Match: \"" + head.ETag + "\"");
    if (delivered > 0) {
      call.Headers.push_back("Range: bytes=" + std::to_string(delivered) + "-");
      call.Resumed = true;
    }
    try {
      SendOnce(call, counting);
      break;
    } catch (const ES3Error& error) {
      if (!error.Transient || attempt >= FOptions.Retry.Attempts) throw GaveUp(error, attempt);
      PauseBeforeRetry(call, error, attempt);
    }
  }
  if (delivered != head.Size) {
    throw ES3Error("GET " + FPlace.Describe(key) + ": the object ended after " + std::to_string(delivered) + " of " +
                       std::to_string(head.Size) + " bytes",
                   0, "ShortObject", false);
  }
  return head;
}

std::vector<TS3ObjectInfo> TS3Client::ListObjects(const std::string& prefix, int pageSize) {
  std::vector<TS3ObjectInfo> objects;
  std::string token;
  for (;;) {
    TCall call("GET", "");
    call.Query = {{"list-type", "2"}, {"prefix", prefix}, {"max-keys", std::to_string(pageSize)}};
    if (!token.empty()) call.Query.emplace_back("continuation-token", token);
    const TXmlElement page = ParseXml(Send(call).Body);
    for (const TXmlElement* entry : page.ChildrenNamed("Contents")) objects.push_back(ObjectOfEntry(*entry));
    token = page.ChildText("NextContinuationToken");
    if (page.ChildText("IsTruncated") != "true") return objects;
    if (token.empty()) throw Exception("The object store's listing of " + FPlace.Describe(prefix) + " breaks off");
  }
}

std::vector<TS3ObjectVersion> TS3Client::ListObjectVersions(const std::string& prefix) {
  std::vector<TS3ObjectVersion> versions;
  std::string keyMarker;
  std::string versionMarker;
  for (;;) {
    TCall call("GET", "");
    call.Query = {{"versions", ""}, {"prefix", prefix}};
    if (!keyMarker.empty()) call.Query.emplace_back("key-marker", keyMarker);
    if (!versionMarker.empty()) call.Query.emplace_back("version-id-marker", versionMarker);
    const TXmlElement page = ParseXml(Send(call).Body);
    for (const TXmlElement& entry : page.Children) {
      if (entry.Name != "Version" && entry.Name != "DeleteMarker") continue;
      TS3ObjectVersion version;
      version.Object = ObjectOfEntry(entry);
      version.Object.VersionId = entry.ChildText("VersionId");
      version.Latest = entry.ChildText("IsLatest") == "true";
      version.DeleteMarker = entry.Name == "DeleteMarker";
      versions.push_back(std::move(version));
    }
    if (page.ChildText("IsTruncated") != "true") return versions;
    keyMarker = page.ChildText("NextKeyMarker");
    versionMarker = page.ChildText("NextVersionIdMarker");
    if (keyMarker.empty())
      throw Exception("The object store's list of versions under " + FPlace.Describe(prefix) + " breaks off");
  }
}

void TS3Client::DeleteObject(const std::string& key, const std::string& versionId, bool bypassGovernance) {
  TCall call("DELETE", key);
  if (!versionId.empty()) call.Query.emplace_back("versionId", versionId);
  if (bypassGovernance) call.Headers.push_back("x-amz-bypass-governance-retention: true");
  Send(call);
}

std::vector<std::string> TS3Client::WriteHeaders(std::string_view body, const TS3Metadata& metadata,
                                                 const std::optional<TS3ObjectLock>& lock) const {
  CheckMetadata(metadata);
  std::vector<std::string> headers;
  for (const auto& [name, value] : metadata) headers.push_back(std::string(MetaPrefix) + name + ": " + value);
  if (lock) {
    headers.push_back("x-amz-object-lock-mode: " + std::string(LockModeName(lock->Mode)));
    headers.push_back("x-amz-object-lock-retain-until-date: " + S3Time(lock->RetainUntil));
  }
  headers.push_back("Content-MD5: " + Base64Of(Md5Of(body)));
  return headers;
}

TS3ObjectInfo TS3Client::PutObject(const std::string& key, std::string_view body, const TS3Metadata& metadata,
                                   const std::optional<TS3ObjectLock>& lock) {
  TCall call("PUT", key);
  call.Headers = WriteHeaders(body, metadata, lock);
  call.Headers.push_back("Content-Type: application/octet-stream");
  call.Body = body;
  call.UnsignedPayload = true;
  TS3ObjectInfo info = InfoOfHeaders(key, Send(call));
  info.Size = body.size();
  return info;
}

std::string TS3Client::CreateMultipartUpload(const std::string& key, const TS3Metadata& metadata,
                                             const std::optional<TS3ObjectLock>& lock) {
  TCall call("POST", key);
  call.Query = {{"uploads", ""}};
  call.Headers = WriteHeaders({}, metadata, lock);
  call.Headers.push_back("Content-Type: application/octet-stream");
  const std::string uploadId = ParseXml(Send(call).Body).ChildText("UploadId");
  if (uploadId.empty())
    throw Exception("The object store started an upload of " + FPlace.Describe(key) + " without its id");
  return uploadId;
}

std::string TS3Client::UploadPart(const std::string& key, const std::string& uploadId, int partNumber,
                                  std::string_view data, const std::string& md5) {
  TCall call("PUT", key);
  call.Query = {{"partNumber", std::to_string(partNumber)}, {"uploadId", uploadId}};
  call.Headers = {"Content-MD5: " + Base64Of(md5.empty() ? Md5Of(data) : md5)};
  call.Body = data;
  call.UnsignedPayload = true;
  const std::string etag = Unquoted(Send(call).Header("etag"));
  if (etag.empty()) {
    throw Exception("The object store took part " + std::to_string(partNumber) + " of " + FPlace.Describe(key) +
                    " without giving its ETag");
  }
  return etag;
}

void TS3Client::CompleteMultipartUpload(const std::string& key, const std::string& uploadId,
                                        const std::vector<TS3Part>& parts) {
  std::string body = "<CompleteMultipartUpload>";
  for (const TS3Part& part : parts) {
    body += "<Part><PartNumber>" + std::to_string(part.Number) + "</PartNumber><ETag>\"" + XmlEscape(part.ETag) +
            "\"</ETag></Part>";
  }
  body += "</CompleteMultipartUpload>";
  TCall call("POST", key);
  call.Query = {{"uploadId", uploadId}};
  call.Headers = {"Content-Type: application/xml"};
  call.Body = body;
  // A store may answer 200 and still refuse, with an Error document.
  const THttpAnswer answer = Send(call);
  if (!IsBlankText(answer.Body) && ParseXml(answer.Body).Name == "Error") {
    throw ErrorOfAnswer(Describe(call), 500, answer.Body);
  }
}

void TS3Client::AbortMultipartUpload(const std::string& key, const std::string& uploadId) {
  TCall call("DELETE", key);
  call.Query = {{"uploadId", uploadId}};
  call.IgnoreStop = true;
  Send(call);
}

std::vector<TS3MultipartUpload> TS3Client::ListMultipartUploads(const std::string& prefix) {
  std::vector<TS3MultipartUpload> uploads;
  std::string keyMarker;
  std::string idMarker;
  for (;;) {
    TCall call("GET", "");
    call.Query = {{"uploads", ""}, {"prefix", prefix}};
    if (!keyMarker.empty()) call.Query.emplace_back("key-marker", keyMarker);
    if (!idMarker.empty()) call.Query.emplace_back("upload-id-marker", idMarker);
    const TXmlElement page = ParseXml(Send(call).Body);
    for (const TXmlElement* upload : page.ChildrenNamed("Upload")) {
      uploads.push_back({upload->ChildText("Key"), upload->ChildText("UploadId")});
    }
    if (page.ChildText("IsTruncated") != "true") return uploads;
    keyMarker = page.ChildText("NextKeyMarker");
    idMarker = page.ChildText("NextUploadIdMarker");
    if (keyMarker.empty())
      throw Exception("The object store's list of uploads under " + FPlace.Describe(prefix) + " breaks off");
  }
}

void TS3Client::PutObjectRetention(const std::string& key, const std::string& versionId, const TS3ObjectLock& lock) {
  const std::string body = "<Retention><Mode>" + std::string(LockModeName(lock.Mode)) + "</Mode><RetainUntilDate>" +
                           S3Time(lock.RetainUntil) + "</RetainUntilDate></Retention>";
  TCall call("PUT", key);
  call.Query = {{"retention", ""}};
  if (!versionId.empty()) call.Query.emplace_back("versionId", versionId);
  call.Headers = {"Content-MD5: " + Base64Of(Md5Of(body)), "Content-Type: application/xml"};
  call.Body = body;
  Send(call);
}

int TS3Client::AbortUploadsOf(const std::string& key) {
  int aborted = 0;
  for (const TS3MultipartUpload& upload : ListMultipartUploads(key)) {
    if (upload.Key != key) continue;
    AbortMultipartUpload(upload.Key, upload.UploadId);
    ++aborted;
  }
  return aborted;
}

bool TS3Client::ObjectLockEnabled() {
  TCall call("GET", "");
  call.Query = {{"object-lock", ""}};
  try {
    return ParseXml(Send(call).Body).ChildText("ObjectLockEnabled") == "Enabled";
  } catch (const ES3Error& error) {
    if (error.Code == "ObjectLockConfigurationNotFoundError") return false;
    throw;
  }
}

void TS3Client::CreateBucket(bool objectLock) {
  TCall call("PUT", "");
  std::string body;
  if (FPlace.Region != DefaultRegion) {
    body = "<CreateBucketConfiguration><LocationConstraint>" + XmlEscape(FPlace.Region) +
           "</LocationConstraint></CreateBucketConfiguration>";
  }
  if (objectLock) call.Headers.push_back("x-amz-bucket-object-lock-enabled: true");
  call.Body = body;
  Send(call);
}

void TS3Client::DeleteBucket() { Send(TCall("DELETE", "")); }
