#include "controller/history/backup_outcomes.h"

#include <algorithm>
#include <fstream>
#include <iterator>

#include "platform/iso_time.h"

namespace {

bool IsBackup(const THistoryRecord& record) {
  return record.Kind == HistoryKindBackup || record.Kind == HistoryKindNBackup;
}

// The bytes of the file from `offset` on.
std::string ReadFrom(const std::string& path, std::uint64_t offset) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  in.seekg(static_cast<std::streamoff>(offset));
  if (!in) return {};
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

std::optional<std::int64_t> EndedSeconds(const THistoryRecord& record) {
  if (const auto end = record.EndSeconds()) return end;
  return record.StartSeconds();
}

void TBackupOutcomes::SetSeenUntil(const std::string& until) {
  FSeenUntil = ParseIso8601(until);
  FSeenText = FSeenUntil ? until : std::string();
}

bool TBackupOutcomes::MarkSeen(const std::string& until) {
  const std::optional<std::int64_t> seconds = ParseIso8601(until);
  if (!seconds || (FSeenUntil && *seconds <= *FSeenUntil)) return false;
  FSeenUntil = seconds;
  FSeenText = until;
  for (auto& [name, outcome] : FDatabases) {
    auto& unseen = outcome.Unseen;
    const auto seen = std::find_if(unseen.begin(), unseen.end(),
                                   [this](const THistoryRecord& r) { return !Seen(EndedSeconds(r).value_or(0)); });
    // While none of those kept is seen, the older ones left out of the list
    // keep their count (some of them may still be unseen).
    if (seen == unseen.begin()) continue;
    unseen.erase(unseen.begin(), seen);
    outcome.UnseenCount = unseen.size();
  }
  return true;
}

bool TBackupOutcomes::Follow() {
  const std::optional<TFileIdentity> now = IdentityOf(FPath);
  if (!now) {
    const bool had = FRead.has_value();
    Forget();
    return had;
  }
  if (FRead && *FRead == *now) return false;
  // Another file in its place, or one cut short: read afresh.
  if (!FRead || !FRead->SameFile(*now) || now->Size < FOffset) Forget();
  FRead = now;
  const std::string text = ReadFrom(FPath, FOffset);
  // Whole lines only: a line still being written is read once it ends.
  const std::size_t whole = text.rfind('\n');
  if (whole == std::string::npos) return false;
  for (std::size_t start = 0; start <= whole;) {
    const std::size_t end = text.find('\n', start);
    if (auto record = ParseHistoryLine(std::string_view(text).substr(start, end - start))) Take(*record);
    start = end + 1;
  }
  FOffset += whole + 1;
  return true;
}

void TBackupOutcomes::Take(const THistoryRecord& record) {
  const std::optional<std::int64_t> ended = EndedSeconds(record);
  if (!IsBackup(record) || !ended) return;
  TDatabaseOutcome& outcome = FDatabases[record.Database];
  outcome.Database = record.Database;
  // Later in the file wins among equal ends.
  if (outcome.Newest.Start.empty() || *ended >= outcome.NewestEnded) {
    outcome.Newest = record;
    outcome.NewestEnded = *ended;
  }
  if (record.Succeeded() || Seen(*ended)) return;
  outcome.Unseen.push_back(record);
  ++outcome.UnseenCount;
  if (outcome.Unseen.size() > MaxUnseenKept) outcome.Unseen.erase(outcome.Unseen.begin());
}

const TDatabaseOutcome* TBackupOutcomes::Of(const std::string& database) const {
  const auto found = FDatabases.find(database);
  return found == FDatabases.end() ? nullptr : &found->second;
}

std::vector<const TDatabaseOutcome*> TBackupOutcomes::WithUnseenFailures() const {
  std::vector<const TDatabaseOutcome*> failing;
  for (const auto& [name, outcome] : FDatabases)
    if (outcome.UnseenCount > 0) failing.push_back(&outcome);
  std::stable_sort(failing.begin(), failing.end(), [](const TDatabaseOutcome* a, const TDatabaseOutcome* b) {
    return EndedSeconds(a->Unseen.front()) < EndedSeconds(b->Unseen.front());
  });
  return failing;
}

bool TBackupOutcomes::AnyUnseenFailure() const {
  return std::any_of(FDatabases.begin(), FDatabases.end(),
                     [](const auto& item) { return item.second.UnseenCount > 0; });
}

void TBackupOutcomes::Forget() {
  FRead.reset();
  FOffset = 0;
  FDatabases.clear();
}
