#include "cli/offsite_job.h"

#include "cli/cli_core.h"
#include "controller/history/job_history.h"
#include "controller/quorvin.h"
#include "jobs/offsite/offsite_copy.h"
#include "jobs/offsite/offsite_restore.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/iso_time.h"
#include "runner/job_output.h"
#include "runner/local_copy_reader.h"
#include "runner/log_pane.h"

namespace {

TS3Target* MakeTarget(const TCliOptions& options, TS3Place place, const TConsole& console) {
  place.Endpoint = options.S3Endpoint;
  place.Region = options.S3Region;
  if (options.S3PathStyle) place.Addressing = TS3Addressing::Path;
  TS3Options s3;
  s3.OnRetry = [&console](const std::string& line) { console.Warning(line); };
  return new TS3Target(ResolvePlace(std::move(place)), ResolveCredentials(options.S3CredentialsFile), s3);
}

// The job's login and options, as the backup or the restore took them.
TLocalCopySource JobOf(TCliCore& cli, const std::string& source, const std::string& target, bool restore) {
  const TSettings& settings = cli.Core().Settings();
  const std::string computer = LocalComputerName();
  const std::vector<TMountEntry> mounts = ReadMountTable();
  TLocalCopySource job{{ServerPathOf(source, computer, mounts), ServerPathOf(target, computer, mounts)},
                       static_cast<std::uint8_t>(settings.Protocol & 0xFF),
                       settings.User,
                       settings.Pass,
                       {}};
  const bool backupSwitches[] = {settings.BackParam1, settings.BackParam2, settings.BackParam3, settings.BackParam4,
                                 settings.BackParam5, settings.BackParam6, settings.BackParam7};
  const bool restoreSwitches[] = {settings.RestParam1, settings.RestParam2, settings.RestParam3, settings.RestParam4,
                                  settings.RestParam5, settings.RestParam6, settings.RestParam7};
  for (int i = 0; i < 7; ++i) job.Switches[i] = restore ? restoreSwitches[i] : backupSwitches[i];
  return job;
}

THistoryRecord OffsiteRecord(const std::string& database, const std::string& location, TDateTime started) {
  THistoryRecord record;
  record.Start = FormatIso8601(started);
  record.Kind = HistoryKindOffsite;
  record.By = HistoryByUser;
  record.Database = database;
  record.File = location;
  return record;
}

}  // namespace

bool IsObjectUrl(const std::string& text) { return text.rfind("s3://", 0) == 0; }

std::unique_ptr<TS3Target> OffsiteTargetOf(const TCliOptions& options, const std::string& prefixUrl,
                                           const TConsole& console) {
  return std::unique_ptr<TS3Target>(MakeTarget(options, PlaceOfUrl(prefixUrl), console));
}

std::optional<TCryptKey> EncryptionKeyOf(const TCliOptions& options) {
  if (options.EncryptKeyFile.empty()) return std::nullopt;
  return ReadKeyFile(options.EncryptKeyFile);
}

std::optional<std::string> SendOffsiteCopy(TCliCore& cli, TS3Target& target, const TCryptKey* key,
                                           const std::string& database, const TBackupOutcome& outcome,
                                           std::string& reason) {
  // The copy is named after the backup file on the server (a copy-only
  // backup's file here already has ".zst").
  std::string backupFile = outcome.BackFile;
  if (IsCompressedCopy(backupFile)) backupFile.resize(backupFile.size() - 4);
  TLocalCopySource job = JobOf(cli, database, backupFile, false);
  const std::string location = target.Describe(OffsiteCopyName(job.Slot[1].FileName));
  THistoryRecord record = OffsiteRecord(database, location, Now());
  TJobOutput output(&cli.Pane(), &cli.Prompts());
  output.SetStop(&cli.Stop());
  std::optional<std::string> made;
  try {
    const TOffsiteCopyInfo info = MakeOffsiteCopy(job, target, key, FileSize(outcome.BackFile).value_or(0), output);
    record.Size = info.Copy.Size;
    record.Sha256 = info.Copy.Sha256;
    record.KeyId = info.KeyId;
    made = location;
  } catch (const std::exception& error) {
    reason = error.what();
    output.AddPaneLine("ERROR: " + reason);
  }
  record.End = FormatIso8601(Now());
  record.Outcome = made ? HistorySuccess : HistoryFailure;
  record.Reason = reason;
  AppendHistory(cli.Core().HistoryPath(), record);
  cli.Core().Log().Stamped(made ? " Копия в хранилище объектов создана. " + location
                                : " Копия в хранилище объектов НЕ создана. " + location + ": " + reason);
  return made;
}

bool RestoreFromObject(TCliCore& cli, const TCliOptions& options, const std::string& objectUrl,
                       const std::string& target, std::string& reason) {
  const TS3ObjectUrl object = ObjectOfUrl(objectUrl);
  TS3Place place;
  place.Bucket = object.Bucket;
  std::unique_ptr<TS3Target> store(MakeTarget(options, place, cli.Console()));
  const std::optional<TCryptKey> key = EncryptionKeyOf(options);
  TLocalCopySource job = JobOf(cli, LastPathComponent(object.Key), target, true);
  TJobOutput output(&cli.Pane(), &cli.Prompts());
  output.SetStop(&cli.Stop());
  THistoryRecord record = OffsiteRecord(target, objectUrl, Now());
  record.Kind = HistoryKindRestore;
  try {
    const std::optional<TStoredCopy> copy = store->Stat(object.Key);
    if (!copy) throw Exception("There is no object " + objectUrl);
    const std::string problem = OffsiteKeyProblem(*copy, key ? &*key : nullptr);
    if (!problem.empty()) throw Exception(problem + "; nothing was restored");
    RestoreOffsiteCopy(*store, object.Key, key ? &*key : nullptr, job, output);
  } catch (const std::exception& error) {
    reason = error.what();
    output.AddPaneLine("ERROR: " + reason);
    // What the failed restore created is no database: it goes.
    if (FileExists(target) && DeleteFile(target)) output.AddPaneLine("Removed the unfinished database " + target);
  }
  record.End = FormatIso8601(Now());
  record.Outcome = reason.empty() ? HistorySuccess : HistoryFailure;
  record.Reason = reason;
  AppendHistory(cli.Core().HistoryPath(), record);
  return reason.empty();
}
