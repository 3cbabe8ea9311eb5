#include "cli/console.h"

#include <unistd.h>

#include <cstdio>
#include <sstream>
#include <string_view>

#include "controller/messages/messages.h"
#include "platform/text.h"

TConsole::TConsole() : FPrefixes(isatty(STDERR_FILENO) == 0) {}

void TConsole::Say(TPriority priority, const std::string& text) const {
  std::string lines = FLineOpen ? "\r\033[K" : "";
  FLineOpen = false;
  std::istringstream in(text.empty() ? std::string(" ") : text);
  for (std::string line; std::getline(in, line);) {
    if (FPrefixes) lines += "<" + std::to_string(static_cast<int>(priority)) + ">";
    lines += "quorvinctl: " + line + "\n";
  }
  // One write: lines of another thread or process never land inside it.
  std::fwrite(lines.data(), 1, lines.size(), stderr);
  std::fflush(stderr);
}

void TConsole::Progress(const std::string& text) const {
  if (FPrefixes) return;
  const std::string line = "\r\033[K" + text;
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
  FLineOpen = !text.empty();
}

void TConsolePane::AppendLine(const std::string& line) {
  // The runner's error lines ("ERROR: …"), and those of the steps around
  // the request ("Error shutting down database: …").
  constexpr std::string_view Lead = "ERROR: ";
  if (FFirstError.empty() && StartsWith(line, Lead)) FFirstError = line.substr(Lead.size());
  if (FFirstError.empty() && StartsWith(line, "Error ")) FFirstError = line;
  if (FQuiet) return;
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

bool TConsolePrompts::AskYesNo(const std::string& text) {
  FConsole.Warning(text + " — yes (command line)");
  return true;
}

void TConsoleNotices::UnattendedJobEnded(const TJobReport& report) {
  if (report.What == TJobReport::TWhat::OffsiteCopy) {
    if (report.Succeeded) return FConsole.Info("off-site copy of " + report.Database + " made: " + report.Target);
    FConsole.Error("off-site copy of " + report.Database + " to " + report.Target +
                   " failed: " + ShownReason(report.Reason, TLanguage::English));
    return;
  }
  if (!report.Succeeded) {
    FConsole.Error("plan backup of " + report.Database + " failed: " + ShownReason(report.Reason, TLanguage::English));
    return;
  }
  FConsole.Info("plan backup of " + report.Database + " made: " + report.Target);
  for (const std::string& warning : report.Warnings)
    FConsole.Warning("plan backup of " + report.Database + ": " + warning);
}
