#pragma once
// The job history: a file beside the settings file holding one JSON object
// per line ("JSON lines"), one record per job (backup, restore, verification;
// the user's or the plan's). Records are only ever appended, each with one
// write; a reader skips lines it cannot read and fields it does not know, so
// a record cut short by a failed write costs that record alone, and later
// versions may add fields.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Values of THistoryRecord::Kind, By and Outcome as the file holds them.
inline constexpr const char* HistoryKindBackup = "backup";
inline constexpr const char* HistoryKindRestore = "restore";
inline constexpr const char* HistoryKindVerify = "verify";
// A physical (nbackup) backup of a level; its restore is a "restore" and its
// verification a "verify", both with the level of the file they read.
inline constexpr const char* HistoryKindNBackup = "nbackup";
// A backup's copy in object storage: File is its URL, Sha256 of what was stored.
inline constexpr const char* HistoryKindOffsite = "offsite";
inline constexpr const char* HistoryByUser = "user";
inline constexpr const char* HistoryByPlan = "plan";
inline constexpr const char* HistorySuccess = "success";
inline constexpr const char* HistoryFailure = "failure";

// The name of the history file beside the settings file of `title`.
std::string HistoryFileName(const std::string& title);

// The size and checksum of a backup file, as far as this computer can tell.
struct TFileFacts {
  std::optional<std::uint64_t> Size;
  std::string Sha256;
};

struct THistoryRecord {
  std::string Start;  // ISO 8601, local time with its offset
  std::string End;
  std::string Kind;                   // HistoryKind…
  std::string By;                     // HistoryBy…
  std::string Database;               // the database backed up, verified or restored into
  std::string File;                   // the backup file written or read
  std::optional<std::uint64_t> Size;  // of the backup file, when visible here
  std::string Sha256;                 // of the backup file, when readable here
  // A backup's compressed copy on this computer, when it made one (with
  // "copy only" the copy is also its File).
  std::string Copy;
  std::optional<std::uint64_t> CopySize;
  std::string CopySha256;
  std::string Outcome;  // HistorySuccess or HistoryFailure
  std::string Reason;   // why a job failed
  // A temporary database the job made and could not remove (a
  // verification's), left for the administrator.
  std::string Leftover;
  std::uint64_t Lines = 0;  // lines of output the job produced
  // A backup's seconds spent on its copy on this computer and on its
  // verification (its End counts both); absent in older records.
  std::optional<std::int64_t> CopySeconds;
  std::optional<std::int64_t> VerifySeconds;
  // A physical backup's level, the level-0 file of its chain (itself for
  // level 0) and the file of the level below that it builds on (none for
  // level 0); absent in other records.
  std::optional<int> Level;
  std::string Chain;
  std::string Base;
  // An encrypted off-site copy: the id of its key (never the key).
  std::string KeyId;
  // An off-site copy written under Object Lock: until when (ISO 8601) the
  // store refuses to delete it.
  std::string ProtectedUntil;

  bool Succeeded() const { return Outcome == HistorySuccess; }
  // Start and end as seconds since 1970 (UTC); nullopt when unreadable.
  std::optional<std::int64_t> StartSeconds() const;
  std::optional<std::int64_t> EndSeconds() const;
  // Seconds from start to end; nullopt when either is unreadable.
  std::optional<std::int64_t> DurationSeconds() const;
};

// One line of the file (no line feed). A name that is not UTF-8 (a file name
// in another encoding) is written readable with U+FFFD in place of its odd
// bytes, and beside it (field "<name>_hex") as its bytes, from which it reads
// back exactly.
std::string HistoryLine(const THistoryRecord& record);
// The record of one line; nullopt for a line that is no JSON object or lacks
// the start, kind or outcome.
std::optional<THistoryRecord> ParseHistoryLine(std::string_view line);

// Appends the record; false when it could not be written (earlier records
// stay as they were).
bool AppendHistory(const std::string& path, const THistoryRecord& record);
// Every readable record of the file, in file order (oldest first); empty
// when the file is missing.
std::vector<THistoryRecord> ReadHistory(const std::string& path);

// What a job leaves on this computer besides the server's backup file: no
// copy, a copy beside the server's file, or the copy alone.
enum class TCopyShape { None, Beside, Only };
TCopyShape CopyShapeOf(const THistoryRecord& record);

// The latest successful record of `kind` on `database` whose job had the
// same copy shape (the last in file order), if any.
std::optional<THistoryRecord> LastSuccessful(const std::vector<THistoryRecord>& records, std::string_view kind,
                                             std::string_view database, TCopyShape shape = TCopyShape::None);
// Size and checksum of `file` as the latest successful backup that wrote it,
// as its backup file or as its copy, recorded them (paths compared after
// making them absolute and normal); nullopt when no backup wrote it.
std::optional<TFileFacts> RecordedFacts(const std::vector<THistoryRecord>& records, const std::string& file);
