#include "service/ib_errors.h"

#include <array>
#include <cstring>
#include <mutex>

#include "service/client_library.h"

namespace {

const char* TableText(int number) {
  switch (number) {
    case 0: return "Unknown error";
    case 1: return "InterBase library %s not found in the path. Please install InterBase to use this functionality";
    case 3: return "%s is an InterBase6 function. Please upgrade to InterBase6 to use this functonality";
    case 10: return "Operation cancelled at user's request";
    case 88: return "SPB Constant Not supported";
    case 89: return "SPB Constant Unknown";
    case 90: return "Cannot perform operation -- service is not attached";
    case 91: return "Cannot perform operation -- service is attached";
    case 92: return "Server Name Missing";
    case 93: return "Query Parameters missing or incorrect";
    case 94: return "start Parameters missing or incorrect";
    case 95: return "Unexpected Output buffer value";
    case 96: return "Generic ServiceStart not applicable: Use Specific Procedures to set configuration params";
    case 98: return "Service parameter value too long: %s holds %s bytes, at most 255 are allowed";
    case 99: return "Service request text too long: %s holds %s bytes, at most 65535 are allowed";
    case 100: return "Service parameter block too long: %s holds %s bytes, at most 65535 are allowed";
    case 101: return "BufferSize %s is out of range: 4 to 65535 bytes are allowed";
    default: return nullptr;
  }
}

}  // namespace

const char* ClientErrorText(int number) {
  const char* text = TableText(number);
  return text != nullptr ? text : TableText(0);
}

std::string FormatClientError(int number, const std::string& arg1, const std::string& arg2) {
  const std::string pattern = ClientErrorText(number);
  std::string out;
  int used = 0;
  for (size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] == '%' && i + 1 < pattern.size() && (pattern[i + 1] == 's' || pattern[i + 1] == 'd')) {
      out += used == 0 ? arg1 : (used == 1 ? arg2 : std::string());
      ++used;
      ++i;
    } else {
      out += pattern[i];
    }
  }
  return out;
}

void RaiseClientError(int number, const std::string& arg1, const std::string& arg2) {
  throw EIBClientError(number, FormatClientError(number, arg1, arg2));
}

void RaiseStatusError() {
  ISC_STATUS* vector = ThreadStatusVector();
  const auto libraryCode = static_cast<int32_t>(vector[1]);
  const TClientEntryPoints& api = ClientEntryPoints();
  std::string message;
  int32_t sqlCode = 0;
  {
    // The library's message formatting is process-wide state.
    std::lock_guard<std::mutex> guard(ClientLibraryLock());
    sqlCode = api.isc_sqlcode(vector);
    constexpr size_t BufferSize = 20480;
    std::array<char, BufferSize> buffer{};
    ISC_STATUS* cursor = vector;
    for (;;) {
      buffer[0] = '\0';
      if (api.isc_interprete(buffer.data(), &cursor) <= 0) break;
      buffer[BufferSize - 1] = '\0';
      if (!message.empty() && message.back() != '\n') message += "\r\n";
      message += buffer.data();
    }
  }
  if (!message.empty() && message.back() == '.') message.pop_back();
  throw EIBInterBaseError(sqlCode, libraryCode, message);
}
