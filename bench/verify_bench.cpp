// Verification of a backup by a test restore, as the controller runs it after
// a backup, beside gbak restoring the same backup file through the same
// service manager; alternating rounds, medians and the ratio ours/gbak.
//
//   verify_bench [--size-mb N] [--rounds R] [--protocol tcp|local]
//   (defaults: 100 MB, 3 rounds, tcp)

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "bench_tools.h"
#include "controller/quorvin.h"
#include "integration/fb_fixture.h"
#include "jobs/job_runner.h"
#include "runner/log_pane.h"
#include "runner/ui_seams.h"

namespace {}  // namespace

int main(int argc, char** argv) {
  int sizeMb = 100;
  int rounds = 3;
  bool tcp = true;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string key = argv[i];
    if (key == "--size-mb") sizeMb = std::atoi(argv[i + 1]);
    if (key == "--rounds") rounds = std::atoi(argv[i + 1]);
    if (key == "--protocol") tcp = std::string(argv[i + 1]) != "local";
  }
  TStoringPane pane;
  fbtest::TempFolder dir("quorvin-verify-bench");
  const std::string db = dir.File("bench.fdb");
  std::printf("verify bench: generating a database of about %d MB...\n", sizeMb);
  std::fflush(stdout);
  fbtest::CreateDatabase(db, std::max(1, static_cast<int>(sizeMb * 1.1)));

  auto q = std::make_unique<TQuorvin>(TFrontEnd{&pane}, dir.Path() + "/");
  q->Settings().DataBase = db;
  q->Settings().User = "SYSDBA";
  q->Settings().Pass = tcp ? fbtest::SysdbaPassword() : std::string();
  q->Settings().Protocol = tcp ? 0 : 3;
  q->Settings().AutoBackName = false;
  q->Settings().BackShutDown = false;
  q->Settings().VerifyBackup = true;
  // The verification is timed from the start of its test restore to the end
  // of Backup(): restore, row counts, removal of the temporary database and
  // the records, but not the checksum the history takes of every backup.
  Clock::time_point verifyStart;
  q->Jobs().JobRunner = [&](TJobRunner& job) {
    if (job.Job().Kind == TJobKind::Restore) verifyStart = Clock::now();
    return job.Run();
  };

  const std::string service = tcp ? LocalComputerName() + ":service_mgr" : std::string("service_mgr");
  const std::string login = "-user SYSDBA" + (tcp ? " -pas " + fbtest::ShellQuote(q->Settings().Pass) : std::string());
  const std::string gbakDb = dir.File("gbak.fdb");
  std::vector<double> ours, gbak;
  std::string backFile;
  for (int round = 0; round < rounds; ++round) {
    const std::optional<TBackupOutcome> outcome = q->Backup(db);
    if (!outcome || !outcome->Succeeded) {
      std::fprintf(stderr, "backup or verification failed:\n");
      for (const auto& line : pane.Lines) std::fprintf(stderr, "%s\n", line.c_str());
      return 1;
    }
    ours.push_back(Since(verifyStart));
    backFile = outcome->BackFile;
    fbtest::ShareWithServer(backFile);
    std::filesystem::remove(gbakDb);
    int code = -1;
    auto start = Clock::now();
    const std::string command = "gbak -c -v -se " + service + " " + login + " " + fbtest::ShellQuote(backFile) + " " +
                                fbtest::ShellQuote(gbakDb) + " > /dev/null";
    fbtest::RunCommand(command, &code);
    for (int retry = 0; code > 128 && retry < 3; ++retry) {
      // Firebird 3's embedded gbak now and then dies by a signal while other
      // processes share the engine's lock files; its timing is only a yardstick,
      // so a few more tries, each timed afresh.
      std::fprintf(stderr, "gbak -c ended by a signal (%d), once more\n", code);
      std::filesystem::remove(gbakDb);
      start = Clock::now();
      fbtest::RunCommand(command, &code);
    }
    gbak.push_back(Since(start));
    if (code != 0) {
      std::fprintf(stderr, "gbak -c failed (%d)\n", code);
      return 1;
    }
    std::printf("  round %d: verification %.2f s, gbak -c %.2f s\n", round + 1, ours.back(), gbak.back());
    std::fflush(stdout);
  }
  const double o = Median(ours), g = Median(gbak);
  std::printf("verify bench (%s, database %.0f MB, backup file %.0f MB, %d rounds):\n", tcp ? "TCP" : "Local",
              FileMb(db), FileMb(backFile), rounds);
  std::printf("  verification %.2f s, gbak -c -v -se %.2f s, ratio %.3f (target <= 1.1)\n", o, g, o / g);
  q.reset();
  return 0;
}
