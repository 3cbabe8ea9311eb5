#include "platform/autostart_entry.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "platform/exception.h"
#include "platform/file_locations.h"
#include "platform/files.h"

namespace {

// Characters that make an Exec argument need quotes.
constexpr std::string_view Reserved = " \t\n\"'\\><~|&;$*?#()`";
// Characters escaped with a backslash inside a quoted argument.
constexpr std::string_view EscapedInQuotes = "\"`$\\";

[[noreturn]] void RaiseFor(const std::string& what, int error) {
  throw EOSError(error, what + ": " + std::strerror(error));
}

}  // namespace

std::string AutostartEntryPath(const std::string& configHome) {
  return IncludeTrailingPathDelimiter(configHome) + "autostart" + PathDelim + DesktopEntryName;
}

std::string DesktopExecArgument(const std::string& path) {
  bool quote = false;
  std::string argument;
  for (char c : path) {
    if (Reserved.find(c) != std::string_view::npos) quote = true;
    if (EscapedInQuotes.find(c) != std::string_view::npos) argument += '\\';
    argument += c == '%' ? "%%" : std::string(1, c);
  }
  if (quote) argument = '"' + argument + '"';
  // A string value reads "\\" as one backslash.
  std::string value;
  for (char c : argument) value += c == '\\' ? std::string("\\\\") : std::string(1, c);
  return value;
}

std::string AutostartEntryText(const std::string& executable) {
  return "[Desktop Entry]\n"
         "Type=Application\n"
         "Name=Quorvin\n"
         "Comment=Starts Quorvin with the desktop session\n"
         "Comment[ru]=Запуск Quorvin вместе с сеансом\n"
         "Exec=" +
         DesktopExecArgument(executable) +
         "\n"
         "Icon=org.example.quorvin\n"
         "Terminal=false\n"
         "StartupNotify=false\n"
         "X-GNOME-Autostart-enabled=true\n";
}

void WriteAutostartEntry(const std::string& entryPath, const std::string& executable) {
  // A line end cannot stand in a value; a path that holds one is refused.
  if (executable.empty() || executable.find_first_of("\r\n") != std::string::npos)
    RaiseFor("No autostart entry can start \"" + executable + "\"", EINVAL);
  const std::size_t slash = entryPath.rfind(PathDelim);
  if (slash != std::string::npos && slash > 0) MakeFolders(entryPath.substr(0, slash));
  if (!CreateTextFile(entryPath, AutostartEntryText(executable))) RaiseFor("Cannot write " + entryPath, errno);
}

void RemoveAutostartEntry(const std::string& entryPath) {
  if (std::remove(entryPath.c_str()) != 0 && errno != ENOENT) RaiseFor("Cannot remove " + entryPath, errno);
}
