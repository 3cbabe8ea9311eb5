#pragma once
// What the history says of each database's backups at a glance, for the tray
// icon, the tool tip and the status line: the newest outcome of each
// database whoever made it (the window, the service, quorvinctl; by hand or
// by the plan), and every failure the user has not seen yet. A failure is
// seen once the user has looked at the history, which lists it; until then a
// later success (of another database, or of its own) does not hide it. The
// moment up to which failures are seen is the front end's to keep (the
// window keeps it in the settings), so a restart neither brings seen
// failures back nor forgets unseen ones.
//
// The file is followed: a look reads only what was appended since the last
// one (all of it again when the file was replaced or cut short).

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "controller/history/job_history.h"
#include "platform/files.h"

// One database's backups as the history tells them.
struct TDatabaseOutcome {
  std::string Database;
  // Its newest backup (logical or physical), by its end.
  THistoryRecord Newest;
  std::int64_t NewestEnded = 0;
  // The failures not seen yet, oldest first: the newest MaxUnseenKept of
  // them, and how many there are.
  std::vector<THistoryRecord> Unseen;
  std::size_t UnseenCount = 0;
};

class TBackupOutcomes {
 public:
  static constexpr std::size_t MaxUnseenKept = 10;

  explicit TBackupOutcomes(std::string historyPath) : FPath(std::move(historyPath)) {}

  // Failures that ended at or before `until` (ISO 8601, as the history
  // writes its ends) are seen; empty or unreadable: none is. Call before the
  // first look.
  void SetSeenUntil(const std::string& until);
  // The user has seen the history up to the record that ended at `until`:
  // failures that ended then or before are seen. False when that moves
  // nothing (an earlier or equal moment).
  bool MarkSeen(const std::string& until);
  const std::string& SeenUntil() const { return FSeenText; }

  // Reads what the file gained since the last look; true when the outcomes
  // may have changed.
  bool Follow();
  // Takes one record of the file, in file order.
  void Take(const THistoryRecord& record);

  // nullptr for a database the history holds no backup of.
  const TDatabaseOutcome* Of(const std::string& database) const;
  // The databases with failures not seen yet, the one whose earliest unseen
  // failure is the oldest first.
  std::vector<const TDatabaseOutcome*> WithUnseenFailures() const;
  bool AnyUnseenFailure() const;

 private:
  void Forget();
  bool Seen(std::int64_t ended) const { return FSeenUntil && ended <= *FSeenUntil; }

  std::string FPath;
  // The file as last read, and how far (whole lines only).
  std::optional<TFileIdentity> FRead;
  std::uint64_t FOffset = 0;
  std::optional<std::int64_t> FSeenUntil;
  std::string FSeenText;
  std::map<std::string, TDatabaseOutcome> FDatabases;
};

// When a record ended, in seconds since 1970; its start when its end cannot
// be read; nullopt when neither can.
std::optional<std::int64_t> EndedSeconds(const THistoryRecord& record);
