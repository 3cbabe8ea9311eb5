// plan list|show|add|set|remove: the plan of the settings file without the
// window. Edits take the settings file's jobs lock while they write (a job
// of the window or the service holding it refuses them), and write only the
// keys they change.

#include <cstdio>
#include <filesystem>

#include "cli/cli_core.h"
#include "cli/commands.h"
#include "cli/plan_words.h"
#include "controller/messages/messages.h"
#include "controller/plan/plan_dry_run.h"
#include "controller/plan_editor/plan_editor.h"
#include "platform/file_locations.h"
#include "platform/file_lock.h"
#include "platform/files.h"
#include "platform/folder_rights.h"
#include "storage/crypt/crypt_key.h"
#include "storage/s3/s3_credentials.h"
#include "storage/s3/s3_place.h"

namespace {

// How far `plan show` looks ahead, and how many backups it shows per entry.
constexpr int ShowDays = 7;
constexpr std::size_t ShowPerEntry = 10;

void Print(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fputc('\n', stdout);
}

// A word as a shell reads it back.
std::string ShellWord(const std::string& text) {
  if (!text.empty() && text.find_first_of(" \t\n'\"\\$`|&;<>(){}*?#~") == std::string::npos) return text;
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

std::string OptionsLine(const TPlanEntry& entry) {
  std::string text = std::string("--protocol ") + ProtocolWord(entry.Protocol);
  text += entry.BackShutDown ? " --shutdown" : " --no-shutdown";
  text += entry.AutoBackName ? " --date-in-name" : " --no-date-in-name";
  text += entry.VerifyBackup ? " --verify" : " --no-verify";
  text += entry.LocalCopyDir.empty() ? " --no-copy" : " --copy-dir " + ShellWord(entry.LocalCopyDir);
  if (entry.LocalCopyOnly) text += " --copy-only";
  text +=
      " --keep-last " + std::to_string(entry.KeepLastBackups) + " --keep-days " + std::to_string(entry.KeepBackupDays);
  return text;
}

// The entry's off-site place as the options that set it.
std::string OffsiteLine(const TOffsiteSettings& place) {
  if (!place.Active()) return "--no-offsite";
  std::string text = "--offsite " + ShellWord(place.Url);
  if (!place.Endpoint.empty()) text += " --s3-endpoint " + ShellWord(place.Endpoint);
  if (!place.Region.empty()) text += " --s3-region " + ShellWord(place.Region);
  if (place.PathStyle) text += " --s3-path-style";
  if (!place.Credentials.empty()) text += " --s3-credentials " + ShellWord(place.Credentials);
  if (!place.EncryptKey.empty()) text += " --encrypt-key " + ShellWord(place.EncryptKey);
  return text;
}

void PrintEntry(std::size_t index, const TPlanEntry& entry) {
  Print(std::to_string(index + 1) + "  " + (entry.DataBase.empty() ? std::string("(no database)") : entry.DataBase));
  Print("   " + OptionsLine(entry));
  Print("   login: " + entry.User +
        (index == 0       ? " (the program's)"
         : entry.OwnLogin ? " (its own)"
                          : " (the program's)") +
        (entry.Pass.empty() ? ", no password stored" : ", password stored"));
  Print(std::string("   --kind ") + KindWord(entry.BackupKind) + " " + RhythmOptions(entry.PlanRecord));
  for (int level = 1; entry.Incremental() && level <= PlanLevels; ++level)
    Print("   --level " + std::to_string(level) + " " + RhythmOptions(entry.LevelPlans.Level[level - 1]));
  Print("   " + OffsiteLine(entry.Offsite));
}

void PrintHooks(const TSettings& settings) {
  if (settings.OnFailure.empty() && settings.OnSuccess.empty()) return;
  Print("hooks: --on-failure " + ShellWord(settings.OnFailure) + " --on-success " + ShellWord(settings.OnSuccess) +
        " --hook-time-limit " + std::to_string(settings.TimeLimit));
}

int ListPlan(TCliCore& cli) {
  const std::vector<TPlanEntry> entries = cli.Core().PlanEntries();
  if (entries.size() == 1 && entries.front().DataBase.empty()) {
    cli.Console().Info("the plan of " + cli.SettingsFile() + " has no entries");
    return 0;
  }
  for (std::size_t i = 0; i < entries.size(); ++i) PrintEntry(i, entries[i]);
  PrintHooks(cli.Core().Settings());
  return 0;
}

// "Mon 2026-12-07 14:00".
std::string WhenText(TDateTime when) {
  static constexpr const char* Days[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
  return std::string(Days[DayOfTheWeek(when) - 1]) + " " + FormatDateTime("yyyy-mm-dd hh:nn", when);
}

int ShowPlan(TCliCore& cli, const TCliOptions& options) {
  const std::vector<TPlanEntry> entries = cli.Core().PlanEntries();
  TPlanEditor lookup(cli.Core().Settings());
  // Every entry, or the one named.
  const bool one = options.Arguments.size() > 1;
  const std::size_t only = one ? lookup.IndexOf(options.Arguments[1]) : 0;
  const std::vector<TPlannedBackup> planned = PlanDryRun(entries, ReadClock(), ShowDays);
  for (std::size_t i = 0; i < entries.size(); ++i) {
    if ((one && i != only) || entries[i].DataBase.empty()) continue;
    std::vector<std::string> lines;
    for (const TPlannedBackup& backup : planned)
      if (backup.Entry == i && lines.size() < options.Limit.value_or(ShowPerEntry))
        lines.push_back("  " + WhenText(backup.When) +
                        (entries[i].Incremental() ? " level " + std::to_string(backup.Level) : std::string()));
    Print(std::to_string(i + 1) + "  " + entries[i].DataBase +
          (lines.empty() ? ": no backup in the next " + std::to_string(ShowDays) + " days" : std::string()));
    for (const std::string& line : lines) Print(line);
    if (entries[i].Offsite.Active()) Print("  each copied off-site: " + OffsiteLine(entries[i].Offsite));
  }
  return 0;
}

// The off-site place the options give. Its files are named absolutely (the
// plan may run elsewhere) and only warned about when unreadable here: the
// service's user may read what this one cannot; check tells for sure.
void OffsiteChangesOf(const TCliOptions& options, TOffsiteChanges& changes, const TConsole& console) {
  if (!options.Offsite.empty()) {
    try {
      PlaceOfUrl(options.Offsite);
    } catch (const std::exception& error) {
      throw EUsage(std::string("--offsite: ") + error.what());
    }
    changes.Url = options.Offsite;
  }
  if (!options.S3Endpoint.empty()) changes.Endpoint = options.S3Endpoint;
  if (!options.S3Region.empty()) changes.Region = options.S3Region;
  if (options.S3PathStyle) changes.PathStyle = true;
  if (!options.S3CredentialsFile.empty()) changes.Credentials = PathArgument(options.S3CredentialsFile);
  if (!options.EncryptKeyFile.empty()) changes.EncryptKey = PathArgument(options.EncryptKeyFile);
  const auto warnIf = [&](const std::optional<std::string>& file, const auto& read) {
    if (!file) return;
    try {
      read(*file);
    } catch (const std::exception& error) {
      console.Warning(error.what());
    }
  };
  warnIf(changes.Credentials, [](const std::string& file) { ReadCredentialsFile(file); });
  warnIf(changes.EncryptKey, [](const std::string& file) { ReadKeyFile(file); });
}

// The changes the options give, the login's password read from its file.
TEntryChanges ChangesOf(const TCliOptions& options, const TConsole& console) {
  TEntryChanges changes = options.Entry;
  if (options.Protocol) changes.Protocol = *options.Protocol;
  if (options.Verify) changes.Verify = *options.Verify;
  if (options.CopyDir) changes.CopyDir = *options.CopyDir;
  if (options.CopyOnly) changes.CopyOnly = true;
  if (options.User) changes.User = *options.User;
  if (!options.PasswordFile.empty())
    changes.Pass = ReadPasswordFile(options.PasswordFile, [&](const std::string& text) { console.Warning(text); });
  OffsiteChangesOf(options, changes.Offsite, console);
  if (changes.ProgramLogin && changes.Login())
    throw EUsage("--program-login and a login of the entry's own (--user, --password-file) exclude each other");
  return changes;
}

// One edit of the plan under the jobs lock; `edit` returns the index of the
// entry it changed (nullopt: none is left to show).
int EditPlan(TCliCore& cli, const std::function<std::optional<std::size_t>(TPlanEditor&)>& edit) {
  TQuorvin& q = cli.Core();
  MakeFolders(FolderOf(cli.SettingsFile()));
  cli.RequireStateFolder();
  TFileLock jobs(q.JobsLockPath());
  if (!jobs.Acquire()) {
    const std::string holder = TFileLock::Holder(q.JobsLockPath());
    cli.Console().Error("the plan of " + cli.SettingsFile() + " was not changed: a job on these settings runs (" +
                        (holder.empty() ? q.JobsLockPath() : ShownHolder(holder, TLanguage::English)) +
                        "); try again when it has ended");
    return 1;
  }
  TPlanEditor editor(q.Settings());
  const std::optional<std::size_t> changed = edit(editor);
  // As the window, no rhythm that can never run is saved.
  const std::vector<std::string> refusals =
      changed ? RhythmRefusals(editor.Entries()[*changed]) : std::vector<std::string>();
  for (const std::string& refusal : refusals)
    cli.Console().Error("entry " + std::to_string(*changed + 1) + ": " + refusal);
  if (!refusals.empty()) {
    cli.Console().Error("the plan of " + cli.SettingsFile() +
                        " was not changed: choose another rhythm or move the starts of the day and the night");
    return 1;
  }
  TSettingsFile file(cli.SettingsFile());
  editor.Save(file);
  jobs.Release();
  if (changed) {
    PrintEntry(*changed, editor.Entries()[*changed]);
    for (const std::string& warning : EntryWarnings(editor.Entries()[*changed]))
      cli.Console().Warning("entry " + std::to_string(*changed + 1) + ": " + warning);
  }
  const std::string runner = q.PlanRunElsewhere();
  if (!runner.empty())
    cli.Console().Warning("the plan is run by " + runner +
                          ": it reads the settings when it starts; restart it to take the change "
                          "(systemctl restart quorvinctl)");
  return 0;
}

void WarnAboutLevels(const TPlanEntry& entry, const TEntryChanges& changes, const TConsole& console) {
  for (int level = 1; level <= PlanLevels; ++level)
    if (changes.Rhythms[level].Any() && !entry.Incremental())
      console.Warning("the rhythms of levels 1 and 2 apply to incremental entries only (--kind incremental)");
}

std::optional<std::size_t> AddEntry(TPlanEditor& editor, const TCliOptions& options, const TEntryChanges& changes,
                                    const TConsole& console) {
  const std::string database = PathArgument(options.Arguments[1]);
  for (std::size_t i = 0; i < editor.Entries().size(); ++i)
    if (SameDatabase(editor.Entries()[i].DataBase, database))
      console.Warning("entry " + std::to_string(i + 1) + " backs up " + database + " as well");
  const std::size_t index = editor.Add(database, changes);
  const std::int32_t protocol = editor.Entries()[index].Protocol;
  if (protocol != 0 && protocol != 3) throw EUsage("give --protocol TCP or --protocol Local: the settings choose none");
  editor.ChangeHooks(options.Hooks);
  WarnAboutLevels(editor.Entries()[index], changes, console);
  return index;
}

}  // namespace

int PlanCommand(const TCliOptions& options, const TConsole& console) {
  const std::string& what = options.Arguments[0];
  const bool edits = what == "add" || what == "set";
  if (!edits && !options.PlanOptions.empty())
    throw EUsage("'" + options.PlanOptions.front() + "' is an option of plan add and plan set");
  const std::size_t needed = what == "list" ? 1 : what == "show" ? options.Arguments.size() : 2;
  if (what != "list" && what != "show" && what != "add" && what != "set" && what != "remove")
    throw EUsage("unknown plan command '" + what + "' (list, show, add, set, remove)");
  if (options.Arguments.size() != needed) throw EUsage("wrong number of arguments for 'plan " + what + "'");

  TCliCore cli(options, console, false);
  cli.RequireReadSettings();
  if (what == "list") return ListPlan(cli);
  if (what == "show") return ShowPlan(cli, options);
  if (what == "remove")
    return EditPlan(cli, [&](TPlanEditor& editor) -> std::optional<std::size_t> {
      const std::size_t index = editor.IndexOf(options.Arguments[1]);
      const std::string database = editor.Entries()[index].DataBase;
      editor.Remove(index);
      console.Info("entry " + std::to_string(index + 1) + " (" + database + ") removed from the plan");
      if (index == 0 && !editor.Entries().front().DataBase.empty())
        console.Warning("entry 1 is now " + editor.Entries().front().DataBase +
                        ": its options became the program's, which backups by hand use too");
      return std::nullopt;
    });
  const TEntryChanges changes = ChangesOf(options, console);
  if (what == "add")
    return EditPlan(cli, [&](TPlanEditor& editor) { return AddEntry(editor, options, changes, console); });
  return EditPlan(cli, [&](TPlanEditor& editor) -> std::optional<std::size_t> {
    const std::size_t index = editor.IndexOf(options.Arguments[1]);
    editor.Change(index, changes);
    editor.ChangeHooks(options.Hooks);
    WarnAboutLevels(editor.Entries()[index], changes, console);
    if (index == 0 && (changes.Protocol || changes.Verify || changes.CopyDir || changes.Shutdown || changes.Login()))
      console.Info("entry 1's options are the program's: backups by hand use them too");
    return index;
  });
}
