#include "controller/plan_status/plan_status.h"

#include <nlohmann/json.hpp>

#include "controller/quorvin.h"
#include "controller/status_texts.h"
#include "platform/computer_name.h"
#include "platform/file_lock.h"
#include "platform/files.h"
#include "platform/iso_time.h"

namespace {

using TJson = nlohmann::ordered_json;

constexpr const char* StatusSuffix = ".plan-status.json";

TJson ReportJson(const TJobReport& report) {
  return {{"database", report.Database}, {"file", report.Target},   {"succeeded", report.Succeeded},
          {"ended", report.Ended},       {"reason", report.Reason}, {"warnings", report.Warnings}};
}

TJobReport ReportOf(const TJson& json) {
  TJobReport report;
  report.Database = json.value("database", "");
  report.Target = json.value("file", "");
  report.Succeeded = json.value("succeeded", false);
  report.Ended = json.value("ended", 0.0);
  report.Reason = json.value("reason", "");
  report.Warnings = json.value("warnings", std::vector<std::string>());
  return report;
}

}  // namespace

std::string PlanStatusPath(const TQuorvin& q) {
  // "…/Quorvin.job" → "…/Quorvin.plan-status.json"
  std::string path = q.JobRecordPath();
  const std::size_t dot = path.rfind('.');
  if (dot != std::string::npos && path.find('/', dot) == std::string::npos) path.erase(dot);
  return path + StatusSuffix;
}

TPlanStatus PlanStatusOf(const TQuorvin& q) {
  TPlanStatus status;
  status.Holder = TFileLock::Holder(q.PlanLockPath());
  status.Pid = ProcessId();
  status.Host = ComputerName();
  status.Job = JobStatusLine(q, TLanguage::Russian);
  status.JobEnglish = JobStatusLine(q, TLanguage::English);
  status.Next = q.NextPlanBackups();
  for (const TPlanEntry& entry : q.PlanEntries())
    if (const TJobReport* report = q.Plan().LastReportOf(entry.Id)) status.Last.push_back(*report);
  return status;
}

std::string PlanStatusText(const TPlanStatus& status) {
  TJson next = TJson::array();
  for (const TNextBackup& backup : status.Next)
    next.push_back({{"database", backup.DataBase}, {"when", backup.When}, {"at", FormatIso8601(backup.When)}});
  TJson last = TJson::array();
  for (const TJobReport& report : status.Last) last.push_back(ReportJson(report));
  const TJson json = {{"holder", status.Holder},
                      {"pid", status.Pid},
                      {"host", status.Host},
                      {"since", status.Since},
                      {"job", status.Job},
                      {"job_english", status.JobEnglish},
                      {"next", next},
                      {"last", last}};
  return json.dump(-1, ' ', false, TJson::error_handler_t::replace) + "\n";
}

std::optional<TPlanStatus> ReadPlanStatus(const std::string& path) {
  bool exists = false;
  const std::optional<std::string> text = ReadWholeFile(path, exists);
  if (!text || !exists) return std::nullopt;
  const TJson json = TJson::parse(*text, nullptr, false);
  if (!json.is_object()) return std::nullopt;
  try {
    TPlanStatus status;
    status.Holder = json.value("holder", "");
    status.Pid = json.value("pid", 0L);
    status.Host = json.value("host", "");
    status.Since = json.value("since", "");
    status.Job = json.value("job", "");
    status.JobEnglish = json.value("job_english", "");
    for (const TJson& backup : json.value("next", TJson::array()))
      status.Next.push_back({0, backup.value("database", ""), backup.value("when", 0.0)});
    for (const TJson& report : json.value("last", TJson::array())) status.Last.push_back(ReportOf(report));
    return status;
  } catch (const nlohmann::json::exception&) {
    return std::nullopt;
  }
}

std::optional<TPlanStatus> PlanStatusElsewhere(const TQuorvin& q) {
  if (q.Plan().Running() || q.PlanRunElsewhere().empty()) return std::nullopt;
  return ReadPlanStatus(PlanStatusPath(q));
}

void TPlanStatusWriter::Update() {
  if (!FQuorvin.Plan().Running()) {
    Remove();
    return;
  }
  if (FSince.empty()) FSince = FormatIso8601(Now());
  TPlanStatus status = PlanStatusOf(FQuorvin);
  status.Since = FSince;
  const std::string text = PlanStatusText(status);
  if (text == FWritten) return;
  if (WriteFileAtomically(FPath, text)) FWritten = text;
}

void TPlanStatusWriter::Remove() {
  FSince.clear();
  if (FWritten.empty()) return;
  DeleteFile(FPath);
  FWritten.clear();
}
