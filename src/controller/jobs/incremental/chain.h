#pragma once
// The chain of a physical backup file: the file, the file of the level below
// that it builds on, and so on down to level 0. Found from the history (each
// backup's record names the file it builds on) and, for a file the history
// does not know, from the folder (each file of level 1 or more names the GUID
// of its base, which the base's own header carries). Before a restore every
// link must be there and unchanged: a link whose size or SHA-256 differs
// from its history record, a link missing, or a file that is not the base
// its successor names stops the restore before anything is touched.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "controller/history/job_history.h"
#include "service/nbackup_file.h"

struct TChainLink {
  std::string File;
  int Level = 0;
  // The history's record of the file, when it has one.
  std::optional<THistoryRecord> Record;
};

struct TChain {
  // Level 0 first.
  std::vector<TChainLink> Links;
  // Why the chain cannot be restored (the user's text, naming the link);
  // empty when it can.
  std::string Refusal;
};

// True when `file` (of `level`) is the backup whose GUID is `guid`.
bool BackupHoldsGuid(const std::string& file, int level, const TBackupGuid& guid);
// The file in `folder` (other than `except`) that is the backup of `level`
// whose GUID is `guid`: under its own name, else under a name the program
// set it apart with (incremental_names.h); empty when none is there.
std::string BackupByGuid(const std::string& folder, int level, const TBackupGuid& guid, const std::string& except = {});

// The latest successful physical backup record of `file` (paths compared
// after making them absolute and normal).
std::optional<THistoryRecord> PhysicalBackupRecord(const std::vector<THistoryRecord>& history, const std::string& file);

// The chain ending in `file`, the links found and their headers checked;
// no file's content hashed yet.
TChain FindChain(const std::string& file, const std::vector<THistoryRecord>& history);

// The first link whose size or SHA-256 differs from its history record, as
// the refusal's text; empty when none does. Reads every link in full.
std::string ChangedLinkRefusal(const std::vector<TChainLink>& links);

// The texts of the refusals (%s: the link).
inline constexpr const char* MissingLinkText = "Звено цепочки резервных копий отсутствует: %s";
inline constexpr const char* ChangedLinkText = "Звено цепочки резервных копий изменено или обрезано после создания: %s";
inline constexpr const char* UnknownLinkText =
    "Не найден файл уровня ниже, на котором построен файл цепочки резервных копий: %s";
inline constexpr const char* ForeignLinkText = "Файл не является основой следующего звена цепочки резервных копий: %s";
inline constexpr const char* NotPhysicalText = "Файл не является инкрементной резервной копией: %s";

// `text` with its %s replaced by `file`.
std::string LinkText(const char* text, const std::string& file);
