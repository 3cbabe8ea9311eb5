#include "cli/cli_options.h"

#include <functional>

#include "cli/plan_words.h"
#include "platform/text.h"

namespace {

struct TCommandName {
  const char* Name;
  TCommand Command;
  std::size_t Arguments;      // at least
  std::size_t MoreArguments;  // optional beyond them
};

constexpr TCommandName Commands[] = {
    {"run", TCommand::Run, 0, 0},       {"backup", TCommand::Backup, 1, 0},   {"restore", TCommand::Restore, 2, 0},
    {"status", TCommand::Status, 0, 0}, {"history", TCommand::History, 0, 1}, {"plan", TCommand::Plan, 1, 1},
    {"check", TCommand::Check, 0, 0},
};

std::size_t CountOf(const std::string& text) {
  std::size_t value = 0;
  if (text.empty() || text.size() > 9) throw EUsage("not a count: '" + text + "'");
  for (char c : text) {
    if (c < '0' || c > '9') throw EUsage("not a count: '" + text + "'");
    value = value * 10 + static_cast<std::size_t>(c - '0');
  }
  return value;
}

std::int32_t SmallCountOf(const std::string& text) {
  const std::size_t count = CountOf(text);
  if (count > 100000) throw EUsage("too large: '" + text + "'");
  return static_cast<std::int32_t>(count);
}

using TSetter = std::function<void(TCliOptions&, const std::string& value)>;

struct TOption {
  const char* Name;
  bool TakesValue;
  TSetter Set;
  // Only plan add and plan set take it.
  bool PlanOnly = false;
};

// A setter of the rhythm that --level chose.
TSetter Rhythm(const std::function<void(TRhythmChanges&, const std::string&)>& set) {
  return [set](TCliOptions& o, const std::string& v) { set(o.Entry.Rhythms.at(o.PlanLevel), v); };
}

// The options of every command.
std::vector<TOption> CommandOptions() {
  return {
      {"--help", false, [](TCliOptions& o, const std::string&) { o.Help = true; }},
      {"-h", false, [](TCliOptions& o, const std::string&) { o.Help = true; }},
      {"--version", false, [](TCliOptions& o, const std::string&) { o.Version = true; }},
      {"--config", true, [](TCliOptions& o, const std::string& v) { o.Config = v; }},
      {"--state-dir", true, [](TCliOptions& o, const std::string& v) { o.StateDir = v; }},
      {"--log-dir", true, [](TCliOptions& o, const std::string& v) { o.LogDir = v; }},
      {"--protocol", true, [](TCliOptions& o, const std::string& v) { o.Protocol = ParseProtocol(v); }},
      {"--user", true, [](TCliOptions& o, const std::string& v) { o.User = v; }},
      {"--password-file", true, [](TCliOptions& o, const std::string& v) { o.PasswordFile = v; }},
      {"--copy-dir", true, [](TCliOptions& o, const std::string& v) { o.CopyDir = v; }},
      {"--copy-only", false, [](TCliOptions& o, const std::string&) { o.CopyOnly = true; }},
      {"--no-copy", false, [](TCliOptions& o, const std::string&) { o.CopyDir = std::string(); }},
      {"--verify", false, [](TCliOptions& o, const std::string&) { o.Verify = true; }},
      {"--no-verify", false, [](TCliOptions& o, const std::string&) { o.Verify = false; }},
      {"--replace", false, [](TCliOptions& o, const std::string&) { o.Replace = true; }},
      {"--offsite", true, [](TCliOptions& o, const std::string& v) { o.Offsite = v; }},
      {"--s3-endpoint", true, [](TCliOptions& o, const std::string& v) { o.S3Endpoint = v; }},
      {"--s3-region", true, [](TCliOptions& o, const std::string& v) { o.S3Region = v; }},
      {"--s3-path-style", false, [](TCliOptions& o, const std::string&) { o.S3PathStyle = true; }},
      {"--s3-credentials", true, [](TCliOptions& o, const std::string& v) { o.S3CredentialsFile = v; }},
      {"--encrypt-key", true, [](TCliOptions& o, const std::string& v) { o.EncryptKeyFile = v; }},
      {"--quiet", false, [](TCliOptions& o, const std::string&) { o.Quiet = true; }},
      {"-q", false, [](TCliOptions& o, const std::string&) { o.Quiet = true; }},
      {"--verbose", false, [](TCliOptions& o, const std::string&) { o.Verbose = true; }},
      {"-v", false, [](TCliOptions& o, const std::string&) { o.Verbose = true; }},
      {"--json", false, [](TCliOptions& o, const std::string&) { o.Json = true; }},
      {"--limit", true, [](TCliOptions& o, const std::string& v) { o.Limit = CountOf(v); }},
      {"--metrics-dir", true, [](TCliOptions& o, const std::string& v) { o.MetricsDir = v; }},
  };
}

// The options of plan add and plan set.
std::vector<TOption> EntryOptions() {
  return {
      {"--days", true, Rhythm([](TRhythmChanges& r, const std::string& v) { r.Days = ParseDays(v); }), true},
      {"--day", true, Rhythm([](TRhythmChanges& r, const std::string& v) { r.DayStart = ParseClock(v); }), true},
      {"--night", true, Rhythm([](TRhythmChanges& r, const std::string& v) { r.NightStart = ParseClock(v); }), true},
      {"--day-every", true, Rhythm([](TRhythmChanges& r, const std::string& v) { r.DayPeriod = ParseRhythm(v); }),
       true},
      {"--night-every", true, Rhythm([](TRhythmChanges& r, const std::string& v) { r.NightPeriod = ParseRhythm(v); }),
       true},
      {"--day-at", true, Rhythm([](TRhythmChanges& r, const std::string& v) { r.DayClock = ParseClock(v); }), true},
      {"--night-at", true, Rhythm([](TRhythmChanges& r, const std::string& v) { r.NightClock = ParseClock(v); }), true},
      {"--level", true,
       [](TCliOptions& o, const std::string& v) {
         o.PlanLevel = static_cast<int>(CountOf(v));
         if (o.PlanLevel > PlanLevels) throw EUsage("no level " + v + " (0, 1 or 2)");
       },
       true},
      {"--kind", true, [](TCliOptions& o, const std::string& v) { o.Entry.Kind = ParseKind(v); }, true},
      {"--keep-last", true, [](TCliOptions& o, const std::string& v) { o.Entry.KeepLast = SmallCountOf(v); }, true},
      {"--keep-days", true, [](TCliOptions& o, const std::string& v) { o.Entry.KeepDays = SmallCountOf(v); }, true},
      {"--shutdown", false, [](TCliOptions& o, const std::string&) { o.Entry.Shutdown = true; }, true},
      {"--no-shutdown", false, [](TCliOptions& o, const std::string&) { o.Entry.Shutdown = false; }, true},
      {"--date-in-name", false, [](TCliOptions& o, const std::string&) { o.Entry.DatedNames = true; }, true},
      {"--no-date-in-name", false, [](TCliOptions& o, const std::string&) { o.Entry.DatedNames = false; }, true},
      {"--no-offsite", false, [](TCliOptions& o, const std::string&) { o.Entry.Offsite.Url = std::string(); }, true},
      {"--no-s3-path-style", false, [](TCliOptions& o, const std::string&) { o.Entry.Offsite.PathStyle = false; },
       true},
      {"--program-login", false, [](TCliOptions& o, const std::string&) { o.Entry.ProgramLogin = true; }, true},
      {"--on-failure", true, [](TCliOptions& o, const std::string& v) { o.Hooks.OnFailure = v; }, true},
      {"--on-success", true, [](TCliOptions& o, const std::string& v) { o.Hooks.OnSuccess = v; }, true},
      {"--hook-time-limit", true, [](TCliOptions& o, const std::string& v) { o.Hooks.TimeLimit = SmallCountOf(v); },
       true},
  };
}

const std::vector<TOption>& Options() {
  static const std::vector<TOption> options = [] {
    std::vector<TOption> all = CommandOptions();
    for (TOption& option : EntryOptions()) all.push_back(std::move(option));
    return all;
  }();
  return options;
}

const TOption& OptionNamed(const std::string& name) {
  for (const TOption& option : Options())
    if (name == option.Name) return option;
  if (name == "--password" || name == "--pass")
    throw EUsage("passwords are never taken from the command line: use --password-file, ISC_PASSWORD or the settings");
  throw EUsage("unknown option '" + name + "'");
}

void CheckRhythms(const TCliOptions& options) {
  for (const TRhythmChanges& rhythm : options.Entry.Rhythms) {
    if (rhythm.DayPeriod && rhythm.DayClock) throw EUsage("--day-every and --day-at exclude each other");
    if (rhythm.NightPeriod && rhythm.NightClock) throw EUsage("--night-every and --night-at exclude each other");
  }
}

void CheckCommand(TCliOptions& options) {
  for (const TCommandName& command : Commands) {
    if (command.Command != options.Command) continue;
    const std::size_t given = options.Arguments.size();
    if (given < command.Arguments || given > command.Arguments + command.MoreArguments)
      throw EUsage(std::string("wrong number of arguments for '") + command.Name + "'");
  }
  if (options.Command == TCommand::None && !options.Help && !options.Version) throw EUsage("no command given");
  if (options.CopyOnly && options.CopyDir && options.CopyDir->empty())
    throw EUsage("--copy-only and --no-copy exclude each other");
  if (!options.Offsite.empty() && options.Command != TCommand::Backup && options.Command != TCommand::Plan)
    throw EUsage("--offsite is an option of backup, plan add and plan set (restore takes the object's s3:// URL)");
  if (!options.Offsite.empty() && options.Entry.Offsite.Url)
    throw EUsage("--offsite and --no-offsite exclude each other");
  if (options.Quiet && options.Verbose) throw EUsage("--quiet and --verbose exclude each other");
  if (!options.PlanOptions.empty() && options.Command != TCommand::Plan && options.Command != TCommand::None)
    throw EUsage("'" + options.PlanOptions.front() + "' is an option of plan add and plan set");
  CheckRhythms(options);
}

}  // namespace

TCliOptions ParseCliOptions(const std::vector<std::string>& arguments) {
  TCliOptions options;
  bool onlyArguments = false;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& word = arguments[i];
    if (!onlyArguments && word == "--") {
      onlyArguments = true;
    } else if (!onlyArguments && word.size() > 1 && word[0] == '-') {
      const std::size_t equals = word.find('=');
      const TOption& option = OptionNamed(word.substr(0, equals));
      if (!option.TakesValue && equals != std::string::npos)
        throw EUsage(std::string("option '") + option.Name + "' takes no value");
      std::string value;
      if (option.TakesValue) {
        if (equals != std::string::npos) {
          value = word.substr(equals + 1);
        } else if (i + 1 < arguments.size()) {
          value = arguments[++i];
        } else {
          throw EUsage(std::string("option '") + option.Name + "' needs a value");
        }
      }
      option.Set(options, value);
      if (option.PlanOnly) options.PlanOptions.push_back(option.Name);
    } else if (options.Command == TCommand::None) {
      for (const TCommandName& command : Commands)
        if (word == command.Name) options.Command = command.Command;
      if (options.Command == TCommand::None) throw EUsage("unknown command '" + word + "'");
    } else {
      options.Arguments.push_back(word);
    }
  }
  CheckCommand(options);
  return options;
}

namespace {

const char* UsageCommands() {
  return R"(Usage: quorvinctl [OPTION]... COMMAND [ARGUMENT]...
Backups of Firebird databases without a desktop: the plan of the Quorvin
settings file as a service, and single jobs, on the same core as the window.

Commands:
  run                      run the plan in the foreground until SIGTERM, SIGINT
                           or SIGHUP (a running job then ends as a failed one)
  backup DATABASE          back DATABASE up with the settings' options (those
                           of its plan entry when it has one)
  restore BACKUP DATABASE  restore BACKUP (a .gbk or a .gbk.zst copy, or an
                           off-site copy s3://BUCKET/KEY) into DATABASE
  status                   who runs the plan, next and last backup per database;
                           exits as a monitoring plugin does (see below)
  history [DATABASE]       the job history, newest first
  check                    the settings, each entry's server, database, login
                           and folders; exits 0 only when all is fine
  plan list                the plan's entries, as the options that make them
  plan show [ENTRY]        the backups the plan would start in the next 7 days
  plan add DATABASE        add an entry to the plan (options below)
  plan set ENTRY           change only what the options given say
  plan remove ENTRY        remove an entry
ENTRY is an entry's number in the list (1 the first) or its database.

)";
}

const char* UsageOptions() {
  return R"(Options:
  --config FILE            the settings file (default: $QUORVIN_CONFIG, else
                           the window program's)
  --state-dir DIR          history, job record and locks (default: beside the
                           settings file, or $STATE_DIRECTORY)
  --log-dir DIR            operation logs (default: the window program's, or
                           $LOGS_DIRECTORY)
  --protocol TCP|Local     how the server is reached
  --user NAME              the login (default: $ISC_USER, then the settings)
  --password-file FILE     the password in the first line of FILE (default:
                           $ISC_PASSWORD, then the settings); never a password
                           on the command line
  --copy-dir DIR           also keep a compressed copy in DIR on this computer
  --copy-only              only that copy, no backup file on the server
  --no-copy                no copy on this computer
  --offsite s3://BUCKET[/PREFIX]
                           backup: also send a compressed copy to that bucket
  --s3-endpoint URL        the store (default: $AWS_ENDPOINT_URL)
  --s3-region REGION       (default: $AWS_REGION, else us-east-1)
  --s3-path-style          the bucket in the URL's path, not its host name
  --s3-credentials FILE    the store's keys, in a file only its owner reads
                           (default: $AWS_ACCESS_KEY_ID, $AWS_SECRET_ACCESS_KEY)
  --encrypt-key FILE       encrypt the off-site copy with the key in FILE
                           (restore: decrypt with it)
  --verify, --no-verify    check each backup by a test restore, or not
  --replace                let restore replace an existing database
  -v, --verbose            the server's output lines on standard output
  -q, --quiet              the outcome only (no progress line)
  --json                   status, history, backup and restore as JSON
                           (history: JSON lines)
  --limit N                history: the newest N records; plan show: N per entry
  --metrics-dir DIR        run: keep quorvin.prom in DIR for the node exporter
  -h, --help               this text
  --version                the version

)";
}

const char* UsageEntryOptions() {
  return R"(Options of plan add and plan set (the protocol, login, copy and verify
options above too; a login given is stored in the settings file):
  --days LIST              weekdays: mon-fri,sun; mon-sun; none
  --day HH:MM              when the day window starts (and the night ends)
  --night HH:MM            when the night window starts
  --day-every R            the day's rhythm: 20m, 30m, 1h, 2h, 3h, 4h or off
  --night-every R          the night's rhythm
  --day-at HH:MM           once a day at that time, in the day window
  --night-at HH:MM         once a night at that time, in the night window
  --kind logical|incremental  gbak backups, or nbackup levels
  --level 0|1|2            the rhythm options after it set that level's rhythm
                           (level 0: the entry's own; incremental entries)
  --keep-last N            keep the newest N plan backups (0: any number)
  --keep-days D            remove plan backups older than D days (0: never)
  --shutdown, --no-shutdown      shut the database down for its backup, or not
  --date-in-name, --no-date-in-name  date and time in the backup's name
  --offsite s3://BUCKET[/PREFIX]  send each plan backup's compressed copy
                           there too, with --s3-endpoint, --s3-region,
                           --s3-path-style (--no-s3-path-style),
                           --s3-credentials FILE and --encrypt-key FILE (files,
                           never keys, are stored); --no-offsite: none
  --program-login          the entry uses the program's login, not its own
  --on-failure CMD, --on-success CMD  the plan's commands after each plan
                           backup ('' for none); --hook-time-limit SECONDS

)";
}

const char* UsageNotes() {
  return R"(Database and backup file names, as the server sees them, may be at most 80
characters long.

Exit status: 0 success, 1 a job failed or could not run, 2 wrong usage,
4 restore refused: it would replace an existing database (add --replace).
status: 0 OK, 1 WARNING, 2 CRITICAL, 3 UNKNOWN, with one summary line first.
Messages go to standard error, marked with the journal's priorities.
See quorvinctl(1) and quorvin.ini(5).
)";
}

}  // namespace

std::string UsageText() { return std::string(UsageCommands()) + UsageOptions() + UsageEntryOptions() + UsageNotes(); }
