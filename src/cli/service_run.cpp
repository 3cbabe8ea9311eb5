#include "cli/service_run.h"

#include <algorithm>

#include "cli/commands.h"
#include "controller/status_texts.h"
#include "jobs/job_kind.h"

namespace {

using TClock = std::chrono::steady_clock;

void RefuseJobOptions(const TCliOptions& options) {
  if (options.Protocol || options.CopyDir || options.CopyOnly || options.Verify || options.Replace)
    throw EUsage(
        "run takes its job options from the settings file; --protocol, --copy-*, --verify and "
        "--replace are for backup and restore");
}

}  // namespace

bool MayFinishAfterStop(std::optional<TJobKind> kind, const std::optional<TJobProgress>& progress) {
  return kind == TJobKind::Backup && progress && progress->Estimated && progress->SecondsLeft <= NearlyDoneSeconds;
}

TServiceRun::TServiceRun(const TCliOptions& options, const TConsole& console)
    : FCli(options, console, true), FQ(FCli.Core()), FStatus(FQ), FNextTick(TClock::now()) {
  FCli.ApplyLogin(options);
  if (!options.MetricsDir.empty()) {
    FMetrics.emplace(PathArgument(options.MetricsDir));
    FQ.OnJobEnded = [this] { FMetricsDue = true; };
  }
  FPump.OnSignals = [this](int) { OnSignals(); };
  FPump.OnTurn = [this] { OnTurn(); };
  FCli.SetWhileWaiting([this] { FPump.Turn(); });
}

void TServiceRun::SayStarted() {
  const TConsole& console = FCli.Console();
  console.Info("running the plan of " + FCli.SettingsFile());
  const std::vector<TPlanEntry> entries = FQ.PlanEntries();
  if (std::all_of(entries.begin(), entries.end(), [](const TPlanEntry& entry) { return entry.DataBase.empty(); })) {
    console.Warning("the plan has no databases: it makes no backups (set it up with quorvinctl plan add)");
    return;
  }
  // A plan that makes no backup is no healthy service either.
  const std::string next = StatusLinesOf(FQ, false).NextPlanBackup;
  if (FQ.NextPlanBackups().empty())
    console.Warning(next);
  else
    console.Info(next);
}

int TServiceRun::Run() {
  FCli.RequireReadSettings();
  if (!FCli.SettingsExist()) {
    FCli.Console().Error("no settings file " + FCli.SettingsFile() +
                         ": set the plan up with quorvinctl plan add, or name the file with --config");
    return 1;
  }
  // What a job cut short by a crash or a kill left is finished first.
  if (FQ.FinishInterruptedJob()) FCli.Console().Warning("an interrupted job was finished (see the operation log)");
  if (!FQ.Execute()) {
    FCli.Console().Error("the plan of " + FCli.SettingsFile() + " is run by " + FQ.PlanRunElsewhere());
    return 1;
  }
  SayStarted();
  UpdateMetrics();
  // The jobs run on the core's own thread; this one ticks the plan, reads
  // the signals and shows what the jobs post, until it is stopped and the
  // job under way has ended.
  while (!FStopping || FQ.JobRunning()) {
    const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(FNextTick - TClock::now()).count();
    FPump.Wait(static_cast<int>(std::clamp<long long>(wait, 0, PlanTimerInterval)), FQ.PostedFd());
    if (!FStopping) TickWhenDue();
  }
  FQ.RunPosted();
  FStatus.Remove();
  FMetricsDue = true;
  UpdateMetrics();
  FCli.Console().Info("stopped");
  return 0;
}

void TServiceRun::TickWhenDue() {
  if (TClock::now() < FNextTick) return;
  FNextTick = TClock::now() + std::chrono::milliseconds(PlanTimerInterval);
  if (FQ.Timer().Enabled()) FQ.Timer().Tick();
  FStatus.Update();
  UpdateMetrics();
}

void TServiceRun::UpdateMetrics() {
  if (!FMetrics || !FMetricsDue.exchange(false)) return;
  const std::string fault = FMetrics->Update(FQ, FQ.Plan().Running());
  if (!fault.empty() && fault != FMetricsFault) FCli.Console().Warning(fault);
  FMetricsFault = fault;
  // Written again at the next tick.
  if (!fault.empty()) FMetricsDue = true;
}

void TServiceRun::OnTurn() {
  FQ.RunPosted();
  if (FGraceEnds && TClock::now() >= *FGraceEnds) {
    FGraceEnds.reset();
    StopTheJob();
  }
}

void TServiceRun::StopTheJob() {
  if (FCli.Stop().Requested()) return;
  FCli.Stop().Request();
  if (FQ.Queue().Busy())
    FCli.Console().Warning("the running job is stopped: it ends as a failed one, its database and files put back");
}

void TServiceRun::OnSignals() {
  if (FStopping) {
    // Again: no more waiting for a nearly finished backup; the clean-up of
    // the job still runs to its end.
    FGraceEnds.reset();
    FCli.Console().Warning("already stopping; the job's clean-up runs to its end");
    StopTheJob();
    return;
  }
  FStopping = true;
  FCli.Console().Info("stopping: no new job starts");
  // The plan's waiting backups are dropped, each with a line in the log.
  FQ.Stop();
  FStatus.Update();
  if (!FQ.Queue().Busy()) return;
  const std::optional<TJobProgress> progress = FQ.Jobs().JobProgress();
  if (MayFinishAfterStop(FQ.Jobs().RunningJob().Kind, progress)) {
    FGraceEnds = TClock::now() + NearlyDoneGrace;
    FCli.Console().Info("the running backup is nearly done (" + ProgressText(*progress, TLanguage::English) +
                        "): it may finish within " + std::to_string(NearlyDoneGrace.count()) + " s");
    return;
  }
  StopTheJob();
}

int ServiceCommand(const TCliOptions& options, const TConsole& console, bool& jobStopped) {
  RefuseJobOptions(options);
  TServiceRun run(options, console);
  const int status = run.Run();
  jobStopped = run.JobStopped();
  return status;
}
