#include "cli/cli_options.h"

#include <functional>

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
    {"status", TCommand::Status, 0, 0}, {"history", TCommand::History, 0, 1},
};

// "TCP" and "Local" as the window names them; the index it stores.
std::int32_t ProtocolNamed(const std::string& name) {
  if (SameTextAscii(name, "TCP")) return 0;
  if (SameTextAscii(name, "Local")) return 3;
  throw EUsage("unknown protocol '" + name + "' (TCP or Local)");
}

std::size_t CountOf(const std::string& text) {
  std::size_t value = 0;
  if (text.empty() || text.size() > 9) throw EUsage("not a count: '" + text + "'");
  for (char c : text) {
    if (c < '0' || c > '9') throw EUsage("not a count: '" + text + "'");
    value = value * 10 + static_cast<std::size_t>(c - '0');
  }
  return value;
}

using TSetter = std::function<void(TCliOptions&, const std::string& value)>;

struct TOption {
  const char* Name;
  bool TakesValue;
  TSetter Set;
};

const std::vector<TOption>& Options() {
  static const std::vector<TOption> options = {
      {"--help", false, [](TCliOptions& o, const std::string&) { o.Help = true; }},
      {"-h", false, [](TCliOptions& o, const std::string&) { o.Help = true; }},
      {"--version", false, [](TCliOptions& o, const std::string&) { o.Version = true; }},
      {"--config", true, [](TCliOptions& o, const std::string& v) { o.Config = v; }},
      {"--state-dir", true, [](TCliOptions& o, const std::string& v) { o.StateDir = v; }},
      {"--log-dir", true, [](TCliOptions& o, const std::string& v) { o.LogDir = v; }},
      {"--protocol", true, [](TCliOptions& o, const std::string& v) { o.Protocol = ProtocolNamed(v); }},
      {"--user", true, [](TCliOptions& o, const std::string& v) { o.User = v; }},
      {"--password-file", true, [](TCliOptions& o, const std::string& v) { o.PasswordFile = v; }},
      {"--copy-dir", true, [](TCliOptions& o, const std::string& v) { o.CopyDir = v; }},
      {"--copy-only", false, [](TCliOptions& o, const std::string&) { o.CopyOnly = true; }},
      {"--no-copy", false, [](TCliOptions& o, const std::string&) { o.CopyDir = std::string(); }},
      {"--verify", false, [](TCliOptions& o, const std::string&) { o.Verify = true; }},
      {"--no-verify", false, [](TCliOptions& o, const std::string&) { o.Verify = false; }},
      {"--replace", false, [](TCliOptions& o, const std::string&) { o.Replace = true; }},
      {"--quiet", false, [](TCliOptions& o, const std::string&) { o.Quiet = true; }},
      {"-q", false, [](TCliOptions& o, const std::string&) { o.Quiet = true; }},
      {"--json", false, [](TCliOptions& o, const std::string&) { o.Json = true; }},
      {"--limit", true, [](TCliOptions& o, const std::string& v) { o.Limit = CountOf(v); }},
  };
  return options;
}

const TOption& OptionNamed(const std::string& name) {
  for (const TOption& option : Options())
    if (name == option.Name) return option;
  if (name == "--password" || name == "--pass")
    throw EUsage("passwords are never taken from the command line: use --password-file, ISC_PASSWORD or the settings");
  throw EUsage("unknown option '" + name + "'");
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

std::string UsageText() {
  return R"(Usage: quorvinctl [OPTION]... COMMAND [ARGUMENT]...
Backups of Firebird databases without a desktop: the plan of the Quorvin
settings file as a service, and single jobs, on the same core as the window.

Commands:
  run                      run the plan in the foreground until SIGTERM, SIGINT
                           or SIGHUP (a running job then ends as a failed one)
  backup DATABASE          back DATABASE up with the settings' options
  restore BACKUP DATABASE  restore BACKUP (a .gbk or a .gbk.zst copy) into
                           DATABASE
  status                   who runs the plan, next and last backup per database
  history [DATABASE]       the job history, newest first

Options:
  --config FILE            the settings file (default: the window program's)
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
  --verify, --no-verify    check each backup by a test restore, or not
  --replace                let restore replace an existing database
  -q, --quiet              no server output, only the outcome
  --json                   status and history as JSON (history: JSON lines)
  --limit N                history: the newest N records
  -h, --help               this text
  --version                the version

Exit status: 0 success, 1 a job failed or could not run, 2 wrong usage.
Messages go to standard error, marked with the journal's priorities.
See quorvinctl(1).
)";
}
