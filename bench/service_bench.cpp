// Backup and restore of a generated database through the service classes and
// through gbak's own service mode (gbak -b -se / gbak -c -se) on the same
// files, alternating, for protocol Local and TCP. Prints the median times, the
// ratio ours/gbak per job kind and the output lines read per second.
//
//   service_bench [--size-mb N] [--runs R] [--protocols local,tcp] [--dir D]
//
// Defaults are tiny (a smoke run); bench/service.sh runs it at full size.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "bench_tools.h"
#include "generated_database.h"
#include "integration/fb_fixture.h"
#include "service/ib_services.h"

namespace {

namespace fs = std::filesystem;

struct Options {
  int sizeMb = 4;
  int runs = 1;
  std::vector<std::string> protocols = {"local", "tcp"};
  std::string dir;
};

double Seconds(Clock::time_point from) { return std::chrono::duration<double>(Clock::now() - from).count(); }

template <typename T>
void Connect(T& service, const std::string& protocol, const std::string& password) {
  if (protocol == "tcp") {
    service.SetProtocol(TProtocol::TCP);
    service.SetServerName(fbtest::kServerHost);
  } else {
    service.SetProtocol(TProtocol::Local);
  }
  service.Params().Add("User_Name=SYSDBA");
  service.Params().Add("Password=" + password);
  service.LoginPrompt = false;
}

size_t ReadToEnd(TIBControlAndQueryService& service) {
  size_t lines = 0;
  while (!service.OutputEnded()) {
    service.NextOutputLine();
    ++lines;
  }
  return lines;
}

size_t OurBackup(const std::string& protocol, const std::string& password, const std::string& db,
                 const std::string& gbk) {
  TIBBackupService backup;
  Connect(backup, protocol, password);
  backup.DatabaseName = db;
  backup.BackupFile.Add(gbk);
  backup.Verbose = true;
  backup.SetActive(true);
  backup.ServiceStart();
  const size_t lines = ReadToEnd(backup);
  backup.SetActive(false);
  return lines;
}

size_t OurRestore(const std::string& protocol, const std::string& password, const std::string& gbk,
                  const std::string& db) {
  TIBRestoreService restore;
  Connect(restore, protocol, password);
  restore.BackupFile.Add(gbk);
  restore.DatabaseName.Add(db);
  restore.Options.Include(TRestoreOption::Replace);
  restore.Verbose = true;
  restore.SetActive(true);
  restore.ServiceStart();
  const size_t lines = ReadToEnd(restore);
  restore.SetActive(false);
  return lines;
}

int gbakExitCrashes = 0;

void Gbak(const std::string& protocol, const std::string& password, const std::string& switches,
          const std::string& from, const std::string& to) {
  const std::string manager = protocol == "tcp" ? std::string(fbtest::kServerHost) + ":service_mgr" : "service_mgr";
  int code = 0;
  const std::string out = fbtest::RunCommand("gbak " + switches + " -v -se " + manager + " -user SYSDBA -pas " +
                                                 fbtest::ShellQuote(password) + " " + fbtest::ShellQuote(from) + " " +
                                                 fbtest::ShellQuote(to) + " >/dev/null",
                                             &code);
  // gbak of Firebird 3.0.11 in service mode with the embedded engine often
  // dies of SIGSEGV while exiting, after the job has finished: such a run
  // counts when its output file is there.
  if (code == 128 + 11 && fs::exists(to) && fs::file_size(to) > 0) {
    ++gbakExitCrashes;
    return;
  }
  if (code != 0) throw std::runtime_error("gbak failed (exit " + std::to_string(code) + "): " + out);
}

Options Parse(int argc, char** argv) {
  Options o;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string key = argv[i];
    const std::string value = argv[i + 1];
    if (key == "--size-mb") o.sizeMb = std::stoi(value);
    if (key == "--runs") o.runs = std::stoi(value);
    if (key == "--dir") o.dir = value;
    if (key == "--protocols") {
      o.protocols.clear();
      std::stringstream ss(value);
      std::string p;
      while (std::getline(ss, p, ',')) o.protocols.push_back(p);
    }
  }
  return o;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    const Options o = Parse(argc, argv);
    const std::string password = fbtest::SysdbaPassword();
    fbtest::TempFolder folder(o.dir.empty() ? "quorvin-bench" : o.dir);
    const std::string db = folder.File("bench.fdb");

    auto started = Clock::now();
    GenerateDatabase(db, o.sizeMb);
    std::printf("database: %.1f MB generated in %.1f s, %d run(s) per job\n",
                static_cast<double>(fs::file_size(db)) / (1024 * 1024), Seconds(started), o.runs);

    for (const std::string& protocol : o.protocols) {
      // Own files per protocol: the server (user firebird) may not replace
      // files the embedded engine (root) created.
      const std::string gbkOurs = folder.File(protocol + "_ours.gbk");
      const std::string gbkGbak = folder.File(protocol + "_gbak.gbk");
      const std::string restoredOurs = folder.File(protocol + "_restored_ours.fdb");
      const std::string restoredGbak = folder.File(protocol + "_restored_gbak.fdb");
      std::vector<double> ourBackup, gbakBackup, ourRestore, gbakRestore;
      size_t lines = 0;
      double lineSeconds = 0;
      for (int run = 0; run < o.runs; ++run) {
        // Alternate which side goes first so cache warmth does not favour one.
        const bool oursFirst = run % 2 == 0;
        for (int side = 0; side < 2; ++side) {
          const bool ours = (side == 0) == oursFirst;
          fs::remove(ours ? gbkOurs : gbkGbak);
          started = Clock::now();
          if (ours) {
            lines += OurBackup(protocol, password, db, gbkOurs);
            ourBackup.push_back(Seconds(started));
            lineSeconds += ourBackup.back();
          } else {
            Gbak(protocol, password, "-b", db, gbkGbak);
            gbakBackup.push_back(Seconds(started));
          }
        }
        for (int side = 0; side < 2; ++side) {
          const bool ours = (side == 0) == oursFirst;
          // Both sides create their database afresh.
          fs::remove(ours ? restoredOurs : restoredGbak);
          started = Clock::now();
          if (ours) {
            lines += OurRestore(protocol, password, gbkOurs, restoredOurs);
            ourRestore.push_back(Seconds(started));
            lineSeconds += ourRestore.back();
          } else {
            Gbak(protocol, password, "-c -rep", gbkGbak, restoredGbak);
            gbakRestore.push_back(Seconds(started));
          }
        }
      }
      const double ob = Median(ourBackup), gb = Median(gbakBackup), orr = Median(ourRestore), gr = Median(gbakRestore);
      std::printf("%-5s backup : ours %7.2f s  gbak %7.2f s  ratio %.3f\n", protocol.c_str(), ob, gb, ob / gb);
      std::printf("%-5s restore: ours %7.2f s  gbak %7.2f s  ratio %.3f\n", protocol.c_str(), orr, gr, orr / gr);
      std::printf("%-5s output : %zu lines, %.0f lines/s\n", protocol.c_str(), lines,
                  static_cast<double>(lines) / lineSeconds);
      std::fflush(stdout);
    }
    if (gbakExitCrashes > 0)
      std::printf("(gbak crashed while exiting after a finished job %d time(s))\n", gbakExitCrashes);
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "service_bench: %s\n", e.what());
    return 1;
  }
}
