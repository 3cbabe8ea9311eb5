#include "cli/offsite_job.h"

#include "cli/cli_core.h"
#include "controller/history/job_history.h"
#include "controller/jobs/offsite/offsite_place.h"
#include "controller/jobs/offsite/offsite_restore_job.h"
#include "controller/jobs/offsite/offsite_send.h"
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

// The place the options name; the bucket and prefix of `prefixUrl`.
TOffsiteSettings PlaceOf(const TCliOptions& options, const std::string& prefixUrl) {
  TOffsiteSettings place;
  place.Url = prefixUrl;
  place.Endpoint = options.S3Endpoint;
  place.Region = options.S3Region;
  place.PathStyle = options.S3PathStyle;
  place.Credentials = options.S3CredentialsFile;
  return place;
}

TS3Options RetriesTold(const TConsole& console) {
  TS3Options s3;
  s3.OnRetry = [&console](const std::string& line) { console.Warning(line); };
  return s3;
}

}  // namespace

std::unique_ptr<TS3Target> OffsiteTargetOf(const TCliOptions& options, const std::string& prefixUrl,
                                           const TConsole& console) {
  return ::OffsiteTargetOf(PlaceOf(options, prefixUrl), RetriesTold(console));
}

std::optional<TCryptKey> EncryptionKeyOf(const TCliOptions& options) {
  if (options.EncryptKeyFile.empty()) return std::nullopt;
  return ReadKeyFile(options.EncryptKeyFile);
}

std::optional<std::string> SendOffsiteCopy(TCliCore& cli, TS3Target& target, const TCryptKey* key,
                                           const std::string& database, const TBackupOutcome& outcome,
                                           std::string& reason) {
  TDatabaseOptions db = cli.Core().Settings();
  db.DataBase = database;
  TJobOutput output(&cli.Pane(), &cli.Prompts());
  output.SetStop(&cli.Stop());
  const TOffsiteSent sent =
      ::SendOffsiteCopy(target, key, {HistoryByUser, cli.Core().HistoryPath(), cli.Core().Log()}, db, outcome, output);
  reason = sent.Reason;
  if (!sent.Made) return std::nullopt;
  return sent.Location;
}

bool RestoreFromObject(TCliCore& cli, const TCliOptions& options, const std::string& objectUrl,
                       const std::string& target, std::string& reason) {
  const TS3ObjectUrl object = ObjectOfUrl(objectUrl);
  std::unique_ptr<TS3Target> store = OffsiteTargetOf(options, "s3://" + object.Bucket, cli.Console());
  const std::optional<TCryptKey> key = EncryptionKeyOf(options);
  TJobOutput output(&cli.Pane(), &cli.Prompts());
  output.SetStop(&cli.Stop());
  reason = RestoreObject(*store, key ? &*key : nullptr, cli.Core().Settings(),
                         {object.Key, target, cli.Core().HistoryPath()}, output);
  return reason.empty();
}
