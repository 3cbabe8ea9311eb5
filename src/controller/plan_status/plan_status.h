#pragma once
// What the program that runs the plan of a settings file tells the others
// (the window, `quorvinctl status`) about it: a small JSON file beside the
// record of the job in progress ("Quorvin.plan-status.json"), rewritten when
// it changes and removed when the plan stops. Only the holder of the plan
// lock writes it; others believe it only while that lock is held.

#include <optional>
#include <string>
#include <vector>

#include "controller/messages/messages.h"
#include "controller/plan/plan.h"
#include "runner/job_notices.h"

class TQuorvin;

struct TPlanStatus {
  // Who runs the plan, as its lock says, and the same in parts: its process,
  // computer, and since when it runs the plan (ISO 8601; empty: not said).
  std::string Holder;
  long Pid = 0;
  std::string Host;
  std::string Since;
  // The job under way as the status line says it, in Russian and in
  // English (the window and the command line read it); empty while none
  // runs.
  std::string Job;
  std::string JobEnglish;
  // The job in `language`; a file without the English line: the Russian.
  const std::string& JobIn(TLanguage language) const {
    return language == TLanguage::English && !JobEnglish.empty() ? JobEnglish : Job;
  }
  // The next backup of each database, the earliest first.
  std::vector<TNextBackup> Next;
  // The last plan backup of each database in this run of the plan.
  std::vector<TJobReport> Last;
};

// The file of `q`'s settings.
std::string PlanStatusPath(const TQuorvin& q);
// What `q`, which runs the plan, has to say now.
TPlanStatus PlanStatusOf(const TQuorvin& q);
std::string PlanStatusText(const TPlanStatus& status);
// nullopt when the file is missing or unreadable.
std::optional<TPlanStatus> ReadPlanStatus(const std::string& path);
// The status another program writes while it runs the plan of `q`'s
// settings; nullopt while nobody else runs it.
std::optional<TPlanStatus> PlanStatusElsewhere(const TQuorvin& q);

// Keeps the file up to date for the program that runs the plan.
class TPlanStatusWriter {
 public:
  explicit TPlanStatusWriter(const TQuorvin& q) : FQuorvin(q), FPath(PlanStatusPath(q)) {}
  ~TPlanStatusWriter() { Remove(); }
  TPlanStatusWriter(const TPlanStatusWriter&) = delete;
  TPlanStatusWriter& operator=(const TPlanStatusWriter&) = delete;

  // Writes the status while the plan runs here and it has changed; removes
  // the file once the plan has stopped.
  void Update();
  void Remove();

 private:
  const TQuorvin& FQuorvin;
  std::string FPath;
  std::string FWritten;
  std::string FSince;
};
