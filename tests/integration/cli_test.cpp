// quorvinctl as administrators use it, a program of its own against the real
// engine (Local) and the shared server (TCP): its subcommands and exit codes,
// a plan of two set up, checked, run and watched with it alone,
// a stop by SIGTERM in the middle of a backup and of a restore, and `run`
// making its plan backups at the next whole minute beside a window's core on
// the same settings, with the hooks after them.

#include <arpa/inet.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "controller/quorvin.h"
#include "controller/status_texts.h"
#include "integration/fb_fixture.h"
#include "integration/quorvinctl_process.h"
#include "platform/date_time.h"
#include "platform/file_lock.h"
#include "platform/files.h"
#include "platform/has_cyrillic.h"
#include "platform/iso_time.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

std::string Bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);)
    if (!line.empty()) lines.push_back(line);
  return lines;
}

std::vector<std::string> With(std::vector<std::string> words, const std::vector<std::string>& more) {
  words.insert(words.end(), more.begin(), more.end());
  return words;
}

using fbtest::TCtl;
using fbtest::TUser;

class CliTest : public ::testing::Test {
 protected:
  // Settings of a Local backup with "Shutdown DB", no date in the name, and
  // `more` after them.
  void WriteSettings(const std::string& database, const std::string& more = {}) {
    std::ofstream(ini) << "[Main]\nDataBase=" << database << "\nUser=SYSDBA\n[Parameters]\nProtocol=3\n"
                       << "BackShutDown=1\nAutoBackName=0\n"
                       << more;
  }
  std::vector<std::string> Environment() const {
    return {"ISC_PASSWORD=" + fbtest::SysdbaPassword(), "LC_ALL=C.UTF-8"};
  }
  std::vector<std::string> Arguments(const std::vector<std::string>& more) const {
    std::vector<std::string> arguments{"--config", ini, "--log-dir", dir.File("logs")};
    arguments.insert(arguments.end(), more.begin(), more.end());
    return arguments;
  }
  int Ctl(const std::vector<std::string>& more, std::string* output = nullptr,
          std::vector<std::string> environment = {}, const TUser& user = {}) {
    if (environment.empty()) environment = Environment();
    TCtl ctl(Arguments(more), environment, user);
    const int status = ctl.Finish();
    if (output) *output = ctl.Output();
    return status;
  }
  std::string NewDatabase(const std::string& name, int scale = 1) {
    const std::string path = dir.File(name);
    fbtest::CreateDatabase(path, scale);
    return path;
  }
  std::string OperationLogs() {
    std::string all;
    for (const auto& entry : fs::recursive_directory_iterator(dir.File("logs")))
      if (entry.path().extension() == ".log") all += Bytes(entry.path());
    return all;
  }
  std::vector<std::string> FilesWith(const std::string& part) const {
    std::vector<std::string> found;
    for (const auto& entry : fs::directory_iterator(dir.Path()))
      if (Has(entry.path().filename().string(), part)) found.push_back(entry.path().filename().string());
    return found;
  }

  fbtest::TempFolder dir{"quorvin-cli"};
  std::string ini = dir.File("Quorvin.INI");
};

TEST_F(CliTest, SubcommandsWithTheirExitCodesThroughTheEngineAndTheServer) {
  std::string first;
  for (const char* protocol : {"Local", "TCP"}) {
    SCOPED_TRACE(protocol);
    const std::string db = NewDatabase(std::string("sub-") + protocol + ".fdb");
    if (first.empty()) WriteSettings(first = db);
    std::string out;
    ASSERT_EQ(Ctl({"--protocol", protocol, "--verbose", "backup", db}, &out), 0) << out;
    const std::string gbk = db + ".gbk";
    EXPECT_TRUE(Has(out, "gbak:") && Has(out, "backup made: " + gbk)) << out;
    EXPECT_FALSE(fbtest::IsShutdown(db));

    const std::string target = dir.File(std::string("restored-") + protocol + ".fdb");
    ASSERT_EQ(Ctl({"--protocol", protocol, "--quiet", "restore", gbk, target}, &out), 0) << out;
    EXPECT_FALSE(Has(out, "gbak:")) << "quiet: the outcome only\n" << out;
    EXPECT_EQ(fbtest::RowCount(target, "T_ORDERS"), fbtest::kOrders);
    EXPECT_EQ(Ctl({"--protocol", protocol, "restore", gbk, target}, &out), 4) << out;
    EXPECT_TRUE(Has(out, "--replace")) << out;
    EXPECT_EQ(Ctl({"--protocol", protocol, "--replace", "-q", "restore", gbk, target}, &out), 0) << out;
  }

  std::string out;
  ASSERT_EQ(Ctl({"history", "--json"}, &out), 0) << out;
  const std::vector<std::string> records = Lines(out);
  ASSERT_EQ(records.size(), 6u) << out;
  const auto start = [&](std::size_t i) { return nlohmann::json::parse(records[i]).at("start").get<std::string>(); };
  EXPECT_GE(start(0), start(5)) << "newest first";
  EXPECT_EQ(nlohmann::json::parse(records[5]).at("kind"), "backup");
  ASSERT_EQ(Ctl({"history", "--limit", "2", first}, &out), 0);
  EXPECT_EQ(Lines(out).size(), 1u) << "the one record of the first database:\n" << out;

  // Nothing runs the plan (on no weekday): critical all the same.
  ASSERT_EQ(Ctl({"status"}, &out), 2) << out;
  EXPECT_TRUE(Has(out, "QUORVIN CRITICAL - nothing runs the plan\n") && Has(out, "Plan: not running") &&
              Has(out, "1  " + first + ": OK, makes no plan backups"))
      << out;
  ASSERT_EQ(Ctl({"status", "--json"}, &out), 2) << out;
  EXPECT_EQ(nlohmann::json::parse(out).at("databases").at(0).at("state"), "OK") << out;

  // Wrong usage, a missing backup, a server that does not answer.
  EXPECT_EQ(Ctl({"backup"}, &out), 2) << out;
  EXPECT_EQ(Ctl({"--protocol", "SPX", "backup", first}, &out), 2) << out;
  EXPECT_EQ(Ctl({"restore", dir.File("none.gbk"), dir.File("x.fdb")}, &out), 1) << out;
  EXPECT_TRUE(Has(out, "no backup file")) << out;
  fs::create_directory(dir.File("nowhere"));
  std::ofstream(dir.File("nowhere/firebird.conf")) << "RemoteServicePort = 1\n";
  std::vector<std::string> nowhere = Environment();
  nowhere.push_back("FIREBIRD=" + dir.File("nowhere"));
  EXPECT_EQ(Ctl({"--protocol", "TCP", "backup", first}, &out, nowhere), 1) << out;
  EXPECT_TRUE(Has(out, "backup of " + first + " failed: ") && Has(out, "Unable to complete network request")) << out;
  EXPECT_FALSE(fbtest::IsShutdown(first));
}

// A settings file that cannot be read (a mode that refuses its user) or is
// no settings file stops the service and its status with the file and the
// reason; a plan without a database is a warning.
TEST_F(CliTest, ASettingsFileThatCannotBeReadOrIsNoneIsAnErrorAndAPlanWithoutDatabasesAWarning) {
  const TUser user{geteuid() == 0, ""};
  struct Row {
    const char* name;
    std::string bytes;
    fs::perms mode;
    std::string says;
  } const rows[] = {
      {"unreadable.ini", "[Main]\nDataBase=/srv/db/shop.fdb\n", fs::perms::owner_write, ": Permission denied"},
      {"program.ini",
       std::string("\x7f"
                   "ELF\x02\x01\x01\0\0\0\n[Main]\n",
                   14),
       fs::perms::all, " is not a settings file: it holds binary bytes before its first [section] line"},
      {"words.ini", "DataBase=/srv/db/shop.fdb\n", fs::perms::all, " is not a settings file: it has no [section] line"},
  };
  for (const Row& row : rows) {
    const std::string file = dir.File(row.name);
    std::ofstream(file, std::ios::binary) << row.bytes;
    fs::permissions(file, row.mode);
    for (const char* command : {"status", "run", "check"}) {
      SCOPED_TRACE(std::string(row.name) + " " + command);
      TCtl ctl({"--config", file, "--log-dir", dir.File("logs-" + std::string(command)), command}, Environment(), user);
      const bool status = std::string(command) == "status";
      EXPECT_EQ(ctl.Finish(), status ? 3 : 1) << ctl.Output();
      EXPECT_TRUE(Has(ctl.Output(), status ? "QUORVIN UNKNOWN - " : "<3>quorvinctl: ") &&
                  Has(ctl.Output(), file + row.says))
          << ctl.Output();
    }
  }

  WriteSettings("");
  std::string out;
  EXPECT_EQ(Ctl({"status"}, &out), 2) << out;
  EXPECT_TRUE(Has(out, "QUORVIN CRITICAL - nothing runs the plan; the plan has no databases")) << out;
  TCtl run(Arguments({"run"}), Environment());
  EXPECT_TRUE(run.WaitFor("<4>quorvinctl: the plan has no databases", 30s)) << run.Output();
  run.Terminate();
  EXPECT_EQ(run.Finish(), 0) << run.Output();
}

// A service's user among folders like those of Debian's Firebird server
// (group firebird, mode 0770: the database folder and the engine's lock
// folder): with the group a Local backup replaces the earlier one there;
// without it, and in a folder only its owner may write in, the job names the
// folder, its rights and who has them, and nothing is lost.
TEST_F(CliTest, TheServiceUserReachesTheServerFoldersThroughGroupFirebirdAndARefusedFolderIsNamed) {
  if (geteuid() != 0 || getgrnam("firebird") == nullptr) GTEST_SKIP() << "needs root and group firebird";
  const auto folder = [&](const std::string& name, const char* owner, fs::perms mode) {
    fs::create_directory(dir.File(name));
    fbtest::RunCommand(std::string("chown ") + owner + " " + fbtest::ShellQuote(dir.File(name)));
    fs::permissions(dir.File(name), mode);
    return dir.File(name);
  };
  using P = fs::perms;
  const std::string lock = folder("lock", "firebird:firebird", P::owner_all | P::group_all);
  const std::string data = folder("data", "firebird:firebird", P::owner_all | P::group_all);
  const std::string open = folder("open", "root:root", P::all);
  const std::string owners =
      folder("owners", "root:root", P::owner_all | P::group_read | P::group_exec | P::others_read | P::others_exec);
  const std::string service = folder("service", "root:root", P::all);
  std::ofstream(service + "/Quorvin.INI") << "[Main]\nUser=SYSDBA\n[Parameters]\nProtocol=3\nAutoBackName=0\n";
  std::vector<std::string> environment = Environment();
  environment.push_back("FIREBIRD_LOCK=" + lock);
  const auto backup = [&](const std::string& db, const TUser& user) {
    const std::string state = user.Nobody ? service : dir.File("root-state");
    TCtl ctl(
        {"--config", service + "/Quorvin.INI", "--state-dir", state, "--log-dir", state + "/logs", "-q", "backup", db},
        environment, user);
    const int status = ctl.Finish();
    return std::make_pair(status, ctl.Output());
  };
  std::map<std::string, std::string> earlier;
  for (const std::string& place : {data, open, owners}) {
    const std::string db = place + "/shop.fdb";
    fbtest::CreateDatabase(db);
    if (place == data) fs::permissions(db, P::owner_read | P::owner_write | P::group_read | P::group_write);
    ASSERT_EQ(backup(db, {}).first, 0);
    earlier[db] = Bytes(db + ".gbk");
  }

  struct Row {
    std::string database;
    std::string groups;
    std::string says;
  } const rows[] = {
      {data + "/shop.fdb", "",
       "The folder " + data +
           " (owner firebird, group firebird, mode 0770) does not let user nobody (groups nogroup) "
           "enter it; members of group firebird may."},
      {open + "/shop.fdb", "",
       "The folder " + lock +
           " (owner firebird, group firebird, mode 0770) does not let user nobody (groups nogroup) "
           "read, write and enter it; members of group firebird may. The embedded engine (protocol Local) keeps its "
           "lock "
           "files there."},
      {owners + "/shop.fdb", "firebird",
       "The folder " + owners +
           " (owner root, group root, mode 0755) does not let user nobody (groups nogroup, "
           "firebird) write in it; only its owner root may."},
      {data + "/shop.fdb", "firebird", "backup made: " + data + "/shop.fdb.gbk"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.database + " by nobody in groups: " + row.groups);
    const auto [status, out] = backup(row.database, {true, row.groups});
    EXPECT_EQ(status, row.groups == "firebird" && row.database.starts_with(data) ? 0 : 1) << out;
    EXPECT_TRUE(Has(out, row.says)) << out;
    if (status != 0) {
      EXPECT_EQ(Bytes(row.database + ".gbk"), earlier[row.database]) << "the earlier backup is kept";
    }
    for (const auto& entry : fs::recursive_directory_iterator(dir.Path()))
      EXPECT_FALSE(Has(entry.path().string(), ".aside-")) << entry.path();
  }
  // Nor can status tell whether the plan runs through a state folder closed
  // to its user.
  fs::permissions(dir.File("root-state"), P::owner_all);
  TCtl status({"--config", service + "/Quorvin.INI", "--state-dir", dir.File("root-state"), "status"}, environment,
              {true, ""});
  EXPECT_EQ(status.Finish(), 3) << status.Output();
  EXPECT_TRUE(Has(status.Output(), "QUORVIN UNKNOWN - cannot open the plan's lock " + dir.File("root-state")))
      << status.Output();
}

class CliStop : public CliTest, public ::testing::WithParamInterface<const char*> {
 protected:
  // The job of `arguments` stopped by SIGTERM once its output says `at`; its
  // exit status.
  int StoppedAt(const std::vector<std::string>& arguments, const std::string& at, int signals = 1) {
    TCtl job(Arguments(With(arguments, {"--verbose"})), Environment());
    EXPECT_TRUE(job.WaitFor(at)) << job.Output();
    for (int i = 0; i < signals; ++i) job.Terminate();
    const int status = job.Finish();
    EXPECT_TRUE(Has(job.Output(), "The job was stopped")) << job.Output();
    return status;
  }
  // What a failed job leaves: the database on line, no file aside, no record.
  void ExpectCleanedUp(const std::string& db) {
    EXPECT_FALSE(fbtest::IsShutdown(db)) << fbtest::HeaderAttributes(db);
    EXPECT_TRUE(FilesWith(".aside-").empty());
    EXPECT_FALSE(fs::exists(dir.File("Quorvin.job")));
  }
};

TEST_P(CliStop, SigtermInTheMiddleOfABackup) {
  const std::string db = NewDatabase("stop-backup.fdb", 20);
  WriteSettings(db);
  ASSERT_EQ(Ctl({"--protocol", GetParam(), "-q", "backup", db}), 0);
  const std::string gbk = db + ".gbk";
  const std::string older = Bytes(gbk);

  EXPECT_EQ(StoppedAt({"--protocol", GetParam(), "backup", db}, "writing data for table"), 1);
  ExpectCleanedUp(db);
  EXPECT_TRUE(Bytes(gbk) == older) << "the older backup is back under its name: " << Bytes(gbk).size() << " bytes, "
                                   << older.size() << " before";
  // (The server's gbak may still read the database: it carries on after the
  // request was given up, into the file now named .failed.)
  EXPECT_TRUE(fs::exists(gbk + ".failed"));
}

TEST_P(CliStop, SigtermTwiceInTheMiddleOfARestore) {
  const std::string db = NewDatabase("stop-restore.fdb", 20);
  WriteSettings(db);
  ASSERT_EQ(Ctl({"--protocol", GetParam(), "-q", "backup", db}), 0);
  fbtest::ShareWithServer(db + ".gbk");
  fbtest::RunIsqlScript("DELETE FROM T_NOTES WHERE ID >= 10;\nCOMMIT;\n", db);

  // The second signal comes during the clean-up, which runs to its end.
  EXPECT_EQ(
      StoppedAt({"--protocol", GetParam(), "--replace", "restore", db + ".gbk", db}, "restoring data for table", 2), 1);
  ExpectCleanedUp(db);
  EXPECT_TRUE(fs::exists(db + ".failed"));
  EXPECT_EQ(fbtest::RowCount(db, "T_NOTES"), 10) << "the database as it was before the restore";
}

INSTANTIATE_TEST_SUITE_P(Protocols, CliStop, ::testing::Values("Local", "TCP"),
                         [](const auto& info) { return std::string(info.param); });

// The next whole minute ("HH:MM"), or the one after when this one is nearly
// over.
std::string NextWholeMinute() {
  const std::time_t now = std::time(nullptr);
  const std::time_t due = (now / 60 + (now % 60 > 50 ? 2 : 1)) * 60;
  char at[16];
  std::strftime(at, sizeof at, "%H:%M", std::localtime(&due));
  return at;
}

// The plan of two databases (one of them missing) due at the next whole
// minute, with a failing command after a backup that succeeded and a
// recording command that hangs after one that failed.
std::string PlanOfTwo(const std::string& missing, const std::string& folder) {
  const std::string at = NextWholeMinute() + ":00";
  std::string plan =
      "DayPeriodBack=7\nNightPeriodBack=7\nDayClockBack=" + std::string(at) + "\nNightClockBack=" + at + "\n";
  for (int day = 1; day <= 7; ++day) plan += "Day" + std::to_string(day) + "Back=1\n";
  return "[Plan]\n" + plan + "[Plan2]\nDataBase=" + missing + "\nProtocol=3\n" + plan + "[Hooks]\nOnSuccess=exit 3\n" +
         "OnFailure=env | grep ^QUORVIN_ >" + folder + "/failure.env; sleep 60\nTimeLimit=2\n";
}

TEST_F(CliTest, RunMakesThePlanBackupsAtTheNextMinuteBesideTheWindowAndStopsCleanly) {
  const std::string db = NewDatabase("plan.fdb");
  const std::string missing = dir.File("missing.fdb");
  WriteSettings(db, PlanOfTwo(missing, dir.Path()));
  TCtl run(Arguments({"run"}), Environment());
  ASSERT_TRUE(run.WaitFor("running the plan of " + ini, 30s)) << run.Output();

  // The window's core on the same settings: the plan is the service's.
  TFileLocations places;
  places.SettingsDir = dir.Path() + "/";
  places.DataDir = dir.File("window") + "/";
  fs::create_directory(places.DataDir);
  TFrontEnd window;
  window.WritesSettings = false;
  auto q = std::make_unique<TQuorvin>(window, ini, places);
  EXPECT_FALSE(q->Execute());
  EXPECT_TRUE(Has(q->PlanRunElsewhere(), "quorvinctl, процесс ")) << q->PlanRunElsewhere();
  std::string state;
  for (int i = 0; i < 100 && !Has(state, "Следующая копия по расписанию"); ++i, std::this_thread::sleep_for(100ms))
    state = StatusLinesOf(*q, false).NextPlanBackup;
  EXPECT_TRUE(Has(state, "Расписание выполняет: quorvinctl") && Has(state, db)) << state;
  std::string out;
  EXPECT_EQ(Ctl({"run"}, &out), 1) << out;
  EXPECT_TRUE(Has(out, "is run by quorvinctl")) << out;
  // Run, but no plan backup yet.
  EXPECT_EQ(Ctl({"status"}, &out), 1);
  EXPECT_TRUE(Has(out, "QUORVIN WARNING - ") && Has(out, "Plan: run by quorvinctl (pid ")) << out;
  EXPECT_FALSE(HasCyrillic(out)) << out;

  ASSERT_TRUE(run.WaitFor("plan backup of " + missing + " failed", 150s)) << run.Output();
  const std::string killed = " Команда после копии прервана: не завершилась за 2 с.";
  for (int i = 0; i < 100 && !Has(OperationLogs(), killed); ++i) std::this_thread::sleep_for(100ms);
  run.Terminate();
  EXPECT_EQ(run.Finish(), 0) << run.Output();
  EXPECT_TRUE(Has(run.Output(), "plan backup of " + db + " made") && Has(run.Output(), "stopped")) << run.Output();
  EXPECT_TRUE(Has(run.Output(), "Next plan backup: ")) << run.Output();
  EXPECT_FALSE(HasCyrillic(run.Output())) << run.Output();

  const std::string logs = OperationLogs();
  EXPECT_TRUE(Has(logs, " Команда после копии завершилась с ошибкой, код 3.")) << logs;
  EXPECT_TRUE(Has(logs, killed)) << logs;
  EXPECT_TRUE(Has(logs, " Сервис остановлен.")) << logs;
  const std::string recorded = Bytes(dir.File("failure.env"));
  EXPECT_TRUE(Has(recorded, "QUORVIN_DATABASE=" + missing) && Has(recorded, "QUORVIN_OUTCOME=failure") &&
              Has(recorded, "QUORVIN_EVENT=backup-failed"))
      << recorded;
  EXPECT_TRUE(fs::exists(db + ".gbk"));
  EXPECT_FALSE(fs::exists(dir.File("Quorvin.plan-status.json")));
  // The lock went with the service.
  EXPECT_TRUE(q->Execute());
  q->Stop();
}

// Prometheus' node exporter with its text-file collector on `folder` alone,
// on 127.0.0.1 and a port of its own.
class TNodeExporter {
 public:
  explicit TNodeExporter(const std::string& folder) {
    for (int attempt = 0; attempt < 5 && !FChild; ++attempt) {
      FPort = FreePort();
      auto child = std::make_unique<TChildProcess>(
          "/usr/bin/prometheus-node-exporter",
          std::vector<std::string>{"--web.listen-address=127.0.0.1:" + std::to_string(FPort),
                                   "--collector.disable-defaults", "--collector.textfile",
                                   "--collector.textfile.directory=" + folder},
          "");
      std::string said;
      const auto until = std::chrono::steady_clock::now() + 20s;
      while (!Has(said, "Listening on") && std::chrono::steady_clock::now() < until && child->ReadOutput(said, 100ms)) {
      }
      if (Has(said, "Listening on")) FChild = std::move(child);
    }
  }
  bool Running() const { return FChild != nullptr; }
  std::string Metrics() const {
    return fbtest::RunCommand("curl -fsS http://127.0.0.1:" + std::to_string(FPort) + "/metrics");
  }

 private:
  static int FreePort() {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    bind(fd, reinterpret_cast<sockaddr*>(&address), size);
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
    close(fd);
    return ntohs(address.sin_port);
  }
  int FPort = 0;
  std::unique_ptr<TChildProcess> FChild;
};

// The value of a sample of `metrics` whose line starts with `head`.
std::optional<double> Sample(const std::string& metrics, const std::string& head) {
  for (const std::string& line : Lines(metrics))
    if (line.rfind(head + " ", 0) == 0) return std::stod(line.substr(head.size() + 1));
  return std::nullopt;
}

// A plan of two databases set up from an empty folder with quorvinctl alone
// (one through the embedded engine, one through the server with a login of
// its own, both due at the next whole minute), checked, run with its
// metrics read back through the node exporter, and watched by status.
TEST_F(CliTest, APlanOfTwoSetUpCheckedRunAndWatchedFromTheShellAlone) {
  if (!FileExists("/usr/bin/prometheus-node-exporter")) GTEST_SKIP() << "needs prometheus-node-exporter";
  const std::string local = NewDatabase("local.fdb");
  const std::string tcp = NewDatabase("tcp.fdb");
  std::ofstream(dir.File("sysdba.pw")) << fbtest::SysdbaPassword() << "\n";
  fs::permissions(dir.File("sysdba.pw"), fs::perms::owner_read | fs::perms::owner_write);
  const std::string at = NextWholeMinute();
  const std::vector<std::string> none = {"LC_ALL=C.UTF-8"};  // no password from the environment
  std::string out;
  ASSERT_EQ(Ctl({"plan", "add", local, "--protocol", "Local", "--password-file", dir.File("sysdba.pw"), "--days",
                 "mon-sun", "--night-at", at, "--keep-last", "3"},
                &out, none),
            0)
      << out;
  ASSERT_EQ(Ctl({"plan", "add", tcp, "--protocol", "TCP", "--user", "SYSDBA", "--password-file", dir.File("sysdba.pw"),
                 "--days", "mon-sun", "--night-at", at, "--verify", "--no-shutdown"},
                &out, none),
            0)
      << out;
  ASSERT_EQ(Ctl({"plan", "list"}, &out, none), 0) << out;
  EXPECT_TRUE(Has(out, "1  " + local +
                           "\n   --protocol Local --shutdown --date-in-name --no-verify --no-copy "
                           "--keep-last 3 --keep-days 0\n   login: SYSDBA (the program's), password stored"))
      << out;
  EXPECT_TRUE(Has(out, "2  " + tcp + "\n   --protocol TCP --no-shutdown") && Has(out, "SYSDBA (its own)") &&
              Has(out, "--days mon-sun --day 00:00 --day-every off --night 00:00 --night-at " + at))
      << out;
  ASSERT_EQ(Ctl({"plan", "show", "--limit", "1"}, &out, none), 0) << out;
  EXPECT_EQ(Lines(out).size(), 4u) << out;
  EXPECT_TRUE(Has(out, at + "\n2  " + tcp)) << out;
  const std::string settings = Bytes(ini);
  EXPECT_TRUE(Has(settings, "[Plan2]") && Has(settings, "RememberPass=1")) << settings;

  // Checked: fine; broken in a copy of the settings (a wrong password, a copy
  // folder that is not there), refused for a file that is no settings file.
  ASSERT_EQ(Ctl({"check"}, &out, none), 0) << out;
  EXPECT_TRUE(Has(out, "entry 2 " + tcp + ": ok: server ") && Has(out, "the set-up is fine")) << out;
  fs::copy_file(ini, dir.File("broken.ini"));
  std::ofstream(dir.File("wrong.pw")) << "wrong\n";
  fs::permissions(dir.File("wrong.pw"), fs::perms::owner_read | fs::perms::owner_write);
  const std::vector<std::string> broken = {"--config", dir.File("broken.ini")};
  ASSERT_EQ(Ctl(With(broken, {"plan", "set", "2", "--password-file", dir.File("wrong.pw")}), &out, none), 0) << out;
  ASSERT_EQ(Ctl(With(broken, {"plan", "set", "1", "--copy-dir", dir.File("nowhere")}), &out, none), 0) << out;
  EXPECT_EQ(Ctl(With(broken, {"check"}), &out, none), 1) << out;
  EXPECT_TRUE(Has(out, "<3>quorvinctl: entry 1 " + local + ": FAILED: copy folder " + dir.File("nowhere")) &&
              Has(out, "<3>quorvinctl: entry 2 " + tcp + ": FAILED: server ") &&
              Has(out, "<3>quorvinctl: 2 problems in the set-up of " + dir.File("broken.ini")))
      << out;
  EXPECT_EQ(Ctl({"--config", dir.File("none.ini"), "check"}, &out, none), 1) << out;
  EXPECT_TRUE(Has(out, "FAILED: no settings file " + dir.File("none.ini"))) << out;

  // While a job holds the jobs lock the plan is not changed.
  {
    TFileLock job(dir.File("Quorvin.job.lock"));
    ASSERT_TRUE(job.Acquire());
    job.Describe("a test's job");
    EXPECT_EQ(Ctl({"plan", "set", "1", "--keep-last", "9"}, &out, none), 1) << out;
    EXPECT_TRUE(Has(out, "the plan of " + ini + " was not changed: a job on these settings runs (a test's job)"))
        << out;
    EXPECT_EQ(Bytes(ini), settings);
  }
  // Nor for a rhythm that can never run.
  EXPECT_EQ(Ctl({"plan", "set", "1", "--day", "08:00", "--night", "20:00", "--day-at", "21:30"}, &out, none), 1) << out;
  EXPECT_TRUE(Has(out, "entry 1: its plan's day rhythm can never run: 21:30 is outside the day window (08:00-20:00)"))
      << out;
  EXPECT_EQ(Bytes(ini), settings);
  EXPECT_EQ(Ctl({"status"}, &out, none), 2) << out;
  EXPECT_TRUE(Has(out, "QUORVIN CRITICAL - nothing runs the plan;")) << out;

  // Run with its metrics for the node exporter, without a password from the
  // environment: the settings have both logins.
  fs::create_directory(dir.File("metrics"));
  TNodeExporter exporter(dir.File("metrics"));
  ASSERT_TRUE(exporter.Running());
  TCtl run(Arguments({"--metrics-dir", dir.File("metrics"), "run"}), none);
  ASSERT_TRUE(run.WaitFor("plan backup of " + tcp + " made", 150s)) << run.Output();
  EXPECT_TRUE(Has(run.Output(), "plan backup of " + local + " made")) << run.Output();
  std::string metrics;
  for (int i = 0;
       i < 100 &&
       Sample(metrics, "quorvin_last_success_timestamp_seconds{database=\"" + tcp + "\",entry=\"2\"}").value_or(0) == 0;
       ++i, std::this_thread::sleep_for(100ms))
    metrics = exporter.Metrics();
  EXPECT_EQ(Sample(metrics, "quorvin_plan_running"), 1.0) << metrics;
  const std::time_t now = std::time(nullptr);
  for (const auto& [database, entry] : {std::pair(local, "1"), std::pair(tcp, "2")}) {
    const std::string labels = "{database=\"" + database + "\",entry=\"" + entry + "\"}";
    EXPECT_NEAR(Sample(metrics, "quorvin_last_success_timestamp_seconds" + labels).value_or(0), now, 180) << metrics;
    EXPECT_GT(Sample(metrics, "quorvin_last_size_bytes" + labels).value_or(0), 0) << metrics;
    EXPECT_EQ(Sample(metrics, "quorvin_last_backup_success" + labels), 1.0) << metrics;
    EXPECT_EQ(Sample(metrics, "quorvin_backup_failures_total" + labels), 0.0) << metrics;
  }
  EXPECT_EQ(fs::status(dir.File("metrics/quorvin.prom")).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read | fs::perms::others_read);

  // Watched: fine, as text and as JSON.
  EXPECT_EQ(Ctl({"status"}, &out, none), 0) << out;
  EXPECT_TRUE(Has(out, "QUORVIN OK - plan run by quorvinctl (pid ") && Has(out, "; 2 databases backed up on time\n"))
      << out;
  EXPECT_FALSE(HasCyrillic(out)) << out;
  ASSERT_EQ(Ctl({"status", "--json"}, &out, none), 0) << out;
  EXPECT_FALSE(HasCyrillic(out)) << out;
  const nlohmann::json status = nlohmann::json::parse(out);
  EXPECT_EQ(status.at("state"), "OK");
  EXPECT_TRUE(Has(status.at("plan").at("holder").get<std::string>(), "quorvinctl (pid ")) << out;
  EXPECT_GT(status.at("plan").at("pid").get<long>(), 0);
  EXPECT_TRUE(ParseIso8601(status.at("plan").at("since").get<std::string>()).has_value()) << out;
  ASSERT_EQ(status.at("databases").size(), 2u);
  EXPECT_EQ(status.at("databases").at(1).at("last_success").at("outcome"), "success");
  EXPECT_EQ(status.at("databases").at(1).at("longest_gap_seconds"), 86400);
  EXPECT_TRUE(ParseIso8601(status.at("databases").at(1).at("next").get<std::string>()).has_value()) << out;

  // A backup by hand of entry 2's database takes its options: the server
  // writes the file (owner firebird), with the entry's stored login.
  ASSERT_EQ(Ctl({"backup", tcp, "--json"}, &out, none), 0) << out;
  const nlohmann::json made = nlohmann::json::parse(Lines(out).front());
  EXPECT_EQ(made.at("outcome"), "success");
  std::set<std::string> kinds;
  for (const nlohmann::json& record : made.at("records")) kinds.insert(record.at("kind").get<std::string>());
  EXPECT_EQ(kinds, (std::set<std::string>{"backup", "verify"})) << "the entry's verification too";
  struct stat file {};
  ASSERT_EQ(stat(made.at("file").get<std::string>().c_str(), &file), 0);
  EXPECT_EQ(file.st_uid, getpwnam("firebird") ? getpwnam("firebird")->pw_uid : 0u);

  run.Terminate();
  EXPECT_EQ(run.Finish(), 0) << run.Output();
  EXPECT_EQ(Sample(Bytes(dir.File("metrics/quorvin.prom")), "quorvin_plan_running"), 0.0);
  EXPECT_TRUE(Has(Bytes(ini), "[Plan2]"));
  EXPECT_EQ(Ctl({"plan", "remove", tcp}, &out, none), 0) << out;
  EXPECT_FALSE(Has(Bytes(ini), "[Plan2]"));
}

}  // namespace
