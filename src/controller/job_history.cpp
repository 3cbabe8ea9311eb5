#include "controller/job_history.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>

#include "platform/files.h"
#include "platform/iso_time.h"

namespace {

// Fields stay in the order written.
using TJson = nlohmann::ordered_json;

std::string TextField(const TJson& object, const char* key) {
  const auto found = object.find(key);
  return found != object.end() && found->is_string() ? found->get<std::string>() : std::string();
}

std::optional<std::uint64_t> CountField(const TJson& object, const char* key) {
  const auto found = object.find(key);
  if (found == object.end() || !found->is_number_unsigned()) return std::nullopt;
  return found->get<std::uint64_t>();
}

std::string NormalPath(const std::string& path) {
  std::error_code error;
  const std::filesystem::path absolute = std::filesystem::absolute(path, error);
  return (error ? std::filesystem::path(path) : absolute).lexically_normal().string();
}

}  // namespace

std::string HistoryFileName(const std::string& title) { return title + ".history.jsonl"; }

std::optional<std::int64_t> THistoryRecord::StartSeconds() const { return ParseIso8601(Start); }

std::optional<std::int64_t> THistoryRecord::EndSeconds() const { return ParseIso8601(End); }

std::optional<std::int64_t> THistoryRecord::DurationSeconds() const {
  const auto start = StartSeconds();
  const auto end = EndSeconds();
  if (!start || !end) return std::nullopt;
  return *end - *start;
}

std::string HistoryLine(const THistoryRecord& record) {
  // Written in this order, so the file reads well by eye too.
  TJson object = TJson::object();
  object["start"] = record.Start;
  object["end"] = record.End;
  object["kind"] = record.Kind;
  object["by"] = record.By;
  object["database"] = record.Database;
  object["file"] = record.File;
  object["size"] = record.Size ? TJson(*record.Size) : TJson(nullptr);
  object["sha256"] = record.Sha256.empty() ? TJson(nullptr) : TJson(record.Sha256);
  object["outcome"] = record.Outcome;
  object["reason"] = record.Reason;
  object["lines"] = record.Lines;
  return object.dump(-1, ' ', false, TJson::error_handler_t::replace);
}

std::optional<THistoryRecord> ParseHistoryLine(std::string_view line) {
  const TJson object = TJson::parse(line.begin(), line.end(), nullptr, false);
  if (object.is_discarded() || !object.is_object()) return std::nullopt;
  THistoryRecord record;
  record.Start = TextField(object, "start");
  record.Kind = TextField(object, "kind");
  record.Outcome = TextField(object, "outcome");
  if (record.Start.empty() || record.Kind.empty() || record.Outcome.empty()) return std::nullopt;
  record.End = TextField(object, "end");
  record.By = TextField(object, "by");
  record.Database = TextField(object, "database");
  record.File = TextField(object, "file");
  record.Size = CountField(object, "size");
  record.Sha256 = TextField(object, "sha256");
  record.Reason = TextField(object, "reason");
  record.Lines = CountField(object, "lines").value_or(0);
  return record;
}

bool AppendHistory(const std::string& path, const THistoryRecord& record) {
  return AppendLine(path, HistoryLine(record));
}

std::vector<THistoryRecord> ReadHistory(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<THistoryRecord> records;
  std::size_t start = 0;
  while (start < text.size()) {
    // A line cut short by a failed write is no JSON object and is skipped.
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    if (auto record = ParseHistoryLine(std::string_view(text).substr(start, end - start)))
      records.push_back(std::move(*record));
    start = end + 1;
  }
  return records;
}

std::optional<THistoryRecord> LastSuccessful(const std::vector<THistoryRecord>& records, std::string_view kind,
                                             std::string_view database) {
  for (auto it = records.rbegin(); it != records.rend(); ++it)
    if (it->Succeeded() && it->Kind == kind && it->Database == database) return *it;
  return std::nullopt;
}

std::optional<THistoryRecord> LastBackupWriting(const std::vector<THistoryRecord>& records, const std::string& file) {
  const std::string wanted = NormalPath(file);
  for (auto it = records.rbegin(); it != records.rend(); ++it)
    if (it->Succeeded() && it->Kind == HistoryKindBackup && NormalPath(it->File) == wanted) return *it;
  return std::nullopt;
}
