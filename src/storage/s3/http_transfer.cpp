#include "storage/s3/http_transfer.h"

#include <curl/curl.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <exception>
#include <mutex>

#include "platform/text.h"
#include "storage/s3/s3_error.h"

namespace {

// An XML answer is small; a store sending more than this is not answering
// what was asked.
constexpr std::size_t MaxCollectedBody = 8 * 1024 * 1024;

void InitialiseCurlOnce() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

}  // namespace

std::string THttpAnswer::Header(const std::string& lowerCaseName) const {
  const auto found = Headers.find(lowerCaseName);
  return found != Headers.end() ? found->second : std::string();
}

// What one request's callbacks share.
struct THttpTransfer::TState {
  const THttpRequest* Request = nullptr;
  const TBodySink* Sink = nullptr;
  const TTransferLimits* Limits = nullptr;
  CURL* Curl = nullptr;
  THttpAnswer Answer;
  std::size_t BodyAt = 0;
  std::exception_ptr SinkError;
  bool Stopped = false;
  bool RangeIgnored = false;
  bool BodyTooLarge = false;
  char ErrorText[CURL_ERROR_SIZE] = {};

  static size_t OnHeader(char* data, size_t size, size_t count, void* self) {
    auto& state = *static_cast<TState*>(self);
    const std::string_view line(data, size * count);
    if (StartsWith(line, "HTTP/")) {
      state.Answer.Headers.clear();  // a "100 Continue" came before the answer
    } else if (const std::size_t colon = line.find(':'); colon != std::string_view::npos) {
      state.Answer.Headers[AsciiLower(Trim(line.substr(0, colon)))] = TrimControls(line.substr(colon + 1));
    }
    return size * count;
  }

  static size_t OnBody(char* data, size_t size, size_t count, void* self) {
    auto& state = *static_cast<TState*>(self);
    const std::size_t bytes = size * count;
    long status = 0;
    curl_easy_getinfo(state.Curl, CURLINFO_RESPONSE_CODE, &status);
    if (status >= 200 && status < 300 && state.Sink != nullptr && *state.Sink) {
      if (state.Request->Resumed && status != 206) {
        state.RangeIgnored = true;
        return 0;
      }
      try {
        (*state.Sink)(data, bytes);
      } catch (...) {
        state.SinkError = std::current_exception();
        return 0;
      }
      state.Answer.StreamedBytes += bytes;
      return bytes;
    }
    if (state.Answer.Body.size() + bytes > MaxCollectedBody) {
      state.BodyTooLarge = true;
      return 0;
    }
    state.Answer.Body.append(data, bytes);
    return bytes;
  }

  static size_t OnRead(char* buffer, size_t size, size_t count, void* self) {
    auto& state = *static_cast<TState*>(self);
    const std::string_view body = state.Request->Body;
    const std::size_t bytes = std::min(size * count, body.size() - state.BodyAt);
    std::memcpy(buffer, body.data() + state.BodyAt, bytes);
    state.BodyAt += bytes;
    return bytes;
  }

  static int OnSeek(void* self, curl_off_t offset, int origin) {
    auto& state = *static_cast<TState*>(self);
    if (origin != SEEK_SET || offset < 0 || static_cast<std::size_t>(offset) > state.Request->Body.size()) {
      return CURL_SEEKFUNC_CANTSEEK;
    }
    state.BodyAt = static_cast<std::size_t>(offset);
    return CURL_SEEKFUNC_OK;
  }

  static int OnProgress(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    auto& state = *static_cast<TState*>(self);
    if (!state.Request->IgnoreStop && state.Limits->StopRequested && state.Limits->StopRequested()) {
      state.Stopped = true;
      return 1;
    }
    return 0;
  }
};

THttpTransfer::THttpTransfer(TS3Credentials credentials, std::string signAs, TTransferLimits limits)
    : FCredentials(std::move(credentials)), FSignAs(std::move(signAs)), FLimits(std::move(limits)) {
  InitialiseCurlOnce();
  FCurl = curl_easy_init();
  if (FCurl == nullptr) throw ES3Error("libcurl could not be started", 0, "curl", false);
}

THttpTransfer::~THttpTransfer() { curl_easy_cleanup(static_cast<CURL*>(FCurl)); }

void THttpTransfer::Prepare(const THttpRequest& request, TState& state, curl_slist*& headers) {
  CURL* curl = static_cast<CURL*>(FCurl);
  curl_easy_reset(curl);
  curl_easy_setopt(curl, CURLOPT_URL, request.Url.c_str());
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, state.ErrorText);
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, FLimits.ConnectSeconds);
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, FLimits.StallSeconds);
  curl_easy_setopt(curl, CURLOPT_AWS_SIGV4, FSignAs.c_str());
  curl_easy_setopt(curl, CURLOPT_USERNAME, FCredentials.AccessKeyId.c_str());
  curl_easy_setopt(curl, CURLOPT_PASSWORD, FCredentials.SecretAccessKey.c_str());
  curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, &TState::OnHeader);
  curl_easy_setopt(curl, CURLOPT_HEADERDATA, &state);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &TState::OnBody);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &state);
  curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, &TState::OnProgress);
  curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &state);
  if (request.Method == "HEAD") {
    curl_easy_setopt(curl, CURLOPT_NOBODY, 1L);
  } else if (request.Method == "PUT") {
    curl_easy_setopt(curl, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(curl, CURLOPT_READFUNCTION, &TState::OnRead);
    curl_easy_setopt(curl, CURLOPT_READDATA, &state);
    curl_easy_setopt(curl, CURLOPT_SEEKFUNCTION, &TState::OnSeek);
    curl_easy_setopt(curl, CURLOPT_SEEKDATA, &state);
    curl_easy_setopt(curl, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(request.Body.size()));
  } else if (request.Method == "POST") {
    curl_easy_setopt(curl, CURLOPT_POST, 1L);
    // Never a null pointer: libcurl would then read the body from stdin.
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, request.Body.empty() ? "" : request.Body.data());
    curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request.Body.size()));
  } else if (request.Method != "GET") {
    curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, request.Method.c_str());
  }
  for (const std::string& header : request.Headers) headers = curl_slist_append(headers, header.c_str());
  if (!FCredentials.SessionToken.empty()) {
    headers = curl_slist_append(headers, ("x-amz-security-token: " + FCredentials.SessionToken).c_str());
  }
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
}

THttpAnswer THttpTransfer::Perform(const THttpRequest& request, const std::string& what, const TBodySink& sink) {
  TState state;
  state.Request = &request;
  state.Sink = &sink;
  state.Limits = &FLimits;
  state.Curl = static_cast<CURL*>(FCurl);
  curl_slist* headers = nullptr;
  Prepare(request, state, headers);
  const CURLcode result = curl_easy_perform(state.Curl);
  curl_slist_free_all(headers);
  if (state.SinkError) std::rethrow_exception(state.SinkError);
  if (state.Stopped) throw ES3Stopped();
  if (state.BodyTooLarge) {
    throw ES3Error(what + ": the store's answer is larger than " + std::to_string(MaxCollectedBody / (1024 * 1024)) +
                       " MiB, not an answer to this request",
                   0, "AnswerTooLarge", false);
  }
  if (state.RangeIgnored) {
    throw ES3Error(what + ": the store sent the whole object again instead of resuming where the transfer broke off", 0,
                   "RangeIgnored", false);
  }
  if (result != CURLE_OK) throw ErrorOfTransfer(what, result, state.ErrorText);
  long status = 0;
  curl_easy_getinfo(state.Curl, CURLINFO_RESPONSE_CODE, &status);
  state.Answer.Status = static_cast<int>(status);
  return std::move(state.Answer);
}
