#pragma once
// Changes of the plan as a command line gives them: every field that is set
// changes, everything else stays as it is.

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "controller/settings/settings.h"

// One rhythm: an entry's own weekly plan, or one of its levels'.
struct TRhythmChanges {
  // Monday first.
  std::optional<std::array<bool, 7>> Days;
  // The windows' starts.
  std::optional<TDateTime> DayStart;
  std::optional<TDateTime> NightStart;
  // A window's rhythm: 0 none, 1 every 20 minutes, 2 every 30, 3 … 6 every 1
  // to 4 hours; once a day at a clock time (7) is given by the clock time.
  std::optional<std::uint8_t> DayPeriod;
  std::optional<std::uint8_t> NightPeriod;
  std::optional<TDateTime> DayClock;
  std::optional<TDateTime> NightClock;

  bool Any() const;
  void ApplyTo(TPlanRecord& plan) const;
};

// The off-site place of an entry: every field given changes; an empty URL
// turns the off-site copy off and forgets the place.
struct TOffsiteChanges {
  std::optional<std::string> Url;
  std::optional<std::string> Endpoint;
  std::optional<std::string> Region;
  std::optional<bool> PathStyle;
  std::optional<std::string> Credentials;
  std::optional<std::string> EncryptKey;

  bool Any() const { return Url || Endpoint || Region || PathStyle || Credentials || EncryptKey; }
  void ApplyTo(TOffsiteSettings& place) const;
};

// What may change of one entry.
struct TEntryChanges {
  std::optional<std::int32_t> Protocol;  // as TDatabaseOptions keeps it
  std::optional<bool> Shutdown;
  std::optional<bool> DatedNames;
  std::optional<bool> Verify;
  std::optional<std::string> CopyDir;  // "": no copy on this computer
  std::optional<bool> CopyOnly;
  std::optional<std::int32_t> KeepLast;
  std::optional<std::int32_t> KeepDays;
  std::optional<std::int32_t> Kind;  // TDatabaseOptions::BackupKind…
  // A login of the entry's own (entry 1: the program's, remembered).
  std::optional<std::string> User;
  std::optional<std::string> Pass;
  // The entry gives up its own login for the program's.
  bool ProgramLogin = false;
  TOffsiteChanges Offsite;
  // Level 0 (the entry's own plan), then the levels of an incremental entry.
  std::array<TRhythmChanges, 1 + PlanLevels> Rhythms;

  bool Login() const { return User.has_value() || Pass.has_value(); }
};

// The commands after plan backups, the plan's for all its entries.
struct THookChanges {
  std::optional<std::string> OnFailure;
  std::optional<std::string> OnSuccess;
  std::optional<std::int32_t> TimeLimit;

  bool Any() const { return OnFailure || OnSuccess || TimeLimit; }
  void ApplyTo(TSettings& settings) const;
};
