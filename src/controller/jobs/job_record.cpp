#include "controller/jobs/job_record.h"

#include <chrono>
#include <cstdlib>
#include <sstream>
#include <utility>

#include "platform/files.h"

namespace {

constexpr std::pair<char, const char*> Escapes[] = {{'%', "%25"}, {'\t', "%09"}, {'\r', "%0D"}, {'\n', "%0A"}};

std::string Escaped(const std::string& value) {
  std::string out;
  for (char c : value) {
    const char* code = nullptr;
    for (const auto& [plain, escaped] : Escapes)
      if (c == plain) code = escaped;
    if (code)
      out += code;
    else
      out += c;
  }
  return out;
}

std::string Unescaped(const std::string& value) {
  std::string out;
  for (std::size_t i = 0; i < value.size(); ++i) {
    bool decoded = false;
    for (const auto& [plain, escaped] : Escapes) {
      if (value.compare(i, 3, escaped) == 0) {
        out += plain;
        i += 2;
        decoded = true;
        break;
      }
    }
    if (!decoded) out += value[i];
  }
  return out;
}

// "device:inode:size:modified"; empty for none.
std::string IdentityText(const std::optional<TFileIdentity>& identity) {
  if (!identity) return {};
  return std::to_string(identity->Device) + ":" + std::to_string(identity->Inode) + ":" +
         std::to_string(identity->Size) + ":" + std::to_string(identity->ModifiedNs);
}

std::optional<TFileIdentity> ParseIdentity(const std::string& text) {
  std::istringstream in(text);
  TFileIdentity identity;
  char a = 0, b = 0, c = 0;
  if (!(in >> identity.Device >> a >> identity.Inode >> b >> identity.Size >> c >> identity.ModifiedNs) || a != ':' ||
      b != ':' || c != ':')
    return std::nullopt;
  return identity;
}

std::int64_t SecondsNow() {
  return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch()).count();
}

// "target<TAB>aside<TAB>identity" of one replaced file.
std::string PairText(const TReplacedPair& pair) {
  return Escaped(pair.Target) + "\t" + Escaped(pair.Aside) + "\t" + IdentityText(pair.AsideIdentity);
}

TReplacedPair ParsePair(const std::string& value) {
  TReplacedPair pair;
  const std::size_t first = value.find('\t');
  const std::size_t second = first == std::string::npos ? std::string::npos : value.find('\t', first + 1);
  pair.Target = Unescaped(value.substr(0, first));
  if (first != std::string::npos) pair.Aside = Unescaped(value.substr(first + 1, second - first - 1));
  if (second != std::string::npos) pair.AsideIdentity = ParseIdentity(value.substr(second + 1));
  return pair;
}

}  // namespace

std::string TJobRecord::Text() const {
  std::ostringstream out;
  const auto line = [&out](const char* key, const std::string& value) { out << key << '=' << Escaped(value) << '\n'; };
  line("Kind", Kind);
  line("Started", Started);
  line("StartedAt", StartedAt);
  line("By", By);
  line("Settings", Settings);
  line("Database", Database);
  line("Target", Target);
  line("Source", Source);
  // Escaped per field, so a tab stays the separator.
  for (const TReplacedPair& pair : Replaced) out << "Replaced=" << PairText(pair) << '\n';
  line("VerifyDatabase", VerifyDatabase);
  line("ShutDown", ShutDown ? "1" : "0");
  line("RequestStarted", RequestStarted ? "1" : "0");
  line("Succeeded", Succeeded ? "1" : "0");
  line("Made", Made ? "1" : "0");
  line("Verify", Verify ? "1" : "0");
  line("RequestStart", std::to_string(RequestStart));
  line("Protocol", std::to_string(static_cast<int>(Protocol)));
  line("User", User);
  line("Alive", std::to_string(Alive));
  line("TargetIdentity", IdentityText(TargetIdentity));
  return out.str();
}

std::optional<TJobRecord> TJobRecord::Parse(const std::string& text) {
  TJobRecord record;
  std::string oldAside;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    const std::size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    const std::string key = line.substr(0, eq);
    const std::string raw = line.substr(eq + 1);
    const std::string value = Unescaped(raw);
    if (key == "Kind") record.Kind = value;
    if (key == "Started") record.Started = value;
    if (key == "StartedAt") record.StartedAt = value;
    if (key == "By") record.By = value;
    if (key == "Source") record.Source = value;
    if (key == "Settings") record.Settings = value;
    if (key == "Database") record.Database = value;
    if (key == "Target") record.Target = value;
    if (key == "Replaced") record.Replaced.push_back(ParsePair(raw));
    if (key == "Aside") oldAside = value;
    if (key == "VerifyDatabase") record.VerifyDatabase = value;
    if (key == "ShutDown") record.ShutDown = value == "1";
    if (key == "RequestStarted") record.RequestStarted = value == "1";
    if (key == "Succeeded") record.Succeeded = value == "1";
    if (key == "Made") record.Made = value == "1";
    if (key == "Verify") record.Verify = value == "1";
    if (key == "RequestStart") record.RequestStart = std::atoll(value.c_str());
    if (key == "Protocol")
      record.Protocol = static_cast<TProtocol>(static_cast<std::uint8_t>(std::atoi(value.c_str())));
    if (key == "User") record.User = value;
    if (key == "Alive") record.Alive = std::atoll(value.c_str());
    if (key == "TargetIdentity") record.TargetIdentity = ParseIdentity(value);
  }
  if (!oldAside.empty() && record.Replaced.empty()) record.Replaced.push_back({record.Target, oldAside, {}});
  // A backup made only as a copy on this computer names the copy; a record
  // of an earlier version had no target then.
  if (record.Kind != Backup && record.Kind != NBackup && (record.Kind != Restore || record.Target.empty()))
    return std::nullopt;
  return record;
}

TJobRecordFile::TJobRecordFile(std::string path, TJobRecord record)
    : FPath(std::move(path)), FRecord(std::move(record)) {
  FRecord.Alive = SecondsNow();
}

TJobRecordFile::~TJobRecordFile() {
  {
    std::lock_guard<std::mutex> lock(FMutex);
    FEnded = true;
  }
  FWake.notify_all();
  if (FHeart.joinable()) FHeart.join();
  DeleteFile(FPath);
}

void TJobRecordFile::SaveLocked() {
  if (!FEnded) WriteFileAtomically(FPath, FRecord.Text());
}

void TJobRecordFile::Save() {
  std::lock_guard<std::mutex> lock(FMutex);
  FRecord.Alive = SecondsNow();
  SaveLocked();
}

void TJobRecordFile::NoteAside(const std::string& target, const std::string& aside) {
  std::lock_guard<std::mutex> lock(FMutex);
  bool found = false;
  for (TReplacedPair& pair : FRecord.Replaced) {
    if (pair.Target != target) continue;
    pair.Aside = aside;
    pair.AsideIdentity.reset();
    found = true;
  }
  if (!found) FRecord.Replaced.push_back({target, aside, {}});
  SaveLocked();
}

void TJobRecordFile::NoteAsideMoved(const std::string& aside) {
  std::lock_guard<std::mutex> lock(FMutex);
  for (TReplacedPair& pair : FRecord.Replaced)
    if (pair.Aside == aside) pair.AsideIdentity = IdentityOf(aside);
  SaveLocked();
}

void TJobRecordFile::NoteReplaced(const std::string& target) {
  std::lock_guard<std::mutex> lock(FMutex);
  for (const TReplacedPair& pair : FRecord.Replaced)
    if (pair.Target == target) return;
  FRecord.Replaced.push_back({target, {}, {}});
  SaveLocked();
}

void TJobRecordFile::NoteRequestStarted() {
  {
    std::lock_guard<std::mutex> lock(FMutex);
    FRecord.RequestStarted = true;
    FRecord.Alive = SecondsNow();
    FRecord.RequestStart = FRecord.Alive;
    SaveLocked();
  }
  if (!FHeart.joinable()) FHeart = std::thread([this] { Beat(); });
}

void TJobRecordFile::NoteSucceeded() {
  std::lock_guard<std::mutex> lock(FMutex);
  FRecord.Succeeded = true;
  SaveLocked();
}

void TJobRecordFile::NoteMade() {
  std::lock_guard<std::mutex> lock(FMutex);
  FRecord.Made = true;
  SaveLocked();
}

void TJobRecordFile::NoteVerifyDatabase(const std::string& database) {
  std::lock_guard<std::mutex> lock(FMutex);
  FRecord.VerifyDatabase = database;
  SaveLocked();
}

// The sign of life: on a thread of its own, so a request that is silent for
// minutes (a restore building an index) still shows the job alive.
void TJobRecordFile::Beat() {
  std::unique_lock<std::mutex> lock(FMutex);
  while (!FEnded) {
    FWake.wait_for(lock, std::chrono::seconds(AliveSeconds), [this] { return FEnded; });
    if (FEnded) break;
    FRecord.Alive = SecondsNow();
    FRecord.TargetIdentity = IdentityOf(FRecord.Target);
    SaveLocked();
  }
}
