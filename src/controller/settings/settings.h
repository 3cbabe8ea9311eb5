#pragma once
// What the settings file keeps: the program's own settings, and the plan as a
// list of databases. Plain data, filled and stored by TSettingsFile
// (settings_file.h); the window, the dialogs and the jobs read and edit it.
// The fields carry the names of their keys. Fields kept in the settings file
// start out empty: their defaults are the settings table's, set when the file
// is read.

#include <cstdint>
#include <string>
#include <vector>

#include "controller/plan/plan_rules.h"

// Where the plan's backups of a database also go: a bucket of an
// S3-compatible store. Paths of the files that hold the keys, never a key:
// no secret is kept in the settings.
struct TOffsiteSettings {
  // "s3://bucket/prefix"; empty: no off-site copy.
  std::string Url;
  // The store's address and region; empty: the environment's (AWS_ENDPOINT_URL,
  // AWS_REGION), else the defaults.
  std::string Endpoint;
  std::string Region;
  // The bucket in the URL's path rather than in the host name.
  bool PathStyle = false;
  // The store's keys (a file only its owner reads); empty: the environment's.
  std::string Credentials;
  // The key the copies are encrypted with; empty: not encrypted.
  std::string EncryptKey;

  bool Active() const { return !Url.empty(); }
  bool operator==(const TOffsiteSettings&) const = default;
};

// One database and the options its jobs run with.
struct TDatabaseOptions {
  // As typed: the job works out the server and its path from it.
  std::string DataBase;
  // −1 none chosen, 0 TCP, 1 SPX, 2 Named Pipes, 3 Local.
  std::int32_t Protocol = 0;
  static constexpr std::int32_t ProtocolTCP = 0;
  std::string User;
  std::string Pass;
  bool BackShutDown = false;
  bool BackParam1 = false;
  bool BackParam2 = false;
  bool BackParam3 = false;
  bool BackParam4 = false;
  bool BackParam5 = false;
  bool BackParam6 = false;
  bool BackParam7 = false;
  bool RestParam1 = false;
  bool RestParam2 = false;
  bool RestParam3 = false;
  bool RestParam4 = false;
  bool RestParam5 = false;
  bool RestParam6 = false;
  bool RestParam7 = false;
  // Backup files get a date-and-time suffix.
  bool AutoBackName = false;
  // Every backup is checked by restoring it into a temporary database.
  bool VerifyBackup = false;
  // A compressed copy of every backup on this computer, in this folder
  // (empty: none), and whether it replaces the backup file on the server.
  std::string LocalCopyDir;
  bool LocalCopyOnly = false;
  // Retention of the plan's backups: keep the newest N, remove those older
  // than D days; 0 turns a rule off.
  std::int32_t KeepLastBackups = 0;
  std::int32_t KeepBackupDays = 0;
  // What the plan makes of this database: logical backups (gbak, as always)
  // or physical incremental ones (nbackup) in levels.
  std::int32_t BackupKind = BackupKindLogical;
  static constexpr std::int32_t BackupKindLogical = 0;
  static constexpr std::int32_t BackupKindIncremental = 1;
  bool Incremental() const { return BackupKind == BackupKindIncremental; }
  // The off-site copy of the plan's backups.
  TOffsiteSettings Offsite;
};

// The rhythms of an incremental plan's levels above 0 (level 0 keeps the
// entry's own weekly plan); a level whose plan is on no day is not made.
inline constexpr int PlanLevels = 2;
struct TLevelPlans {
  TPlanRecord Level[PlanLevels];
  bool operator==(const TLevelPlans&) const = default;
};

// One database of the plan: its weekly plan and the options of its backups.
struct TPlanEntry : TDatabaseOptions {
  // Not stored: names the entry for this program run (the plan keeps what it
  // remembers between ticks under it). Entry 1 is always 1.
  std::uint64_t Id = 0;
  // User and Pass are the entry's own; otherwise the program's login.
  bool OwnLogin = false;
  // The weekly plan; of an incremental entry, level 0's.
  TPlanRecord PlanRecord;
  // Levels 1 and 2 of an incremental entry.
  TLevelPlans LevelPlans;
};

// The protocol of a first start, when there is no settings file yet: TCP.
inline constexpr std::int32_t FirstStartProtocol = TDatabaseOptions::ProtocolTCP;

struct TSettings : TDatabaseOptions {
  // DataBase (inherited) is the database last named for a backup; entry 1 of
  // the plan backs it up unless PlanDataBase names another.
  std::string LastBack;
  std::int32_t PageSize = 0;
  bool RememberPass = false;
  std::vector<std::string> BDNames;
  // The plan of entry 1, and its retention in KeepLastBackups/KeepBackupDays.
  TPlanRecord PlanRecord;
  TLevelPlans LevelPlans;
  bool StartWithSession = false;
  bool ResumePlan = false;
  bool PlanRunning = false;
  // Entry 1's own database once the plan has more than one entry ([Plan]
  // DataBase); empty: entry 1 backs up DataBase, as a one-database plan
  // always has.
  std::string PlanDataBase;
  // Entries 2, 3, … of the plan, in sections [Plan2], [Plan3], …
  std::vector<TPlanEntry> MorePlanEntries;
  // The last Id given to an entry in this run.
  std::uint64_t LastPlanEntryId = 1;
  // Commands run after each plan backup that failed, and after each one that
  // succeeded ([Hooks]; empty: none), and how long one may run, in seconds.
  std::string OnFailure;
  std::string OnSuccess;
  std::int32_t TimeLimit = 0;
  // The end (ISO 8601) of the newest history record the user has looked at
  // in the window: failed backups that ended then or before are seen
  // ([History] SeenUntil, written only when it moves).
  std::string HistorySeenUntil;
};

// The plan's entries: entry 1 (Id 1) is the program's plan ([Plan]) of
// PlanDataBase, or of DataBase while that is empty, with the program's
// parameters and login; the others follow as they are.
std::vector<TPlanEntry> PlanEntriesOf(const TSettings& settings);
// Puts an edited list back. Entry 1 (the first of the list) gives the
// program's plan its database, weekly plan and retention (its parameters and
// login are the program's, edited in the parameters dialog); from the moment
// the plan has more entries, entry 1's database is its own (PlanDataBase).
void SetPlanEntries(TSettings& settings, const std::vector<TPlanEntry>& entries);
// A new entry for `database` with the program's parameters and login, a
// weekly plan on no day, and a fresh Id.
TPlanEntry NewPlanEntry(TSettings& settings, const std::string& database);
// The options a job of `entry` runs with: its own login, or the program's.
TDatabaseOptions JobOptionsOf(const TPlanEntry& entry, const TSettings& settings);

// A level's plan in one settings value: "days=1111100;day=08:00:00;
// night=20:00:00;dayperiod=3;nightperiod=0;dayclock=00:00:00;
// nightclock=00:00:00" (weekdays Monday first, the windows' starts, their
// rhythms and clock times as in the weekly plan). Empty for a plan on no
// day; a text that does not read gives a plan on no day.
std::string LevelPlanText(const TPlanRecord& plan);
TPlanRecord ParseLevelPlan(const std::string& text);
// True when the plan is on at least one weekday.
bool PlanOnAnyDay(const TPlanRecord& plan);
