// The jobs' part of chains of physical backups: a restore's check of the
// chain before anything is touched, the verification of a new backup by a
// test restore of its chain, and the plan's retention of whole chains.

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>

#include "controller/history/job_recorder.h"
#include "controller/jobs/database_jobs.h"
#include "controller/jobs/incremental/chain.h"
#include "controller/jobs/incremental/chain_retention.h"
#include "controller/jobs/job_fill.h"
#include "controller/jobs/job_scope.h"
#include "controller/jobs/test_restore_target.h"
#include "controller/log/operation_log.h"
#include "jobs/job_runner.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/mount_table.h"
#include "platform/text.h"
#include "runner/job_output.h"
#include "runner/job_paths.h"
#include "runner/job_requests.h"
#include "runner/log_pane.h"
#include "service/nbackup_services.h"

namespace {

// The user tables and their rows, from the lines of "gstat -d -r": a table's
// line "NAME (id)" at the start of a line, its rows in "total records: N".
struct TRowCounts {
  std::size_t Tables = 0;
  std::uint64_t Rows = 0;
};

void CountStatsLine(const std::string& line, TRowCounts& counts) {
  const std::string text = TrimRight(line, " \t\r\n");
  if (!text.empty() && text[0] != ' ' && text[0] != '\t' && text.back() == ')') {
    const std::size_t open = text.rfind(" (");
    const std::string id = open == std::string::npos ? std::string() : text.substr(open + 2, text.size() - open - 3);
    if (!id.empty() && id.find_first_not_of("0123456789") == std::string::npos) ++counts.Tables;
  }
  const std::string total = "total records: ";
  const std::size_t at = text.find(total);
  if (at != std::string::npos) counts.Rows += std::strtoull(text.c_str() + at + total.size(), nullptr, 10);
}

// The row counts of the restored database through its server.
TRowCounts RowCountsOf(const TDatabaseOptions& db, const std::string& database) {
  const TServerPath path = ServerPathOf(database, LocalComputerName(), ReadMountTable());
  TIBHeaderStatsService stats;
  PrepareRequest(stats, path.ServerName.empty() ? LocalComputerName() : path.ServerName, JobProtocolOf(db.Protocol),
                 db.User, db.Pass);
  stats.DatabaseName = path.LocalPath;
  stats.Options = spb::sts_data_pages | spb::sts_record_versions;
  stats.SetActive(true);
  stats.ServiceStart();
  TRowCounts counts;
  while (!stats.OutputEnded()) CountStatsLine(stats.NextOutputLine(), counts);
  ReleaseRequest(stats);
  return counts;
}

// The chain of files as the verification's pane shows it.
std::string FileList(const std::vector<std::string>& files) {
  std::string list;
  for (const std::string& file : files) list += (list.empty() ? "" : ", ") + LastPathComponent(file);
  return list;
}

}  // namespace

bool TDatabaseJobs::ChainFit(TJobRecorder& recorder, const std::string& source, const std::string& target,
                             TJobOutput& output, std::vector<std::string>& chain) {
  const TChain found = FindChain(source, recorder.History());
  const std::size_t n = found.Links.size();
  if (n > 0)
    recorder.SetLevel(found.Links.back().Level, found.Links.front().File, n > 1 ? found.Links[n - 2].File : "");
  std::string refusal = found.Refusal;
  if (refusal.empty()) refusal = ChangedLinkRefusal(found.Links);
  if (!refusal.empty()) {
    RefuseRestore(recorder, target, output, refusal);
    return false;
  }
  recorder.SetFileFacts(FileFactsOf(source));
  chain.clear();
  for (const TChainLink& link : found.Links) chain.push_back(link.File);
  return true;
}

bool TDatabaseJobs::VerifyChain(const TDatabaseOptions& db, const std::vector<std::string>& chain,
                                const TVerifyContext& context, int level, std::string& reason) {
  EnterPhase(TJobPhase::Verify);
  TJobOutput& output = context.Output;
  const std::string& source = chain.back();
  TJobRecorder recorder(FPlaces.HistoryPath, output, HistoryKindVerify, context.By, db.DataBase, source);
  recorder.SetLevel(level, chain.front(), chain.size() > 1 ? chain[chain.size() - 2] : std::string());
  TCurrentJob current(*this, recorder);
  std::string failure;
  try {
    TTestRestoreTarget target(source, db, context);
    if (target.Name().empty()) {
      failure = "no name for the temporary database beside " + source;
    } else {
      output.AddPaneLine("Test restore of the chain " + FileList(chain) + " into: " + target.Name());
      TJobRunner job(target.Restore(TJobKind::PhysicalRestore, source, chain));
      target.Follow(job);
      WatchJob(recorder, job);
      failure = RunJobOf(job) ? CheckRestoredChain(db, target.Name(), output)
                              : "the test restore failed" +
                                    (recorder.ReportedError().empty() ? "" : ": " + recorder.ReportedError());
    }
    if (!target.Remove()) {
      FLog.Stamped(" Не удалось удалить временную базу данных проверки. " + target.Name());
      recorder.SetLeftover(target.Name());
    }
  } catch (const std::exception& error) {
    failure = error.what();
  }
  return ReportVerification(recorder, source, output, failure, reason);
}

std::string TDatabaseJobs::CheckRestoredChain(const TDatabaseOptions& db, const std::string& database,
                                              TJobOutput& output) {
  // The server's validation of every page and record: a word from it is an
  // error it found.
  TJob check = DescribeJob(db, TJobKind::Repair, VerifyJobName);
  check.RepairOptions = {TValidateOption::ValidateDB, TValidateOption::ValidateFull};
  check.Database.Set(database);
  check.StopDatabase = false;
  check.KeepPane = true;
  TJobRunner job(check);
  job.Output = &output;
  std::string found;
  job.OnOutputLine = [&](const std::string& line) {
    if (found.empty() && !Trim(line, " \t\r\n").empty()) found = Trim(line, " \t\r\n");
  };
  if (!RunJobOf(job)) return "the server's validation of the restored database failed";
  if (!found.empty()) return "the server's validation reported: " + found;
  try {
    const TRowCounts counts = RowCountsOf(db, database);
    output.AddPaneLine("The restored database answers: " + std::to_string(counts.Tables) + " user tables, " +
                       std::to_string(counts.Rows) + " rows");
  } catch (const std::exception& error) {
    return std::string("the restored database gave no row counts: ") + error.what();
  }
  return {};
}

bool TDatabaseJobs::ReportVerification(TJobRecorder& recorder, const std::string& source, TJobOutput& output,
                                       const std::string& failure, std::string& reason) {
  const bool passed = failure.empty();
  if (passed) {
    output.AddPaneLine("**** VERIFICATION PASSED ****");
    FLog.Stamped(" Резервная копия проверена восстановлением. " + source);
  } else {
    reason = "Verification by test restore failed: " + failure;
    output.AddPaneLine("ERROR: " + reason);
    FLog.Stamped(" Проверка резервной копии восстановлением не пройдена. " + source + " (" + reason + ")");
  }
  output.AddPaneLine("");
  FinishRecord(recorder, passed, reason);
  return passed;
}

void TDatabaseJobs::ApplyChainRetention(const TDatabaseOptions& db, const TBackupOutcome& made) {
  const TRetentionRule rule{db.KeepLastBackups, db.KeepBackupDays};
  if (!rule.Active()) return;
  const std::string folder = made.Name.BackDir;
  if (folder.empty() || !FilesInFolder(folder)) {
    FLog.Stamped(" Папка резервных копий недоступна, старые копии не удалены. " + folder);
    return;
  }
  // The database's physical backups as the history knows them, each file
  // once (its latest record), dated by its start.
  std::map<std::string, TChainFile> known;
  for (const THistoryRecord& record : ReadHistory(FPlaces.HistoryPath)) {
    if (record.Kind != HistoryKindNBackup || !record.Succeeded() || !record.Level || record.Chain.empty() ||
        record.Database != db.DataBase)
      continue;
    const auto start = record.StartSeconds();
    if (!start) continue;
    known[record.File] = {record.File, *record.Level, record.Chain, LocalDateTimeOf(*start * 1000),
                          record.By == HistoryByPlan};
  }
  std::vector<TChainFile> files;
  for (const auto& [file, chainFile] : known)
    if (FileExists(file)) files.push_back(chainFile);
  for (const std::string& path : ChainFilesToRemove(files, rule, Now(), made.Chain)) {
    if (!DeleteFile(path)) {
      FLog.Stamped(" Не удалось удалить старую резервную копию. " + path + " (" + std::strerror(errno) + ")");
      // The files below it stay: a kept file never loses its base.
      break;
    }
    FLog.Stamped(" Удалена старая резервная копия. " + path);
  }
}
