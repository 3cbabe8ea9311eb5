#include "controller/jobs/job_record.h"

#include <sstream>
#include <utility>

#include "platform/files.h"

namespace {

std::string Escaped(const std::string& value) {
  std::string out;
  for (char c : value) {
    if (c == '%') {
      out += "%25";
    } else if (c == '\r') {
      out += "%0D";
    } else if (c == '\n') {
      out += "%0A";
    } else {
      out += c;
    }
  }
  return out;
}

std::string Unescaped(const std::string& value) {
  std::string out;
  for (std::size_t i = 0; i < value.size(); ++i) {
    const std::string code = value.substr(i, 3);
    if (code == "%25" || code == "%0D" || code == "%0A") {
      out += code == "%25" ? '%' : (code == "%0D" ? '\r' : '\n');
      i += 2;
    } else {
      out += value[i];
    }
  }
  return out;
}

}  // namespace

std::string TJobRecord::Text() const {
  std::ostringstream out;
  const auto line = [&out](const char* key, const std::string& value) { out << key << '=' << Escaped(value) << '\n'; };
  line("Kind", Kind);
  line("Started", Started);
  line("Database", Database);
  line("Target", Target);
  line("Aside", Aside);
  line("ShutDown", ShutDown ? "1" : "0");
  line("RequestStarted", RequestStarted ? "1" : "0");
  line("Succeeded", Succeeded ? "1" : "0");
  line("Protocol", std::to_string(Protocol));
  line("User", User);
  line("Password", Password);
  return out.str();
}

std::optional<TJobRecord> TJobRecord::Parse(const std::string& text) {
  TJobRecord record;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    const std::size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    const std::string key = line.substr(0, eq);
    const std::string value = Unescaped(line.substr(eq + 1));
    if (key == "Kind") record.Kind = value;
    if (key == "Started") record.Started = value;
    if (key == "Database") record.Database = value;
    if (key == "Target") record.Target = value;
    if (key == "Aside") record.Aside = value;
    if (key == "ShutDown") record.ShutDown = value == "1";
    if (key == "RequestStarted") record.RequestStarted = value == "1";
    if (key == "Succeeded") record.Succeeded = value == "1";
    if (key == "Protocol") record.Protocol = static_cast<std::uint8_t>(std::atoi(value.c_str()));
    if (key == "User") record.User = value;
    if (key == "Password") record.Password = value;
  }
  // A backup made only as a copy on this computer writes no file on the
  // server: it has no target.
  if (record.Kind != Backup && (record.Kind != Restore || record.Target.empty())) return std::nullopt;
  return record;
}

TJobRecordFile::TJobRecordFile(std::string path, TJobRecord record)
    : FPath(std::move(path)), FRecord(std::move(record)) {}

TJobRecordFile::~TJobRecordFile() { DeleteFile(FPath); }

void TJobRecordFile::Save() { WriteFileAtomically(FPath, FRecord.Text()); }

void TJobRecordFile::NoteAside(const std::string& aside) {
  FRecord.Aside = aside;
  Save();
}

void TJobRecordFile::NoteRequestStarted() {
  FRecord.RequestStarted = true;
  Save();
}

void TJobRecordFile::NoteSucceeded() {
  FRecord.Succeeded = true;
  Save();
}
