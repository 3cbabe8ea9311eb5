#include "controller/jobs/backup_names.h"

#include <algorithm>

#include "controller/history/job_history.h"
#include "controller/jobs/database_jobs.h"
#include "platform/files.h"
#include "runner/job_paths.h"
#include "runner/local_copy_job.h"
#include "runner/local_copy_writer.h"

namespace {

// "_dd_mm_yy_hh_nn", then "_ss"; '9' stands for a digit.
constexpr std::string_view MinutePattern = "_99_99_99_99_99";
constexpr std::string_view SecondsPattern = "_99";
// More backups of one second than anyone makes: a longer count is no name of ours.
constexpr std::size_t MaxCountDigits = 6;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool Matches(std::string_view text, std::string_view pattern) {
  if (text.size() < pattern.size()) return false;
  for (std::size_t i = 0; i < pattern.size(); ++i)
    if (pattern[i] == '9' ? !IsDigit(text[i]) : text[i] != pattern[i]) return false;
  return true;
}

int TwoDigits(std::string_view text, std::size_t pos) { return (text[pos] - '0') * 10 + (text[pos + 1] - '0'); }

// "_N" with N from 2, no leading zero; 0 when `text` is not one.
int CountOf(std::string_view text) {
  if (text.size() < 2 || text.size() > 1 + MaxCountDigits || text[0] != '_' || text[1] == '0') return 0;
  int count = 0;
  for (char c : text.substr(1)) {
    if (!IsDigit(c)) return 0;
    count = count * 10 + (c - '0');
  }
  return count >= 2 ? count : 0;
}

// Something of that name is there (a file, a folder, a dangling link).
bool Present(const std::string& path) { return IdentityOf(path).has_value(); }

}  // namespace

std::optional<TBackupStamp> ParseBackupStamp(std::string_view text) {
  if (!Matches(text, MinutePattern)) return std::nullopt;
  TBackupStamp stamp;
  int second = 0;
  std::string_view rest = text.substr(MinutePattern.size());
  if (!rest.empty()) {
    if (!Matches(rest, SecondsPattern)) return std::nullopt;
    second = TwoDigits(rest, 1);
    stamp.Order = 1;
    rest.remove_prefix(SecondsPattern.size());
  }
  if (!rest.empty()) {
    stamp.Order = CountOf(rest);
    if (stamp.Order == 0) return std::nullopt;
  }
  const auto field = [&](int n) { return TwoDigits(text, 1 + 3 * static_cast<std::size_t>(n)); };
  TDateTime date = 0;
  TDateTime time = 0;
  if (!TryEncodeDate(2000 + field(2), field(1), field(0), date) || !TryEncodeTime(field(3), field(4), second, 0, time))
    return std::nullopt;
  stamp.Moment = date + time;
  return stamp;
}

std::string FirstFreeName(const std::vector<std::string>& stems, const std::string& extension,
                          const std::function<bool(const std::string& path)>& taken) {
  for (const std::string& stem : stems)
    if (!taken(stem + extension)) return stem + extension;
  // Ends: only finitely many names are taken.
  for (int count = 2;; ++count) {
    const std::string name = stems.back() + "_" + std::to_string(count) + extension;
    if (!taken(name)) return name;
  }
}

bool BackupNameTaken(const std::string& path, const std::string& copyDir, const std::vector<THistoryRecord>& history) {
  if (Present(path)) return true;
  std::string copy;
  if (!copyDir.empty()) {
    copy = LocalCopyPathOf(copyDir, LastPathComponent(path));
    if (Present(copy) || Present(ChecksumFileOf(copy))) return true;
  }
  return std::any_of(history.begin(), history.end(), [&](const THistoryRecord& record) {
    for (const std::string* named : {&record.File, &record.Copy})
      if (!named->empty() && (*named == path || *named == copy)) return true;
    return false;
  });
}

std::string NewDatedBackupFile(const TBackupName& name, TDateTime moment, const std::string& copyDir,
                               const std::string& historyPath) {
  const std::string stem = name.BackDir + name.BackBaseName;
  const std::vector<THistoryRecord> history = ReadHistory(historyPath);
  return FirstFreeName(
      {stem + FormatDateTime("_dd_mm_yy_hh_nn", moment), stem + FormatDateTime("_dd_mm_yy_hh_nn_ss", moment)}, ".gbk",
      [&](const std::string& path) { return BackupNameTaken(path, copyDir, history); });
}
