// quorvinctl as administrators run it: `quorvinctl backup` over TCP of a
// generated database beside `gbak -b -se` of the same database to the same
// kind of file, alternating, medians and their ratio (target ≤ 1.05); then
// the resident memory of `quorvinctl run` waiting for its plan, before its
// first job and after one (the client library and its plugins loaded).
//
//   quorvinctl_bench [--size-mb N] [--runs R] [--idle]
//
// Defaults are tiny (a smoke run); bench/quorvinctl.sh runs it at full size.

#include <signal.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "bench_tools.h"
#include "generated_database.h"
#include "integration/fb_fixture.h"
#include "platform/child_process.h"

namespace {

struct TOptions {
  int SizeMb = 4;
  int Runs = 1;
  bool Idle = false;
};

TOptions OptionsOf(int argc, char* argv[]) {
  TOptions o;
  for (int i = 1; i < argc; ++i) {
    const std::string key = argv[i];
    if (key == "--idle") o.Idle = true;
    if (i + 1 >= argc) continue;
    if (key == "--size-mb") o.SizeMb = std::stoi(argv[++i]);
    if (key == "--runs") o.Runs = std::stoi(argv[++i]);
  }
  return o;
}

void Run(const std::string& command) {
  int code = 0;
  const std::string out = fbtest::RunCommand(command, &code);
  if (code != 0) throw std::runtime_error(command + " failed (" + std::to_string(code) + "): " + out);
}

// The resident set of a process, in MB.
double ResidentMb(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(in, line);)
    if (line.rfind("VmRSS:", 0) == 0) return std::stod(line.substr(6)) / 1024.0;
  return 0;
}

std::string Quoted(const std::string& text) { return fbtest::ShellQuote(text); }

void BackupRatio(const fbtest::TempFolder& folder, const std::string& db, const std::string& password, int runs) {
  const std::string ctl = std::string(QUORVINCTL) + " --config " + Quoted(folder.File("Quorvin.INI")) + " --log-dir " +
                          Quoted(folder.Path()) + " --protocol TCP --quiet backup " + Quoted(db);
  const std::string gbak = "gbak -b -se " + std::string(fbtest::kServerHost) + ":service_mgr " + Quoted(db) + " " +
                           Quoted(folder.File("gbak.gbk")) + " -user SYSDBA -pas " + Quoted(password);
  std::vector<double> ours, theirs;
  const auto timed = [](const std::string& command, std::vector<double>& times) {
    const auto started = Clock::now();
    Run(command);
    times.push_back(Since(started));
  };
  // Who goes first alternates: the server's cache favours the second.
  for (int i = 0; i < runs; ++i) {
    std::remove(folder.File("gbak.gbk").c_str());
    if (i % 2 == 0) timed("ISC_PASSWORD=" + Quoted(password) + " " + ctl, ours);
    timed(gbak, theirs);
    if (i % 2 == 1) timed("ISC_PASSWORD=" + Quoted(password) + " " + ctl, ours);
  }
  std::printf(
      "backup over TCP of %.0f MB (backup file %.0f MB), %d runs: quorvinctl %.2f s, gbak -b -se %.2f s, "
      "ratio %.3f\n",
      FileMb(db), FileMb(db + ".gbk"), runs, Median(ours), Median(theirs), Median(ours) / Median(theirs));
}

// `run` with a plan of one backup at the next whole minute.
void IdleMemory(const fbtest::TempFolder& folder, const std::string& password) {
  const std::time_t due = (std::time(nullptr) / 60 + 2) * 60;
  char at[16];
  std::strftime(at, sizeof at, "%H:%M:00", std::localtime(&due));
  std::ofstream(folder.File("Quorvin.INI"), std::ios::app)
      << "[Plan]\nDay1Back=1\nDay2Back=1\nDay3Back=1\nDay4Back=1\nDay5Back=1\nDay6Back=1\nDay7Back=1\n"
      << "DayPeriodBack=7\nNightPeriodBack=7\nDayClockBack=" << at << "\nNightClockBack=" << at << "\n";
  TChildProcess run(QUORVINCTL, {"--config", folder.File("Quorvin.INI"), "--log-dir", folder.Path(), "run"}, "",
                    {"ISC_PASSWORD=" + password});
  std::string output;
  const auto waitFor = [&](const std::string& text, int seconds) {
    for (int i = 0; i < seconds * 10 && output.find(text) == std::string::npos; ++i)
      run.ReadOutput(output, std::chrono::milliseconds(100));
  };
  waitFor("running the plan", 30);
  std::this_thread::sleep_for(std::chrono::seconds(3));
  // The plan lock says who holds it: "quorvinctl, процесс <pid> на …".
  std::ifstream lock(folder.File("Quorvin.job.plan.lock"));
  std::string holder;
  std::getline(lock, holder);
  const std::size_t lead = holder.find("процесс ");
  if (lead == std::string::npos) throw std::runtime_error("no holder in the plan lock: " + holder);
  const pid_t pid = std::stoi(holder.substr(lead + std::string("процесс ").size()));
  const double fresh = ResidentMb(pid);
  waitFor("plan backup of", 200);
  std::this_thread::sleep_for(std::chrono::seconds(6));
  const double afterJob = ResidentMb(pid);
  run.Terminate();
  while (run.ReadOutput(output, std::chrono::milliseconds(100))) {
  }
  run.Wait();
  std::printf("quorvinctl run waiting for its plan: %.1f MB resident before its first job, %.1f MB after one\n", fresh,
              afterJob);
}

}  // namespace

int main(int argc, char* argv[]) {
  const TOptions options = OptionsOf(argc, argv);
  try {
    fbtest::TempFolder folder("quorvin-bench-ctl");
    const std::string db = folder.File("bench.fdb");
    GenerateDatabase(db, options.SizeMb);
    const std::string password = fbtest::SysdbaPassword();
    std::ofstream(folder.File("Quorvin.INI"))
        << "[Main]\nDataBase=" << db << "\nUser=SYSDBA\n[Parameters]\nProtocol=0\nBackShutDown=0\n"
        << "AutoBackName=0\n";
    BackupRatio(folder, db, password, options.Runs);
    if (options.Idle) IdleMemory(folder, password);
    return 0;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "quorvinctl_bench: %s\n", error.what());
    return 1;
  }
}
