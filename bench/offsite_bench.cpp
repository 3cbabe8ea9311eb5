// Off-site copies beside the administrator's own pipeline, over TCP on a
// generated database and the S3 gateway of AWS_ENDPOINT_URL (the keys from
// AWS_ACCESS_KEY_ID / AWS_SECRET_ACCESS_KEY), alternating in one run:
//   ours:  the server's backup stream → zstd → multipart upload (one process,
//          nothing whole on this computer), and a restore fed from the object;
//   theirs: gbak -b … stdout | zstd -3 > file, then curl --aws-sigv4 -T file;
//          curl … | zstd -dc | gbak -c … stdin.
// Each of our copies runs in a process of its own (--one-copy), so its peak
// resident memory is the copy's alone.
//
//   offsite_bench [--size-mb N] [--runs R]
//   offsite_bench --one-copy DATABASE BUCKET

#include <sys/resource.h>
#include <unistd.h>

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
#include "jobs/offsite/offsite_copy.h"
#include "jobs/offsite/offsite_restore.h"
#include "jobs/targets/s3/s3_target.h"
#include "platform/mount_table.h"
#include "runner/job_output.h"
#include "runner/log_pane.h"
#include "storage/s3/s3_credentials.h"
#include "storage/s3/s3_place.h"

namespace {

namespace fs = std::filesystem;

double Seconds(Clock::time_point from) { return std::chrono::duration<double>(Clock::now() - from).count(); }

double Mb(std::uintmax_t bytes) { return static_cast<double>(bytes) / (1024.0 * 1024.0); }

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

TS3Target TargetOf(const std::string& bucket) {
  TS3Place place;
  place.Bucket = bucket;
  place.Prefix = "bench/";
  return TS3Target(ResolvePlace(place), *CredentialsFromEnvironment());
}

// A file of this computer as the server names it.
TServerPath OnServer(const std::string& path) { return ServerPathOf(path, LocalComputerName(), ReadMountTable()); }

TLocalCopySource SourceOf(const std::string& db) {
  return {OnServer(db), OnServer(db + ".gbk"), TProtocol::TCP, "SYSDBA", fbtest::SysdbaPassword(), {}};
}

// One copy of `db` into the bucket; prints its time and this process's peak.
int OneCopy(const std::string& db, const std::string& bucket) {
  TStoringPane pane;
  TJobOutput output(&pane);
  TS3Target target = TargetOf(bucket);
  const auto start = Clock::now();
  const TOffsiteCopyInfo info = MakeOffsiteCopy(SourceOf(db), target, nullptr, fs::file_size(db), output);
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::printf("%.3f %ld %llu\n", Seconds(start), usage.ru_maxrss / 1024,
              static_cast<unsigned long long>(info.Copy.Size));
  return 0;
}

[[noreturn]] void Fail(const std::string& what) {
  std::fprintf(stderr, "offsite_bench: %s\n", what.c_str());
  std::exit(1);
}

// Through bash, so that a pipeline fails with any of its commands; a failure
// shows the output, not the command (it holds the store's keys).
std::string Run(const std::string& command) {
  int code = -1;
  std::string out = fbtest::RunCommand("bash -o pipefail -c " + fbtest::ShellQuote(command), &code);
  if (code != 0) Fail("a command failed: " + out);
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::string(argv[1]) == "--one-copy") return OneCopy(argv[2], argv[3]);
  int sizeMb = 200;
  int runs = 3;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::string(argv[i]) == "--size-mb") sizeMb = std::atoi(argv[i + 1]);
    if (std::string(argv[i]) == "--runs") runs = std::atoi(argv[i + 1]);
  }
  if (Env("AWS_ENDPOINT_URL").empty()) Fail("no AWS_ENDPOINT_URL: start scripts/start_s3_gateway.sh and load its env");
  fbtest::TempFolder folder("quorvin-offsite-bench");
  const std::string db = folder.File("bench.fdb");
  GenerateDatabase(db, sizeMb);
  const std::string bucket = "bench-" + std::to_string(::getpid());
  TS3Place place;
  place.Bucket = bucket;
  TS3Client client(ResolvePlace(place), *CredentialsFromEnvironment());
  client.CreateBucket();
  std::printf("database: %.1f MB, TCP, %d run(s) each\n", Mb(fs::file_size(db)), runs);
  const std::string manager = std::string(fbtest::kServerHost) + ":service_mgr";
  const std::string login = " -user SYSDBA -pas " + fbtest::ShellQuote(fbtest::SysdbaPassword()) + " ";
  const std::string file = folder.File("theirs.gbk.zst");
  const std::string url = Env("AWS_ENDPOINT_URL") + "/" + bucket + "/theirs/bench.gbk.zst";
  const std::string curl = "curl -fsS --aws-sigv4 'aws:amz:" + Env("AWS_REGION") + ":s3' --user '" +
                           Env("AWS_ACCESS_KEY_ID") + ":" + Env("AWS_SECRET_ACCESS_KEY") +
                           "' -H 'x-amz-content-sha256: UNSIGNED-PAYLOAD' ";
  std::vector<double> ours, theirs, oursRestore, theirsRestore;
  long peakMb = 0;
  for (int run = 0; run < runs; ++run) {
    const std::string result = Run(std::string(argv[0]) + " --one-copy " + fbtest::ShellQuote(db) + " " + bucket);
    ours.push_back(std::atof(result.c_str()));
    peakMb = std::max(peakMb, std::atol(result.substr(result.find(' ') + 1).c_str()));
    const auto start = Clock::now();
    Run("gbak -b -se " + manager + login + fbtest::ShellQuote(db) + " stdout | zstd -q -3 > " +
        fbtest::ShellQuote(file) + " && " + curl + "-T " + fbtest::ShellQuote(file) + " " + url);
    theirs.push_back(Seconds(start));
    for (const bool mine : {true, false}) {
      const std::string restored = folder.File(mine ? "ours.fdb" : "theirs.fdb");
      fs::remove(restored);
      const auto began = Clock::now();
      if (mine) {
        TStoringPane pane;
        TJobOutput output(&pane);
        TS3Target target = TargetOf(bucket);
        RestoreOffsiteCopy(target, "bench.fdb.gbk.zst", nullptr,
                           {OnServer(restored), TProtocol::TCP, "SYSDBA", fbtest::SysdbaPassword(), {}}, output);
      } else {
        Run(curl + url + " | zstd -q -dc | gbak -c -se " + manager + login + "stdin " + fbtest::ShellQuote(restored));
      }
      (mine ? oursRestore : theirsRestore).push_back(Seconds(began));
    }
  }
  const double o = Median(ours), t = Median(theirs), orr = Median(oursRestore), tr = Median(theirsRestore);
  std::printf("copy   : ours %7.2f s   gbak | zstd -3 > file; curl -T %7.2f s   ratio %.2f\n", o, t, o / t);
  std::printf("restore: ours %7.2f s   curl | zstd -dc | gbak -c stdin  %7.2f s   ratio %.2f\n", orr, tr, orr / tr);
  std::printf("peak resident memory of our copy: %ld MB\n", peakMb);
  for (const TS3ObjectInfo& object : client.ListObjects("")) client.DeleteObject(object.Key);
  client.DeleteBucket();
  return 0;
}
