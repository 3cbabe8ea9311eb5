// Per-line overhead of the job runner: a backup job whose server (the
// stand-in client library) answers N output lines, run through RunJob with a
// pane that stores every line and a pump, as the window uses them. The same
// job without a pane and a loop that only reads the lines give the part of
// the time that is the client layer's and the stand-in server's own.
//
//   runner_pane_bench [lines]   (default 1000000)

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "fakeclient/fake_client.h"
#include "runner/log_pane.h"
#include "runner/schedule.h"
#include "runner/ui_seams.h"
#include "service/backup_restore_services.h"
#include "service/client_library.h"

namespace {

class TStoringPane : public TLogPaneView {
 public:
  void Clear() override { Lines.clear(); }
  void AppendLine(const std::string& line) override { Lines.push_back(line); }
  std::vector<std::string> Lines;
};

using Clock = std::chrono::steady_clock;

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

bool RunBackup() {
  TSchedule job;
  job.JobKind = 1;
  job.SetJobName("BENCH");
  job.SetUserName("SYSDBA");
  job.SetPassword("x");
  job.SetProtocol(3);
  job.WriteJobLog = false;
  job.StopDatabase = false;
  job.SetJobFile(1, "/bench/base.fdb");
  job.SetJobFile(2, "/bench/base.gbk");
  return job.RunJob();
}

}  // namespace

int main(int argc, char** argv) {
  const long lines = argc > 1 ? std::atol(argv[1]) : 1000000;
  FakeClient fake;
  SetClientLibraryCandidates({FakeClient::Path()});

  // The client layer and the stand-in server alone: read every line.
  Script(fake, lines);
  auto start = Clock::now();
  {
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
  }
  const double serverSeconds = Seconds(start);

  // The job without a pane.
  Script(fake, lines);
  long pumps = 0;
  SetMessagePump([&pumps] { ++pumps; });
  start = Clock::now();
  const bool okBare = RunBackup();
  const double bareSeconds = Seconds(start);

  // The job with a pane that keeps every line, one pump per line.
  TStoringPane pane;
  LogPane = &pane;
  Script(fake, lines);
  pumps = 0;
  start = Clock::now();
  const bool okPane = RunBackup();
  const double paneSeconds = Seconds(start);
  LogPane = nullptr;
  SetMessagePump(nullptr);

  if (!okBare || !okPane || static_cast<long>(pane.Lines.size()) < lines || pumps != lines + 2) {
    std::fprintf(stderr, "runner_pane_bench: the job did not run as expected (pane %zu lines, %ld pumps)\n",
                 pane.Lines.size(), pumps);
    return 1;
  }
  const double perLine = 1e9 / static_cast<double>(lines);
  std::printf("runner pane throughput, %ld lines:\n", lines);
  std::printf("  client layer + stand-in server only : %8.1f ns/line\n", serverSeconds * perLine);
  std::printf("  RunJob, no pane                     : %8.1f ns/line\n", bareSeconds * perLine);
  std::printf("  RunJob, storing pane + pump         : %8.1f ns/line\n", paneSeconds * perLine);
  std::printf("  runner overhead apart from server   : %8.1f ns/line (target < 2000)\n",
              (paneSeconds - serverSeconds) * perLine);
  std::printf("  peak memory                         : %8.1f MB (pane holds %zu lines)\n", PeakKb() / 1024.0,
              pane.Lines.size());
  return 0;
}
