#include "controller/monitoring/metrics_text.h"

#include <functional>
#include <optional>

namespace {

struct TMetric {
  const char* Name;
  const char* Type;
  const char* Help;
  // The value for an entry; none: the entry has no sample.
  std::function<std::optional<double>(const TEntryHealth&)> Value;
};

std::optional<double> Seconds(const std::optional<std::int64_t>& value) {
  if (!value) return std::nullopt;
  return static_cast<double>(*value);
}

// clang-format off
const TMetric Metrics[] = {
    {"quorvin_last_success_timestamp_seconds", "gauge",
     "End of the last successful plan backup of the database (Unix time; 0: none yet).",
     [](const TEntryHealth& e) { return e.LastSuccess ? Seconds(e.LastSuccess->EndSeconds()) : 0.0; }},
    {"quorvin_last_duration_seconds", "gauge", "Duration of the last successful plan backup of the database.",
     [](const TEntryHealth& e) { return e.LastSuccess ? Seconds(e.LastSuccess->DurationSeconds()) : std::nullopt; }},
    {"quorvin_last_size_bytes", "gauge", "Size of the backup file of the last successful plan backup.",
     [](const TEntryHealth& e) -> std::optional<double> {
       if (!e.LastSuccess || !e.LastSuccess->Size) return std::nullopt;
       return static_cast<double>(*e.LastSuccess->Size);
     }},
    {"quorvin_last_backup_success", "gauge", "Whether the last plan backup of the database succeeded (1) or not (0).",
     [](const TEntryHealth& e) -> std::optional<double> {
       if (!e.Last) return std::nullopt;
       return e.Last->Succeeded() ? 1.0 : 0.0;
     }},
    {"quorvin_backup_failures_total", "counter", "Failed plan backups of the database in the job history.",
     [](const TEntryHealth& e) { return static_cast<double>(e.Failures); }},
    {"quorvin_offsite_last_success_timestamp_seconds", "gauge",
     "End of the last off-site copy of a plan backup of the database that was made (Unix time; 0: none yet).",
     [](const TEntryHealth& e) -> std::optional<double> {
       if (!e.LastOffsite) return std::nullopt;
       return e.LastOffsiteSuccess ? Seconds(e.LastOffsiteSuccess->EndSeconds()) : 0.0;
     }},
    {"quorvin_offsite_failures_total", "counter", "Off-site copies of plan backups of the database that failed.",
     [](const TEntryHealth& e) -> std::optional<double> {
       if (!e.LastOffsite) return std::nullopt;
       return static_cast<double>(e.OffsiteFailures);
     }},
    {"quorvin_backup_status", "gauge",
     "The verdict of quorvinctl status for the database: 0 OK, 1 WARNING, 2 CRITICAL.",
     [](const TEntryHealth& e) { return static_cast<double>(static_cast<int>(e.Health)); }},
};
// clang-format on

std::string Number(double value) {
  std::string text = std::to_string(value);
  // Whole numbers as integers; others with their fraction.
  if (text.find('.') != std::string::npos) {
    text.erase(text.find_last_not_of('0') + 1);
    if (text.back() == '.') text.pop_back();
  }
  return text;
}

}  // namespace

std::string MetricsLabel(const std::string& value) {
  std::string text;
  for (char c : value) {
    if (c == '\\' || c == '"') text += '\\';
    text += c == '\n' ? std::string("\\n") : std::string(1, c);
  }
  return text;
}

std::string MetricsText(const std::vector<TEntryHealth>& entries, bool planRunning) {
  std::string text =
      "# HELP quorvin_plan_running Whether this program runs the plan of its settings file (1) or not (0).\n"
      "# TYPE quorvin_plan_running gauge\n"
      "quorvin_plan_running " +
      std::string(planRunning ? "1" : "0") + "\n";
  for (const TMetric& metric : Metrics) {
    std::string samples;
    for (const TEntryHealth& entry : entries)
      if (const auto value = metric.Value(entry))
        samples += std::string(metric.Name) + "{database=\"" + MetricsLabel(entry.Database) + "\",entry=\"" +
                   std::to_string(entry.Number) + "\"} " + Number(*value) + "\n";
    if (samples.empty()) continue;
    text += std::string("# HELP ") + metric.Name + " " + metric.Help + "\n# TYPE " + metric.Name + " " + metric.Type +
            "\n" + samples;
  }
  return text;
}
