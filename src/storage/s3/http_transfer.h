#pragma once
// One HTTP request at a time over libcurl, signed with AWS Signature V4 by
// libcurl itself; the connection is kept between requests. The body of a
// successful answer can be streamed to the caller; other bodies (XML
// answers, errors) are collected, up to a bound. Knows nothing of S3 beyond
// the signature's provider string.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "storage/s3/s3_credentials.h"

struct THttpRequest {
  std::string Method;                // GET, HEAD, PUT, POST, DELETE
  std::string Url;                   // already percent-encoded, query as the signature expects
  std::vector<std::string> Headers;  // "Name: value"
  // The body of PUT and POST, sent with its length known.
  std::string_view Body;
  // Requests that clean up after a failure run also once a stop is asked.
  bool IgnoreStop = false;
  // A GET with a Range header: a store that answers with the whole object
  // (200, not 206) is refused rather than read from its start again.
  bool Resumed = false;
};

struct THttpAnswer {
  int Status = 0;
  std::map<std::string, std::string> Headers;  // names in lower case
  std::string Body;                            // unless streamed
  std::uint64_t StreamedBytes = 0;

  // A header's value; empty when the answer has none.
  std::string Header(const std::string& lowerCaseName) const;
};

struct TTransferLimits {
  long ConnectSeconds = 15;
  // A transfer that moves no byte for this long is given up.
  long StallSeconds = 60;
  // Asked while a request runs; true gives it up (ES3Stopped).
  std::function<bool()> StopRequested;
};

// Receives the body of a successful (2xx) answer as it arrives.
using TBodySink = std::function<void(const char* data, std::size_t size)>;

class THttpTransfer {
 public:
  // `signAs` is libcurl's provider string ("aws:amz:us-east-1:s3").
  THttpTransfer(TS3Credentials credentials, std::string signAs, TTransferLimits limits);
  ~THttpTransfer();
  THttpTransfer(const THttpTransfer&) = delete;
  THttpTransfer& operator=(const THttpTransfer&) = delete;

  // Runs the request and returns the answer, whatever its status. Raises
  // ES3Error when no complete answer came (`what` names the request in the
  // message), ES3Stopped when the stop was asked, and whatever `sink` raises.
  THttpAnswer Perform(const THttpRequest& request, const std::string& what, const TBodySink& sink = {});

  const TTransferLimits& Limits() const { return FLimits; }

 private:
  struct TState;
  void Prepare(const THttpRequest& request, TState& state, struct curl_slist*& headers);

  void* FCurl = nullptr;
  TS3Credentials FCredentials;
  std::string FSignAs;
  TTransferLimits FLimits;
};

// The SHA-256 of an empty body, as x-amz-content-sha256 carries it.
inline constexpr std::string_view EmptyBodySha256 = "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";
