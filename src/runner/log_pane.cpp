#include "runner/log_pane.h"

#include <cerrno>
#include <cstring>
#include <fstream>

#include "platform/computer_name.h"
#include "platform/exception.h"

std::string WithTrailingBackslash(const std::string& path) {
  if (path.empty() || path.back() == '\\') return path;
  return path + '\\';
}

std::string LocalComputerName() { return ComputerName(); }

void AppendLinesToFile(const std::string& fileName, const std::vector<std::string>& lines) {
  std::ofstream out(fileName, std::ios::binary | std::ios::app);
  if (!out) {
    const int error = errno;
    throw EOSError(error, "Cannot open file \"" + fileName + "\". " + std::strerror(error));
  }
  for (const std::string& line : lines) out << line << "\r\n";
  out.flush();
  if (!out) {
    const int error = errno;
    throw EOSError(error, "Cannot write to file \"" + fileName + "\". " + std::strerror(error));
  }
}
