#pragma once
// What goes wrong with a request to the object store, as text an
// administrator can act on: the store's refusal (its S3 error code and
// message, read from its XML answer) or a network fault (curl's reason),
// and whether another attempt may succeed.

#include <string>
#include <string_view>

#include "platform/exception.h"

class ES3Error : public Exception {
 public:
  ES3Error(std::string message, int httpStatus, std::string code, bool transient)
      : Exception(std::move(message)), HttpStatus(httpStatus), Code(std::move(code)), Transient(transient) {}

  int HttpStatus = 0;  // 0: no answer came (a network fault)
  std::string Code;    // the store's error code ("NoSuchBucket"), or the fault's name
  bool Transient = false;
};

// The caller gave the request up (the job is being stopped).
class ES3Stopped : public Exception {
 public:
  ES3Stopped() : Exception("The transfer to the object store was stopped: the program was asked to end") {}
};

// The error for an answer with a status outside 2xx: `request` says what
// was asked ("PUT s3://bucket/key at https://host"), `body` is the store's
// XML error document (may be empty, as for HEAD: then `codeWithoutBody`, or
// one the status gives, stands for its code).
ES3Error ErrorOfAnswer(const std::string& request, int httpStatus, std::string_view body,
                       std::string_view codeWithoutBody = {});

// The error for a transfer that got no complete answer; `curlCode` is
// libcurl's result, `detail` its error text.
ES3Error ErrorOfTransfer(const std::string& request, int curlCode, const std::string& detail);
