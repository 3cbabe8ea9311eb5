#pragma once
// The plan's state in the text format that Prometheus' node exporter reads
// from its text-file folder (one file "quorvin.prom"): per database of the
// plan the last successful plan backup (its end, duration and size), the
// last plan backup's outcome, the failed plan backups and the monitoring
// verdict, and whether the plan runs. Each sample is labelled with the
// database and the entry's number (a database may stand in two entries).

#include <string>
#include <vector>

#include "controller/monitoring/plan_health.h"

inline constexpr const char* MetricsFileName = "quorvin.prom";

std::string MetricsText(const std::vector<TEntryHealth>& entries, bool planRunning);

// A label value as the format writes it: backslash, double quote and line
// feed escaped.
std::string MetricsLabel(const std::string& value);
