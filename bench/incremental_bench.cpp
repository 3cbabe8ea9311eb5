// Incremental backups of a large database beside its logical backup, as
// whole jobs of the controller (the file's SHA-256 and the history record
// included): a generated database, a level 0, then about 1 % of its pages
// changed; a level 1 against a logical backup of the same database,
// alternating, and the restore of the chain (levels 0 and 1, every link
// checked) against `gbak -c` of the logical backup through the server.
//
//   incremental_bench [--size-mb N] [--runs R] [--protocol tcp|local] [--dir D]
//
// Defaults are tiny (a smoke run); bench/incremental.sh runs it at 1 GB.

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench_tools.h"
#include "controller/quorvin.h"
#include "generated_database.h"
#include "integration/fb_fixture.h"

namespace {

namespace fs = std::filesystem;

struct TOptions {
  int SizeMb = 8;
  int Runs = 1;
  std::string Protocol = "tcp";
  std::string Dir;
};

TOptions Parse(int argc, char** argv) {
  TOptions o;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string key = argv[i];
    const std::string value = argv[i + 1];
    if (key == "--size-mb") o.SizeMb = std::stoi(value);
    if (key == "--runs") o.Runs = std::stoi(value);
    if (key == "--protocol") o.Protocol = value;
    if (key == "--dir") o.Dir = value;
  }
  return o;
}

// isql through the server when the jobs use it (the server keeps the
// database open), else the embedded engine.
std::string Sql(const TOptions& o, const std::string& script, const std::string& db) {
  return fbtest::RunIsqlScript(script, o.Protocol == "tcp" ? std::string(fbtest::kServerHost) + ":" + db : db);
}

// About 1 % of the data pages: the rows of the first 1 % of the IDs, which
// were written one after the other, get a new note.
void ChangeOnePercent(const TOptions& o, const std::string& db) {
  const std::string count = Sql(o, "SELECT 'ROWS=' || COUNT(*) FROM T_DATA;\n", db);
  const long long rows = std::stoll(count.substr(count.find("ROWS=") + 5));
  Sql(o, "UPDATE T_DATA SET NOTE = 'changed ' || ID WHERE ID < " + std::to_string(rows / 100) + ";\nCOMMIT;\n", db);
}

void Require(bool ok, const char* what) {
  if (!ok) throw std::runtime_error(std::string(what) + " failed");
}

void GbakRestore(const TOptions& o, const std::string& gbk, const std::string& db) {
  const std::string manager = o.Protocol == "tcp" ? std::string(fbtest::kServerHost) + ":service_mgr" : "service_mgr";
  int code = 0;
  const std::string out = fbtest::RunCommand("gbak -c -se " + manager + " -user SYSDBA -pas " +
                                                 fbtest::ShellQuote(fbtest::SysdbaPassword()) + " " +
                                                 fbtest::ShellQuote(gbk) + " " + fbtest::ShellQuote(db) + " >/dev/null",
                                             &code);
  // gbak of Firebird 3.0.11 may die while exiting after a finished job.
  if (code != 0 && !(code == 128 + 11 && fs::exists(db))) throw std::runtime_error("gbak -c failed: " + out);
}

}  // namespace

int main(int argc, char** argv) {
  try {
    const TOptions o = Parse(argc, argv);
    setenv("ISC_USER", "SYSDBA", 1);
    setenv("ISC_PASSWORD", fbtest::SysdbaPassword().c_str(), 1);
    fbtest::TempFolder folder(o.Dir.empty() ? "quorvin-bench-inc" : o.Dir);
    const std::string db = folder.File("big.fdb");
    auto started = Clock::now();
    GenerateDatabase(db, o.SizeMb);
    std::printf("database: %.1f MB generated in %.0f s; protocol %s, %d run(s)\n", FileMb(db), Since(started),
                o.Protocol.c_str(), o.Runs);

    TStoringPane pane;
    TQuorvin q(TFrontEnd{&pane, nullptr}, folder.Path() + "/");
    q.Settings().Protocol = o.Protocol == "tcp" ? 0 : 3;
    q.Settings().User = "SYSDBA";
    q.Settings().Pass = fbtest::SysdbaPassword();
    q.Settings().AutoBackName = true;
    q.Settings().BackShutDown = false;
    const auto level0 = q.IncrementalBackup(db, 0);
    Require(level0 && level0->Succeeded, "level 0");
    ChangeOnePercent(o, db);

    std::vector<double> level1Times, logicalTimes;
    std::string level1File, logicalFile;
    for (int run = 0; run < o.Runs; ++run) {
      for (int side = 0; side < 2; ++side) {
        const bool level1 = (side == 0) == (run % 2 == 0);
        started = Clock::now();
        const auto outcome = level1 ? q.IncrementalBackup(db, 1) : q.Backup(db);
        Require(outcome && outcome->Succeeded, level1 ? "level 1" : "logical backup");
        (level1 ? level1Times : logicalTimes).push_back(Since(started));
        // The earlier one of each kind goes: one of each stays.
        std::string& kept = level1 ? level1File : logicalFile;
        if (!kept.empty() && kept != outcome->BackFile) fs::remove(kept);
        kept = outcome->BackFile;
      }
    }
    const double l1 = Median(level1Times), logical = Median(logicalTimes);
    std::printf("level 0 : %8.1f MB\n", FileMb(level0->BackFile));
    std::printf("level 1 : %8.2f s  %8.1f MB (%.2f %% of the database)\n", l1, FileMb(level1File),
                100 * FileMb(level1File) / FileMb(db));
    std::printf("logical : %8.2f s  %8.1f MB\n", logical, FileMb(logicalFile));
    std::printf("ratio level 1 / logical: %.3f (target <= 0.1)\n", l1 / logical);

    const std::string chainTarget = folder.File("from_chain.fdb");
    const std::string gbakTarget = folder.File("from_gbak.fdb");
    started = Clock::now();
    Require(q.Restore(level1File, chainTarget).value_or(false), "restore of the chain");
    const double chain = Since(started);
    started = Clock::now();
    GbakRestore(o, logicalFile, gbakTarget);
    const double gbak = Since(started);
    std::printf(
        "restore : chain (levels 0 and 1, links checked) %.2f s, gbak -c of the logical backup %.2f s, "
        "ratio %.3f\n",
        chain, gbak, chain / gbak);
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "incremental_bench: %s\n", e.what());
    return 1;
  }
}
