#pragma once
// What every benchmark here measures with: a stopwatch, the median of runs,
// file sizes and a pane that keeps the job's lines.

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "runner/ui_seams.h"

using Clock = std::chrono::steady_clock;

inline double Since(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

inline double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const std::size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

inline double FileMb(const std::string& path) {
  std::error_code error;
  return static_cast<double>(std::filesystem::file_size(path, error)) / (1024.0 * 1024.0);
}

// A pane that keeps every line, for a job run by a benchmark.
class TStoringPane : public TLogPaneView {
 public:
  void Clear() override { Lines.clear(); }
  void AppendLine(const std::string& line) override { Lines.push_back(line); }
  std::vector<std::string> Lines;
};
