#pragma once
// The command line of quorvinctl: a subcommand with its arguments, and
// options that may stand before or after it ("--name value" or
// "--name=value"). Anything that does not fit raises EUsage.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "controller/plan_editor/plan_changes.h"
#include "platform/exception.h"

// Wrong usage: the message says what, the program exits with status 2.
class EUsage : public Exception {
 public:
  using Exception::Exception;
};

enum class TCommand { None, Run, Backup, Restore, Status, History, Plan, Check };

struct TCliOptions {
  TCommand Command = TCommand::None;
  // The command's own arguments (the database; the backup and the database;
  // plan's own command and its entry or database).
  std::vector<std::string> Arguments;
  bool Help = false;
  bool Version = false;

  // Where the files are; empty: the window program's own.
  std::string Config;
  std::string StateDir;
  std::string LogDir;

  // Overrides of the settings file for this run's jobs.
  std::optional<std::int32_t> Protocol;
  std::optional<std::string> User;
  std::string PasswordFile;
  std::optional<std::string> CopyDir;  // "" with --no-copy
  bool CopyOnly = false;
  std::optional<bool> Verify;
  bool Replace = false;

  // backup: an off-site copy to object storage ("s3://bucket/prefix"), and
  // how the store is reached; the keys only from a file or the environment.
  std::string Offsite;
  std::string S3Endpoint;
  std::string S3Region;
  bool S3PathStyle = false;
  std::string S3CredentialsFile;
  std::string EncryptKeyFile;  // backup: encrypt with it; restore: decrypt

  bool Quiet = false;
  bool Verbose = false;
  bool Json = false;
  std::optional<std::size_t> Limit;

  // run: the folder of the metrics file; empty: none.
  std::string MetricsDir;

  // plan add and plan set: the entry's changes, the rhythm options going to
  // the rhythm of PlanLevel (--level), and the plan's hooks. PlanOptions
  // names the options given that only plan takes.
  TEntryChanges Entry;
  THookChanges Hooks;
  int PlanLevel = 0;
  std::vector<std::string> PlanOptions;
};

// The options of `arguments` (without the program's name).
TCliOptions ParseCliOptions(const std::vector<std::string>& arguments);

// The text of --help.
std::string UsageText();
