#include "cli/progress_line.h"

namespace {

using TClock = std::chrono::steady_clock;

// "0:35", "12:05", "1:02:03".
std::string Duration(std::int64_t seconds) {
  char text[32];
  if (seconds >= 3600)
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", static_cast<long long>(seconds / 3600),
                  static_cast<long long>(seconds / 60 % 60), static_cast<long long>(seconds % 60));
  else
    std::snprintf(text, sizeof text, "%lld:%02lld", static_cast<long long>(seconds / 60),
                  static_cast<long long>(seconds % 60));
  return text;
}

const char* PhaseWord(TJobPhase phase) {
  switch (phase) {
    case TJobPhase::Backup: return "backup";
    case TJobPhase::Copy: return "copy";
    case TJobPhase::Verify: return "verification";
    case TJobPhase::Restore: return "restore";
  }
  return "job";
}

}  // namespace

std::string ProgressWords(const TJobProgress& progress, std::int64_t runningSeconds) {
  std::string text;
  if (progress.PhaseCount > 1)
    text = "step " + std::to_string(progress.PhaseNumber) + " of " + std::to_string(progress.PhaseCount) + ", " +
           PhaseWord(progress.Phase) + ": ";
  if (!progress.Estimated) return text + "no estimate yet, running " + Duration(runningSeconds);
  return text + std::to_string(progress.Percent) + " %, " + Duration(progress.SecondsLeft) + " left";
}

TProgressLine::TProgressLine(const TConsole& console, bool enabled)
    : FConsole(console), FEnabled(enabled && console.Terminal()), FStarted(TClock::now()) {}

void TProgressLine::Show(const std::string& what, const std::optional<TJobProgress>& progress) {
  if (!FEnabled || !progress) return;
  const TClock::time_point now = TClock::now();
  if (FShown && now - FLast < std::chrono::seconds(1)) return;
  FLast = now;
  FShown = true;
  const auto running = std::chrono::duration_cast<std::chrono::seconds>(now - FStarted).count();
  FConsole.Progress(what + ": " + ProgressWords(*progress, running));
}

void TProgressLine::Clear() {
  if (!FShown) return;
  FConsole.Progress({});
  FShown = false;
}
