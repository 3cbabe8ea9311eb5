#include "controller/history/job_history.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>

#include "platform/files.h"
#include "platform/iso_time.h"

namespace {

// Fields stay in the order written.
using TJson = nlohmann::ordered_json;

std::optional<std::string> FromHex(const std::string& hex) {
  const auto digit = [](char c) { return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1; };
  if (hex.size() % 2 != 0) return std::nullopt;
  std::string bytes;
  for (std::size_t i = 0; i < hex.size(); i += 2) {
    const int high = digit(hex[i]), low = digit(hex[i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    bytes += static_cast<char>(high * 16 + low);
  }
  return bytes;
}

// Reads one line's object straight into a record, without building a
// document: a history of many thousand lines is read at once when the
// history page opens. Fields of nested objects and arrays are skipped.
class TRecordReader : public nlohmann::json_sax<TJson> {
 public:
  explicit TRecordReader(THistoryRecord& record) : FRecord(record) {}

  bool null() override { return Scalar(); }
  bool boolean(bool) override { return Scalar(); }
  bool number_integer(number_integer_t) override { return Scalar(); }
  bool number_unsigned(number_unsigned_t value) override {
    if (Depth == 1) {
      if (FKey == "size") FRecord.Size = value;
      if (FKey == "copy_size") FRecord.CopySize = value;
      if (FKey == "lines") FRecord.Lines = value;
      if (FKey == "copy_seconds") FRecord.CopySeconds = static_cast<std::int64_t>(value);
      if (FKey == "verify_seconds") FRecord.VerifySeconds = static_cast<std::int64_t>(value);
      if (FKey == "level" && value < 100) FRecord.Level = static_cast<int>(value);
    }
    return Scalar();
  }
  bool number_float(number_float_t, const string_t&) override { return Scalar(); }
  bool string(string_t& value) override {
    if (Depth == 1) {
      // A name's bytes, when written beside it, are the name itself.
      const bool bytes = FKey.ends_with("_hex");
      if (std::string* field = TextField()) {
        if (!bytes)
          *field = std::move(value);
        else if (auto decoded = FromHex(value))
          *field = std::move(*decoded);
      }
    }
    return Scalar();
  }
  bool binary(binary_t&) override { return Scalar(); }
  bool start_object(std::size_t) override { return Open(); }
  bool key(string_t& value) override {
    FKey = std::move(value);
    return true;
  }
  bool end_object() override {
    --Depth;
    return true;
  }
  bool start_array(std::size_t) override { return Open(); }
  bool end_array() override {
    --Depth;
    return true;
  }
  bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override { return false; }

  int Depth = 0;
  // The root is an object: a bare value or an array is no record.
  bool RootIsObject = false;

 private:
  bool Scalar() const { return Depth > 0; }
  bool Open() {
    if (Depth == 0) RootIsObject = FKey.empty();
    ++Depth;
    return true;
  }
  std::string* TextField() {
    if (FKey == "start") return &FRecord.Start;
    if (FKey == "end") return &FRecord.End;
    if (FKey == "kind") return &FRecord.Kind;
    if (FKey == "by") return &FRecord.By;
    if (FKey == "database") return &FRecord.Database;
    if (FKey == "file") return &FRecord.File;
    if (FKey == "sha256") return &FRecord.Sha256;
    if (FKey == "copy") return &FRecord.Copy;
    if (FKey == "copy_sha256") return &FRecord.CopySha256;
    if (FKey == "outcome") return &FRecord.Outcome;
    if (FKey == "reason") return &FRecord.Reason;
    if (FKey == "leftover") return &FRecord.Leftover;
    if (FKey == "key_id") return &FRecord.KeyId;
    if (FKey == "protected_until") return &FRecord.ProtectedUntil;
    if (FKey == "database_hex") return &FRecord.Database;
    if (FKey == "file_hex") return &FRecord.File;
    if (FKey == "copy_hex") return &FRecord.Copy;
    if (FKey == "leftover_hex") return &FRecord.Leftover;
    if (FKey == "chain" || FKey == "chain_hex") return &FRecord.Chain;
    if (FKey == "base" || FKey == "base_hex") return &FRecord.Base;
    return nullptr;
  }

  THistoryRecord& FRecord;
  std::string FKey;
};

std::string ToHex(const std::string& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string hex;
  for (unsigned char c : bytes) {
    hex += digits[c >> 4];
    hex += digits[c & 15];
  }
  return hex;
}

bool IsUtf8(const std::string& text) {
  try {
    (void)TJson(text).dump();
    return true;
  } catch (const TJson::type_error&) {
    return false;
  }
}

// A name field, with its bytes beside it when it is not UTF-8.
void PutName(TJson& object, const char* key, const std::string& name) {
  object[key] = name;
  if (!IsUtf8(name)) object[std::string(key) + "_hex"] = ToHex(name);
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
  PutName(object, "database", record.Database);
  PutName(object, "file", record.File);
  object["size"] = record.Size ? TJson(*record.Size) : TJson(nullptr);
  object["sha256"] = record.Sha256.empty() ? TJson(nullptr) : TJson(record.Sha256);
  // Only for a backup that made a copy: other records stay as they were.
  if (!record.Copy.empty()) {
    PutName(object, "copy", record.Copy);
    object["copy_size"] = record.CopySize ? TJson(*record.CopySize) : TJson(nullptr);
    object["copy_sha256"] = record.CopySha256;
  }
  object["outcome"] = record.Outcome;
  object["reason"] = record.Reason;
  if (!record.Leftover.empty()) PutName(object, "leftover", record.Leftover);
  object["lines"] = record.Lines;
  // Only for a backup that had these phases: other records stay as they were.
  if (record.CopySeconds) object["copy_seconds"] = *record.CopySeconds;
  if (record.VerifySeconds) object["verify_seconds"] = *record.VerifySeconds;
  // Only for the jobs of physical backups.
  if (record.Level) {
    object["level"] = *record.Level;
    if (!record.Chain.empty()) PutName(object, "chain", record.Chain);
    if (!record.Base.empty()) PutName(object, "base", record.Base);
  }
  if (!record.KeyId.empty()) object["key_id"] = record.KeyId;
  if (!record.ProtectedUntil.empty()) object["protected_until"] = record.ProtectedUntil;
  return object.dump(-1, ' ', false, TJson::error_handler_t::replace);
}

std::optional<THistoryRecord> ParseHistoryLine(std::string_view line) {
  THistoryRecord record;
  TRecordReader reader(record);
  const bool parsed = TJson::sax_parse(line.begin(), line.end(), &reader);
  if (!parsed || !reader.RootIsObject) return std::nullopt;
  if (record.Start.empty() || record.Kind.empty() || record.Outcome.empty()) return std::nullopt;
  return record;
}

bool AppendHistory(const std::string& path, const THistoryRecord& record) {
  return AppendLine(path, HistoryLine(record));
}

std::vector<THistoryRecord> ReadHistory(const std::string& path) {
  // Something else in the file's place (a folder) reads as no history.
  bool exists = false;
  const std::string text = ReadWholeFile(path, exists).value_or(std::string());
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

TCopyShape CopyShapeOf(const THistoryRecord& record) {
  if (record.Copy.empty()) return TCopyShape::None;
  return record.Copy == record.File ? TCopyShape::Only : TCopyShape::Beside;
}

std::optional<THistoryRecord> LastSuccessful(const std::vector<THistoryRecord>& records, std::string_view kind,
                                             std::string_view database, TCopyShape shape) {
  for (auto it = records.rbegin(); it != records.rend(); ++it)
    if (it->Succeeded() && it->Kind == kind && it->Database == database && CopyShapeOf(*it) == shape) return *it;
  return std::nullopt;
}

std::optional<TFileFacts> RecordedFacts(const std::vector<THistoryRecord>& records, const std::string& file) {
  const std::string wanted = NormalPath(file);
  for (auto it = records.rbegin(); it != records.rend(); ++it) {
    if (!it->Succeeded() || it->Kind != HistoryKindBackup) continue;
    if (NormalPath(it->File) == wanted) return TFileFacts{it->Size, it->Sha256};
    if (!it->Copy.empty() && NormalPath(it->Copy) == wanted) return TFileFacts{it->CopySize, it->CopySha256};
  }
  return std::nullopt;
}
