#include "storage/s3/s3_error.h"

#include <curl/curl.h>

#include <array>

#include "platform/text.h"
#include "storage/s3/xml.h"

namespace {

struct TKnownCode {
  std::string_view Code;
  std::string_view Meaning;
  bool Transient;
};

// clang-format off
constexpr std::array<TKnownCode, 22> KnownCodes{{
  {"NoSuchBucket", "the bucket does not exist", false},
  {"NoSuchKey", "no such object", false},
  {"NotFound", "no such object", false},
  {"NoSuchUpload", "the multipart upload no longer exists", false},
  {"InvalidAccessKeyId", "the store does not know this access key (check the key file or AWS_ACCESS_KEY_ID)", false},
  {"SignatureDoesNotMatch", "the secret key does not match the access key, or the region is wrong", false},
  {"AccessDenied", "access denied", false},
  {"Forbidden", "access denied", false},
  {"InvalidBucketName", "the bucket's name is not valid", false},
  {"BucketAlreadyExists", "the bucket exists already", false},
  {"BucketAlreadyOwnedByYou", "the bucket exists already", false},
  {"BucketNotEmpty", "the bucket is not empty", false},
  {"ObjectLockConfigurationNotFoundError", "the bucket has no Object Lock", false},
  {"InvalidRequest", "the store refused the request", false},
  {"BadDigest", "the data arrived changed (its MD5 does not match)", false},
  {"XAmzContentSHA256Mismatch", "the data arrived changed (its SHA-256 does not match)", false},
  {"EntityTooSmall", "a part is smaller than the store accepts", false},
  {"QuotaExceeded", "the store's quota is used up", false},
  {"SlowDown", "the store asks to slow down", true},
  {"RequestTimeout", "the store timed the request out", true},
  {"InternalError", "the store had an internal error", true},
  {"ServiceUnavailable", "the store is not available", true},
}};
// clang-format on

const TKnownCode* Known(std::string_view code) {
  for (const TKnownCode& known : KnownCodes) {
    if (known.Code == code) return &known;
  }
  return nullptr;
}

// The code for an answer without an XML body (HEAD answers have none).
std::string CodeOfStatus(int status) {
  switch (status) {
    case 403: return "Forbidden";
    case 404: return "NotFound";
    case 503: return "ServiceUnavailable";
    default: return status >= 500 ? "InternalError" : "HTTP" + std::to_string(status);
  }
}

}  // namespace

ES3Error ErrorOfAnswer(const std::string& request, int httpStatus, std::string_view body,
                       std::string_view codeWithoutBody) {
  std::string code;
  std::string message;
  if (!IsBlankText(body)) {
    try {
      const TXmlElement error = ParseXml(body);
      code = error.ChildText("Code");
      message = OnOneLine(error.ChildText("Message"));
    } catch (const Exception&) {
      message = OnOneLine(Utf8Cut(body, 200));
    }
  }
  if (code.empty()) code = codeWithoutBody.empty() ? CodeOfStatus(httpStatus) : std::string(codeWithoutBody);
  const TKnownCode* known = Known(code);
  const bool transient = httpStatus >= 500 || httpStatus == 429 || (known != nullptr && known->Transient);
  std::string text = request + ": " + (known != nullptr ? std::string(known->Meaning) : "the store refused it") + " (" +
                     code + ", HTTP " + std::to_string(httpStatus);
  if (!message.empty()) text += ": " + message;
  return ES3Error(text + ")", httpStatus, code, transient);
}

ES3Error ErrorOfTransfer(const std::string& request, int curlCode, const std::string& detail) {
  const auto code = static_cast<CURLcode>(curlCode);
  bool transient = false;
  switch (code) {
    case CURLE_COULDNT_CONNECT:
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_OPERATION_TIMEDOUT:
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_GOT_NOTHING:
    case CURLE_PARTIAL_FILE:
    case CURLE_HTTP2:
    case CURLE_HTTP2_STREAM:
    case CURLE_SSL_CONNECT_ERROR: transient = true; break;
    default: break;
  }
  std::string reason = curl_easy_strerror(code);
  if (!detail.empty() && detail != reason) reason += ": " + OnOneLine(detail);
  return ES3Error(request + ": no answer from the store (" + reason + ")", 0, "curl-" + std::to_string(curlCode),
                  transient);
}
