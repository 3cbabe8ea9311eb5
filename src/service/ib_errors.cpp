#include "service/ib_errors.h"

#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <vector>

#include "platform/files.h"
#include "platform/folder_rights.h"

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

namespace {

// The paths a status vector names, and whether it says they were refused.
struct TNamedPaths {
  std::vector<std::string> Paths;
  bool Refused = false;
};

TNamedPaths NamedPaths(const ISC_STATUS* vector) {
  TNamedPaths named;
  for (int i = 0; i + 1 < StatusVectorLength && vector[i] != StatusArgEnd;) {
    const ISC_STATUS kind = vector[i];
    const ISC_STATUS value = vector[i + 1];
    if (kind == StatusArgCstring) {
      if (i + 2 < StatusVectorLength && vector[i + 2] != 0)
        named.Paths.emplace_back(reinterpret_cast<const char*>(vector[i + 2]), static_cast<std::size_t>(value));
      i += 3;
      continue;
    }
    if ((kind == StatusArgString || kind == StatusArgInterpreted) && value != 0)
      named.Paths.emplace_back(reinterpret_cast<const char*>(value));
    if (kind == StatusArgUnix && (value == EACCES || value == EPERM)) named.Refused = true;
    if (kind == StatusArgGds && value == GdsLockDirAccess) named.Refused = true;
    i += 2;
  }
  return named;
}

// "/tmp/firebird/" and "/tmp/firebird" alike.
std::filesystem::path FolderPath(const std::string& folder) {
  std::filesystem::path path = std::filesystem::path(folder).lexically_normal();
  return path.has_filename() ? path : path.parent_path();
}

// Whether `folder` is the embedded engine's lock folder, as Firebird
// chooses it on Linux.
bool IsEngineLockFolder(const std::string& folder) {
  const char* chosen = std::getenv("FIREBIRD_LOCK");
  return FolderPath(folder) == FolderPath(chosen != nullptr && *chosen != '\0' ? chosen : "/tmp/firebird");
}

std::string RefusalOfPath(const std::string& path) {
  if (path.empty() || path[0] != '/') return {};
  if (DirectoryExists(path)) {
    const std::string text = RefusedFolderRight(path, TFolderNeed::Everything);
    if (text.empty() || !IsEngineLockFolder(path)) return text;
    return text + " The embedded engine (protocol Local) keeps its lock files there.";
  }
  // A folder on its way that may not be entered.
  if (LookUpError(path) == EACCES) return RefusedFolderRight(FolderOf(path), TFolderNeed::Enter);
  return {};
}

}  // namespace

std::string RefusedFolderOf(const ISC_STATUS* vector) {
  const TNamedPaths named = NamedPaths(vector);
  if (!named.Refused) return {};
  for (const std::string& path : named.Paths)
    if (const std::string text = RefusalOfPath(path); !text.empty()) return text;
  return {};
}

void RaiseStatusError() {
  ISC_STATUS* vector = ThreadStatusVector();
  const auto libraryCode = static_cast<int32_t>(vector[1]);
  const TClientEntryPoints& api = ClientEntryPoints();
  std::string message;
  std::string refused;
  int32_t sqlCode = 0;
  {
    // The library's message formatting is process-wide state.
    std::lock_guard<std::mutex> guard(ClientLibraryLock());
    // Read before the texts are formed: the vector's strings are the
    // library's own.
    refused = RefusedFolderOf(vector);
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
  if (!refused.empty()) message += (message.empty() ? "" : "\r\n") + refused;
  throw EIBInterBaseError(sqlCode, libraryCode, message);
}
