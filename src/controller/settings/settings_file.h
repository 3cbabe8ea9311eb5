#pragma once
// The settings file ("Quorvin.INI"): one table of every key with its field
// and default, which reading and writing walk in its order. The plan's
// entries beyond the first are kept in sections [Plan2], [Plan3], … of the
// same file, each with the keys of one entry; a file without them reads and
// writes exactly as a one-database plan always has.

#include <string>

#include "controller/settings/settings.h"

class TSettingsFile {
 public:
  explicit TSettingsFile(std::string path) : FPath(std::move(path)) {}
  const std::string& Path() const { return FPath; }

  // Every key into `settings`, each missing key giving its default; the page
  // size corrected to one of the four sizes. Without a settings file (a
  // first start) the protocol is FirstStartProtocol rather than the key's
  // default, "none chosen".
  void ReadIni(TSettings& settings);
  // True once the file was read in full: settings read only in part (a file
  // that is there but cannot be read) are never written back over it.
  bool WasRead() const { return FRead; }
  // What is wrong with the file, naming it: "cannot read the settings file
  // …: Permission denied" (the defaults hold), "… is not a settings file: it
  // has no [section] line" (read leniently all the same); empty when it was
  // read or is missing (a fresh start).
  const std::string& Fault() const { return FFault; }
  // [Main], [Parameters] and [BDNames].
  void WriteIni(const TSettings& settings);
  // [Plan] and the sections of the further entries (those no longer in the
  // plan removed).
  void SavePlan(const TSettings& settings);
  // Only the keys whose values differ between `before` (the settings as read
  // from this file) and `after`: every other line keeps its bytes. A further
  // entry keeps its section, renamed when entries before it were removed;
  // sections of removed entries go, new entries get sections of their own.
  // Entries may be removed and added at the end, never reordered. A new
  // file gets the protocol too, which a first start chose.
  void SaveChanges(const TSettings& before, const TSettings& after);
  // Whether the plan runs, and DataBase: written when the plan starts or
  // stops, so a plan still running when the program ends resumes at the
  // next start when ResumePlan is on.
  void SavePlanRunning(const TSettings& settings);
  // How far the user has looked at the history (HistorySeenUntil): written
  // when it moves, so a restart keeps seen failures seen.
  void SaveHistorySeen(const TSettings& settings);

 private:
  std::string FPath;
  bool FRead = false;
  std::string FFault;
};
