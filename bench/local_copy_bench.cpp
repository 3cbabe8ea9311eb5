// The copy on this computer beside gbak, over TCP on a generated database,
// alternating in one run: a backup streamed from the server into a
// compressed copy (the job runner, "copy only") beside gbak -b -se writing the
// backup file on the server's disk, and a restore fed from that copy beside
// gbak -c -se reading the plain file from the server's disk. Prints the
// medians, the ratios, the copy's size and compression ratio, and, once, the
// time of gbak's own client streaming the same backup to its standard
// output: the speed of the channel itself.
//
//   local_copy_bench [--size-mb N] [--runs R] [--dir D] [--no-reference]

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench_tools.h"
#include "generated_database.h"
#include "integration/fb_fixture.h"
#include "jobs/job_runner.h"
#include "runner/job_output.h"
#include "runner/local_copy_writer.h"
#include "runner/ui_seams.h"

namespace {

namespace fs = std::filesystem;

struct TOptions {
  int sizeMb = 4;
  int runs = 1;
  std::string dir;
  bool reference = true;
};

TOptions Parse(int argc, char** argv) {
  TOptions o;
  for (int i = 1; i < argc; ++i) {
    const std::string key = argv[i];
    const std::string value = i + 1 < argc ? argv[i + 1] : "";
    if (key == "--no-reference") {
      o.reference = false;
      continue;
    }
    if (key == "--size-mb") o.sizeMb = std::atoi(value.c_str());
    if (key == "--runs") o.runs = std::atoi(value.c_str());
    if (key == "--dir") o.dir = value;
    ++i;
  }
  return o;
}

double Seconds(Clock::time_point from) { return std::chrono::duration<double>(Clock::now() - from).count(); }

double Mb(std::uintmax_t bytes) { return static_cast<double>(bytes) / (1024.0 * 1024.0); }

[[noreturn]] void Fail(const std::string& what, const TStoringPane& pane) {
  std::fprintf(stderr, "local_copy_bench: %s\n", what.c_str());
  for (const auto& line : pane.Lines) std::fprintf(stderr, "  %s\n", line.c_str());
  std::exit(1);
}

}  // namespace

int main(int argc, char** argv) {
  const TOptions o = Parse(argc, argv);
  TStoringPane pane;
  TJobOutput output(&pane);
  const std::string password = fbtest::SysdbaPassword();
  fbtest::TempFolder folder(o.dir.empty() ? "quorvin-bench" : o.dir);
  const std::string db = folder.File("bench.fdb");
  const std::string copies = folder.File("copies");
  fs::create_directory(copies);

  auto started = Clock::now();
  GenerateDatabase(db, o.sizeMb);
  std::printf("database: %.1f MB generated in %.0f s; TCP, %d run(s) per job, zstd level %d\n", Mb(fs::file_size(db)),
              Seconds(started), o.runs, TLocalCopyTuning{}.Level);
  std::fflush(stdout);

  const std::string manager = std::string(fbtest::kServerHost) + ":service_mgr";
  const std::string login = " -user SYSDBA -pas " + fbtest::ShellQuote(password) + " ";
  const auto gbak = [&](const std::string& args) {
    int code = -1;
    const auto start = Clock::now();
    const std::string out = fbtest::RunCommand("gbak " + args, &code);
    const double s = Seconds(start);
    if (code != 0) Fail("gbak " + args + " failed: " + out, pane);
    return s;
  };
  const auto ours = [&](TJobKind kind, const std::string& from, const std::string& to, bool copyOnly) {
    TJob job;
    job.Kind = kind;
    job.Name.Set("BENCH");
    job.UserName.Set("SYSDBA");
    job.Password.Set(password);
    job.Protocol = TProtocol::TCP;
    job.WriteJobLog = false;
    job.StopDatabase = false;
    if (kind == TJobKind::Restore) job.RestoreOptions = {TRestoreOption::Replace};  // as gbak's -rep
    const bool restore = RestoresDatabase(job);
    (restore ? job.BackupFile : job.Database).Set(from);
    (restore ? job.Database : job.BackupFile).Set(to);
    if (copyOnly) job.Destination = {copies, true};
    TJobRunner runner(job);
    runner.Output = &output;
    const auto start = Clock::now();
    if (!runner.Run()) Fail("the job failed", pane);
    return Seconds(start);
  };

  const std::string serverGbk = folder.File("server.gbk");
  const std::string copy = copies + "/bench.gbk.zst";
  const std::string oursFdb = folder.File("ours.fdb"), gbakFdb = folder.File("gbak.fdb");
  std::vector<double> oursBackup, gbakBackup, oursRestore, gbakRestore;
  for (int run = 0; run < o.runs; ++run) {
    const bool oursFirst = run % 2 == 0;
    for (int side = 0; side < 2; ++side) {
      if ((side == 0) == oursFirst) {
        oursBackup.push_back(ours(TJobKind::Backup, db, folder.File("bench.gbk"), true));
      } else {
        fs::remove(serverGbk);
        gbakBackup.push_back(
            gbak("-b -se " + manager + login + fbtest::ShellQuote(db) + " " + fbtest::ShellQuote(serverGbk)));
      }
    }
    for (int side = 0; side < 2; ++side) {
      if ((side == 0) == oursFirst) {
        fs::remove(oursFdb);
        oursRestore.push_back(ours(TJobKind::Restore, copy, oursFdb, false));
      } else {
        fs::remove(gbakFdb);
        gbakRestore.push_back(
            gbak("-c -rep -se " + manager + login + fbtest::ShellQuote(serverGbk) + " " + fbtest::ShellQuote(gbakFdb)));
      }
    }
  }

  const double ob = Median(oursBackup), gb = Median(gbakBackup), orr = Median(oursRestore), gr = Median(gbakRestore);
  const std::uintmax_t plain = fs::file_size(serverGbk), packed = fs::file_size(copy);
  std::printf("backup : copy on this computer %7.2f s   gbak -b -se to the server's disk %7.2f s   ratio %.2f\n", ob,
              gb, ob / gb);
  std::printf("copy   : %.1f MB backup file -> %.1f MB compressed (%.1f %%, %.1f : 1)\n", Mb(plain), Mb(packed),
              100.0 * static_cast<double>(packed) / static_cast<double>(plain),
              static_cast<double>(plain) / static_cast<double>(packed));
  std::printf("restore: from the copy           %7.2f s   gbak -c -se from the server's disk %7.2f s   ratio %.2f\n",
              orr, gr, orr / gr);
  std::fflush(stdout);
  if (o.reference) {
    // Firebird's own client on the same channel, plain and uncompressed.
    const std::string streamed = folder.File("streamed.gbk");
    const double s =
        gbak("-b -se " + manager + login + fbtest::ShellQuote(db) + " stdout > " + fbtest::ShellQuote(streamed));
    std::printf("channel: gbak -b -se to its standard output (Firebird's own client) %7.2f s, %.1f MB\n", s,
                Mb(fs::file_size(streamed)));
  }
  return 0;
}
