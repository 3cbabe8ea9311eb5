// Per-line overhead of the job runner: a backup job whose server (the
// stand-in client library) answers N output lines, run through the job runner with a
// pane that stores every line and a pump, as the window uses them. The same
// job without a pane and a loop that only reads the lines give the part of
// the time that is the client layer's and the stand-in server's own.
//
//   runner_pane_bench [lines] [repeats]   (default 1000000 5)

#include <sys/resource.h>

#include <algorithm>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench_tools.h"
#include "fakeclient/fake_client.h"
#include "jobs/job_runner.h"
#include "runner/job_output.h"
#include "runner/ui_seams.h"
#include "service/backup_restore_services.h"
#include "service/client_library.h"

namespace {

double Seconds(Clock::time_point from) { return std::chrono::duration<double>(Clock::now() - from).count(); }

long PeakKb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

void Script(FakeClient& fake, long lines) {
  fake.Reset();
  char text[96];
  for (long i = 0; i < lines; ++i) {
    std::snprintf(text, sizeof text, "gbak:    writing data for table T_ORDERS_%ld, %ld records written", i % 97, i);
    fake.AddLine(text);
  }
}

// `output` null: the job's lines go nowhere.
bool RunBackup(TJobOutput* output) {
  TJob job;
  job.Name.Set("BENCH");
  job.UserName.Set("SYSDBA");
  job.Password.Set("x");
  job.Protocol = TProtocol::Local;
  job.WriteJobLog = false;
  job.StopDatabase = false;
  job.Database.Set("/bench/base.fdb");
  job.BackupFile.Set("/bench/base.gbk");
  TJobRunner runner(job);
  runner.Output = output;
  return runner.Run();
}

// The client layer and the stand-in server alone: read every line.
double ReadAllLines(long lines) {
  const auto start = Clock::now();
  TIBBackupService service;
  service.SetProtocol(TProtocol::Local);
  service.LoginPrompt = false;
  service.DatabaseName = "/bench/base.fdb";
  service.SetActive(true);
  service.ServiceStart();
  long n = 0;
  while (!service.OutputEnded()) n += static_cast<long>(service.NextOutputLine().size() > 0);
  service.SetActive(false);
  if (n != lines) std::fprintf(stderr, "read %ld of %ld lines\n", n, lines);
  return Seconds(start);
}

}  // namespace

int main(int argc, char** argv) {
  const long lines = argc > 1 ? std::atol(argv[1]) : 1000000;
  const int repeats = argc > 2 ? std::atoi(argv[2]) : 5;
  FakeClient fake;
  SetClientLibraryCandidates({FakeClient::Path()});
  TStoringPane pane;
  TJobOutput paneOutput(&pane);

  // The three variants in turn, several times: the machine is shared, the
  // medians are compared.
  std::vector<double> server, bare, withPane;
  for (int r = 0; r < repeats; ++r) {
    Script(fake, lines);
    server.push_back(ReadAllLines(lines));

    Script(fake, lines);
    auto start = Clock::now();
    const bool okBare = RunBackup(nullptr);
    bare.push_back(Seconds(start));

    Script(fake, lines);
    start = Clock::now();
    const bool okPane = RunBackup(&paneOutput);
    withPane.push_back(Seconds(start));

    if (!okBare || !okPane || static_cast<long>(pane.Lines.size()) < lines) {
      std::fprintf(stderr, "runner_pane_bench: the job did not run as expected (pane %zu lines)\n", pane.Lines.size());
      return 1;
    }
  }

  const double perLine = 1e9 / static_cast<double>(lines);
  const double serverNs = Median(server) * perLine, bareNs = Median(bare) * perLine,
               paneNs = Median(withPane) * perLine;
  std::printf("runner pane throughput, %ld lines, median of %d runs:\n", lines, repeats);
  std::printf("  client layer + stand-in server only : %8.1f ns/line\n", serverNs);
  std::printf("  Run, no pane                        : %8.1f ns/line\n", bareNs);
  std::printf("  Run, storing pane + pump            : %8.1f ns/line\n", paneNs);
  std::printf("  runner overhead apart from server   : %8.1f ns/line (target < 2000)\n", paneNs - serverNs);
  std::printf(
      "  peak memory                         : %8.1f MB (pane holds %zu lines; the stand-in\n"
      "                                        server holds its %ld scripted lines too)\n",
      PeakKb() / 1024.0, pane.Lines.size(), lines);
  return 0;
}
