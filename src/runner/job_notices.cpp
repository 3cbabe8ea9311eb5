#include "runner/job_notices.h"

#include <string_view>

#include "platform/text.h"
#include "runner/ui_seams.h"

namespace {

class TDroppedNotices final : public TNotices {
 public:
  void UnattendedJobEnded(const TJobReport&) override {}
};

TNotices* InstalledNotices = nullptr;
TUnattendedJob* CurrentUnattended = nullptr;

// The runner's and the controller's error lines, and the runner's box.
constexpr std::string_view ErrorLeads[] = {"ERROR: ", "Error: "};

std::string WithoutErrorLead(const std::string& text) {
  for (std::string_view lead : ErrorLeads)
    if (StartsWith(text, lead)) return text.substr(lead.size());
  return text;
}

// One line: a report ends up in a one-line log entry and a tool tip.
std::string OnOneLine(const std::string& text) {
  std::string line;
  for (char c : Trim(text, " \t\r\n")) {
    const bool lineEnd = c == '\r' || c == '\n';
    if (!lineEnd)
      line += c;
    else if (!line.empty() && line.back() != ' ')
      line += ' ';
  }
  return line;
}

}  // namespace

TNotices& Notices() {
  static TDroppedNotices dropped;
  return InstalledNotices ? *InstalledNotices : dropped;
}

void SetNotices(TNotices* notices) { InstalledNotices = notices; }

void ShowJobMessage(const std::string& text) {
  if (CurrentUnattended)
    CurrentUnattended->Collect(text);
  else
    Prompts().ShowMessage(text);
}

bool AskJobYesNo(const std::string& text, bool unattendedAnswer) {
  return CurrentUnattended ? unattendedAnswer : Prompts().AskYesNo(text);
}

void NoteJobPaneLine(const std::string& line) {
  if (CurrentUnattended && StartsWith(line, ErrorLeads[0])) CurrentUnattended->Collect(line);
}

TUnattendedJob::TUnattendedJob() : FOuter(CurrentUnattended) { CurrentUnattended = this; }

TUnattendedJob::~TUnattendedJob() { CurrentUnattended = FOuter; }

bool TUnattendedJob::Active() { return CurrentUnattended != nullptr; }

std::string TUnattendedJob::Reason() const { return FCollected.empty() ? std::string() : FCollected.front(); }

void TUnattendedJob::Collect(const std::string& text) {
  std::string plain = OnOneLine(WithoutErrorLead(text));
  // The runner shows its error in a box and then on the pane: one reason.
  if (plain.empty() || (!FCollected.empty() && FCollected.back() == plain)) return;
  FCollected.push_back(std::move(plain));
}
