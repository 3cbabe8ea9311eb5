#include "runner/job_output.h"

#include <algorithm>
#include <string_view>

#include "platform/text.h"
#include "runner/job_stop.h"

namespace {

class TSilentPrompts final : public TPrompts {
 public:
  void ShowMessage(const std::string&) override {}
  bool AskYesNo(const std::string&) override { return true; }
  bool ConfirmOkCancel(const std::string&) override { return true; }
  void Beep() override {}
};

// The runner's and the controller's error lines, and the runner's box.
constexpr std::string_view ErrorLeads[] = {"ERROR: ", "Error: "};

std::string WithoutErrorLead(const std::string& text) {
  for (std::string_view lead : ErrorLeads)
    if (StartsWith(text, lead)) return text.substr(lead.size());
  return text;
}

}  // namespace

TPrompts& SilentPrompts() {
  static TSilentPrompts silent;
  return silent;
}

TJobOutput::TJobOutput(TLogPaneView* pane, TPrompts* prompts, TAttendance attendance)
    : FPane(pane), FPrompts(prompts), FAttendance(attendance) {}

void TJobOutput::AddPaneLine(const std::string& line) {
  if (StartsWith(line, ErrorLeads[0])) Collect(line);
  for (TWatcher* watcher : FWatchers) watcher->FOnLine(line);
  if (!FPane) return;
  try {
    // The pane cannot show an empty line apart from the next one.
    FPane->AppendLine(line.empty() ? std::string(" ") : line);
  } catch (...) {
    // A pane that fails to show a line must not stop a job.
  }
}

void TJobOutput::ClearPane() {
  if (FPane) FPane->Clear();
}

void TJobOutput::ShowJobMessage(const std::string& text) {
  Collect(text);
  if (Attended()) Prompts().ShowMessage(text);
}

bool TJobOutput::AskJobYesNo(const std::string& text, bool unattendedAnswer) {
  return Attended() ? Prompts().AskYesNo(text) : unattendedAnswer;
}

TPrompts& TJobOutput::Prompts() const { return FPrompts ? *FPrompts : SilentPrompts(); }

void TJobOutput::Collect(const std::string& text) {
  std::string plain = OnOneLine(WithoutErrorLead(text));
  // The runner shows its error in a box and then on the pane: one reason.
  if (plain.empty() || (!FCollected.empty() && FCollected.back() == plain)) return;
  FCollected.push_back(std::move(plain));
}

TJobOutput::TWatcher::TWatcher(TJobOutput& output, std::function<void(const std::string& line)> onLine)
    : FOutput(output), FOnLine(std::move(onLine)) {
  FOutput.FWatchers.push_back(this);
}

TJobOutput::TWatcher::~TWatcher() {
  auto& watchers = FOutput.FWatchers;
  watchers.erase(std::remove(watchers.begin(), watchers.end(), this), watchers.end());
}

bool TJobOutput::StopRequested() const { return FStop != nullptr && FStop->Requested(); }

void TJobOutput::ThrowIfStopped() const {
  if (StopRequested()) throw EJobStopped();
}
