#pragma once
// The program's general exception: every error of the system carries a
// message text, and code outside the client layer shows only that text.

#include <exception>
#include <string>

class Exception : public std::exception {
 public:
  explicit Exception(std::string message) : Message(std::move(message)) {}
  const char* what() const noexcept override { return Message.c_str(); }

  std::string Message;
};

// The text the user sees of any error: the program's own message, or what
// the standard library says.
inline std::string MessageOf(const std::exception& error) {
  if (const auto* own = dynamic_cast<const Exception*>(&error)) return own->Message;
  return error.what();
}

// A text that does not spell the number it should ("'%s' is not a valid
// integer value").
class EConvertError : public Exception {
 public:
  using Exception::Exception;
};

// A failed operating-system call, with the system's own error number (0 when
// the system reports none) and text.
class EOSError : public Exception {
 public:
  EOSError(int errorCode, std::string message) : Exception(std::move(message)), ErrorCode(errorCode) {}

  int ErrorCode = 0;
};
