#pragma once
// What a set-up needs before its plan can run, checked without changing
// anything: the program's folders, and for each entry of the plan its
// server and database reached with the entry's login (the database's header
// read through the service manager, as a physical backup reads it first),
// and the folders its jobs write in.

#include <cstddef>
#include <string>
#include <vector>

#include "controller/settings/settings.h"

struct TCheckItem {
  bool Fine = true;
  std::string Text;
};

struct TEntryCheck {
  std::size_t Number = 0;  // in the list, 1 the first
  std::string Database;
  std::vector<TCheckItem> Items;
  bool Fine() const;
};

// A folder the program writes in (`what`: "state folder", …): there and
// open to this user, or one it can make.
TCheckItem CheckOwnFolder(const std::string& what, const std::string& folder);

// One entry of the plan; `options` the options and login its jobs run with.
TEntryCheck CheckPlanEntry(std::size_t number, const TPlanEntry& entry, const TDatabaseOptions& options);

// The off-site place of an entry (none: no items): its keys' file, its
// encryption key and its bucket reached under the prefix.
std::vector<TCheckItem> CheckOffsitePlace(const TOffsiteSettings& place);
