// A whole backup and restore of a generated database through the job runner,
// beside gbak doing the same through the same service manager, alternating;
// prints the medians and the ratios ours/gbak.
//
//   runner_job_bench [--size-mb N] [--rounds R] [--protocol tcp|local] [--dir D]
//   (defaults: 200 MB, 3 rounds, tcp, a folder under the temp folder)

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench_tools.h"
#include "integration/fb_fixture.h"
#include "jobs/job_runner.h"
#include "runner/job_output.h"
#include "runner/log_pane.h"
#include "runner/ui_seams.h"

namespace {

struct TOptions {
  int sizeMb = 200;
  int rounds = 3;
  bool tcp = true;
  std::string dir;
};

TOptions Parse(int argc, char** argv) {
  TOptions o;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string key = argv[i];
    const std::string value = argv[i + 1];
    if (key == "--size-mb")
      o.sizeMb = std::atoi(value.c_str());
    else if (key == "--rounds")
      o.rounds = std::atoi(value.c_str());
    else if (key == "--protocol")
      o.tcp = value != "local";
    else if (key == "--dir")
      o.dir = value;
  }
  return o;
}

}  // namespace

int main(int argc, char** argv) {
  const TOptions options = Parse(argc, argv);
  TStoringPane pane;
  TJobOutput output(&pane);

  fbtest::TempFolder tmp("quorvin-bench");
  const std::string dir = options.dir.empty() ? tmp.Path() : options.dir;
  const std::string db = dir + "/bench.fdb";
  const std::string password = options.tcp ? fbtest::SysdbaPassword() : std::string();

  // About 1 MB per unit of scale with the fixture's tables; a database that
  // comes out smaller than asked is made again, larger.
  int scale = std::max(1, static_cast<int>(options.sizeMb * 1.1));
  for (int attempt = 0; attempt < 3; ++attempt) {
    std::printf("runner job bench: generating a database of at least %d MB (scale %d)...\n", options.sizeMb, scale);
    std::fflush(stdout);
    const auto t0 = Clock::now();
    std::filesystem::remove(db);
    fbtest::CreateDatabase(db, scale);
    const double mb = FileMb(db);
    std::printf("  %s: %.0f MB in %.0f s\n", db.c_str(), mb, std::chrono::duration<double>(Clock::now() - t0).count());
    if (mb >= options.sizeMb) break;
    scale = static_cast<int>(scale * options.sizeMb / std::max(mb, 1.0) * 1.05) + 1;
  }

  const std::string service = options.tcp ? LocalComputerName() + ":service_mgr" : std::string("service_mgr");
  const std::string login = "-user SYSDBA" + (options.tcp ? " -pas " + fbtest::ShellQuote(password) : std::string());
  auto runGbak = [&](const std::string& args) {
    int code = -1;
    const auto start = Clock::now();
    fbtest::RunCommand("gbak " + args + " -v -se " + service + " " + login + " > /dev/null", &code);
    const double s = std::chrono::duration<double>(Clock::now() - start).count();
    if (code != 0) {
      std::fprintf(stderr, "gbak %s failed (%d)\n", args.c_str(), code);
      std::exit(1);
    }
    return s;
  };
  auto runOurs = [&](TJobKind kind, const std::string& from, const std::string& to) {
    TJob job;
    job.Kind = kind;
    job.Name.Set("BENCH");
    job.UserName.Set("SYSDBA");
    job.Password.Set(password);
    job.Protocol = options.tcp ? TProtocol::TCP : TProtocol::Local;
    job.WriteJobLog = false;
    job.StopDatabase = false;
    const bool restore = RestoresDatabase(job);
    (restore ? job.BackupFile : job.Database).Set(from);
    (restore ? job.Database : job.BackupFile).Set(to);
    TJobRunner runner(job);
    runner.Output = &output;
    const auto start = Clock::now();
    const bool ok = runner.Run();
    const double s = std::chrono::duration<double>(Clock::now() - start).count();
    if (!ok) {
      std::fprintf(stderr, "the job failed:\n");
      for (const auto& line : pane.Lines) std::fprintf(stderr, "%s\n", line.c_str());
      std::exit(1);
    }
    return s;
  };

  const std::string oursGbk = dir + "/ours.gbk", gbakGbk = dir + "/gbak.gbk";
  const std::string oursFdb = dir + "/ours.fdb", gbakFdb = dir + "/gbak.fdb";
  std::vector<double> oursBackup, gbakBackup, oursRestore, gbakRestore;
  std::size_t outputLines = 0;
  for (int round = 0; round < options.rounds; ++round) {
    for (const std::string& f : {oursGbk, gbakGbk}) std::filesystem::remove(f);
    const bool oursFirst = round % 2 == 0;
    for (int k = 0; k < 2; ++k) {
      if ((k == 0) == oursFirst) {
        oursBackup.push_back(runOurs(TJobKind::Backup, db, oursGbk));
        outputLines = pane.Lines.size();
      } else {
        gbakBackup.push_back(runGbak("-b " + fbtest::ShellQuote(db) + " " + fbtest::ShellQuote(gbakGbk)));
      }
    }
    for (const std::string& f : {oursFdb, gbakFdb}) std::filesystem::remove(f);
    for (int k = 0; k < 2; ++k) {
      if ((k == 0) == oursFirst) {
        oursRestore.push_back(runOurs(TJobKind::Restore, oursGbk, oursFdb));
      } else {
        gbakRestore.push_back(runGbak("-c " + fbtest::ShellQuote(gbakGbk) + " " + fbtest::ShellQuote(gbakFdb)));
      }
    }
    std::printf("  round %d: backup ours %.2f s gbak %.2f s; restore ours %.2f s gbak %.2f s\n", round + 1,
                oursBackup.back(), gbakBackup.back(), oursRestore.back(), gbakRestore.back());
    std::fflush(stdout);
  }
  const double ob = Median(oursBackup), gb = Median(gbakBackup), orr = Median(oursRestore), gr = Median(gbakRestore);
  std::printf("runner job bench (%s, database %.0f MB, backup file %.0f MB, %zu pane lines per backup, %d rounds):\n",
              options.tcp ? "TCP" : "Local", FileMb(db), FileMb(oursGbk), outputLines, options.rounds);
  std::printf("  backup : ours %.2f s, gbak -b -v -se %.2f s, ratio %.3f (target <= 1.05)\n", ob, gb, ob / gb);
  std::printf("  restore: ours %.2f s, gbak -c -v -se %.2f s, ratio %.3f (target <= 1.05)\n", orr, gr, orr / gr);
  return 0;
}
