#pragma once
// The plan's entries edited outside the window: added, changed and removed
// in the settings the program read, and written back key by key, so every
// key nobody changed keeps its bytes in the file (TSettingsFile::SaveChanges).
//
// Entry 1 is the plan as it always was: its options are the program's own
// ([Parameters], the login of [Main]), which hand jobs use as well, so
// changing them changes those. Removing entry 1 makes entry 2 the first,
// whose options then become the program's; removing the last entry leaves
// the plan empty (no database, no weekday).

#include <cstddef>
#include <string>
#include <vector>

#include "controller/plan_editor/plan_changes.h"
#include "controller/settings/settings.h"
#include "controller/settings/settings_file.h"
#include "platform/exception.h"

// An entry that is not there, or a change that cannot be made: the message
// says which and why.
class EPlanEdit : public Exception {
 public:
  using Exception::Exception;
};

class TPlanEditor {
 public:
  // Edits `settings`, which must stay alive; remembers them as read.
  explicit TPlanEditor(TSettings& settings);

  const std::vector<TPlanEntry>& Entries() const { return FEntries; }
  // The index of ENTRY: its number in the list (1 the first), or its
  // database as the settings name it (a local path also as its absolute
  // form). Raises EPlanEdit when none or several match.
  std::size_t IndexOf(const std::string& entry) const;
  // Adds an entry of `database` at the end, or into entry 1 while that has
  // no database; returns its index.
  std::size_t Add(const std::string& database, const TEntryChanges& changes);
  void Change(std::size_t index, const TEntryChanges& changes);
  void Remove(std::size_t index);
  void ChangeHooks(const THookChanges& changes) { changes.ApplyTo(FSettings); }

  // Writes what changed into `file`, the file the settings were read from.
  void Save(TSettingsFile& file) const { file.SaveChanges(FBefore, FSettings); }

 private:
  // The entries back into the settings.
  void Apply();

  TSettings& FSettings;
  TSettings FBefore;
  std::vector<TPlanEntry> FEntries;
};

// The options a backup runs with (protocol, switches, the date in the name,
// verification, the copy on this computer) from `from` into `to`; the
// database, the login and the plan stay.
void CopyJobOptions(TDatabaseOptions& to, const TDatabaseOptions& from);

// Whether two names of databases name the same one: equal, or equal as
// absolute, normal local paths.
bool SameDatabase(const std::string& a, const std::string& b);

// What makes an entry back up nothing, or fail: "no weekday", "the day
// rhythm can never run: …" and the like; empty for a sound entry.
std::vector<std::string> EntryWarnings(const TPlanEntry& entry);

// The rhythms of an entry (its own, its levels') that can never start a
// backup, as the window refuses to save them; empty when every one can.
std::vector<std::string> RhythmRefusals(const TPlanEntry& entry);
