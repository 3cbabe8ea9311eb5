#include "controller/jobs/frame/job_frame.h"

#include "controller/log/operation_log.h"
#include "platform/clock.h"

TJobFrame::~TJobFrame() {
  // The progress first (the display hears the job end), then the files the
  // job recreates (a file whose Finish was not reached is put back while the
  // record file still tells where it is), then the record file.
  FCurrent.reset();
  FPhasesScope.reset();
  FProgress.reset();
  while (!FReplaced.empty()) FReplaced.pop_back();
  FRecordFile.reset();
  FRecorder.reset();
}

TJobRecorder& TJobFrame::Begin(const TJobFacts& facts) {
  return FRecorder.emplace(FJobs.FPlaces.HistoryPath, FOutput, facts.Kind, ByOf(facts.By), facts.Database, facts.File,
                           facts.GrownFile, facts.Copy);
}

TJobRecordFile& TJobFrame::Keep(TJobRecord record) {
  return FRecordFile.emplace(FJobs.FPlaces.JobRecordPath, std::move(record));
}

TReplacedFile& TJobFrame::Replace(std::string path) {
  return FReplaced.emplace_back(std::move(path), FOutput, FRecordFile ? &*FRecordFile : nullptr);
}

TPhasedProgress& TJobFrame::Follow(const std::vector<TJobPhase>& phases) {
  FProgress.emplace(Now(), phases, PhaseWeights(phases, FRecorder->Baseline(), FRecorder->History()));
  FPhasesScope.emplace(FJobs, *FProgress);
  FCurrent.emplace(FJobs, *FRecorder);
  return *FProgress;
}

void TJobFrame::Watch(TJobRunner& job, std::vector<std::string>* keep) { FJobs.WatchJob(*FRecorder, job, keep); }

bool TJobFrame::Run(const std::function<bool()>& steps, const char* failureText, TErrorOrder order) {
  return RunReported(FOutput, steps, failureText, order);
}

void TJobFrame::LogOutcome(bool succeeded, const std::string& done, const std::string& notDone,
                           const std::string& file) {
  LogJobOutcome(FJobs.FLog, succeeded, done.c_str(), notDone.c_str(), file);
}

void TJobFrame::Finish(bool succeeded, const std::string& reason) {
  // A phase the job does not have has no seconds.
  FRecorder->SetPhaseSeconds(FProgress->SecondsIn(TJobPhase::Copy, Now()),
                             FProgress->SecondsIn(TJobPhase::Verify, Now()));
  if (!reason.empty()) FJobs.FLog.Stamped(" Причина: " + reason);
  FJobs.FinishRecord(*FRecorder, succeeded, succeeded ? std::string() : reason);
}
