#include "controller/jobs/offsite/plan_offsite.h"

#include <filesystem>
#include <memory>
#include <optional>

#include "controller/history/job_history.h"
#include "controller/jobs/offsite/offsite_place.h"
#include "controller/jobs/offsite/offsite_retention.h"
#include "controller/jobs/offsite/offsite_send.h"
#include "controller/log/operation_log.h"
#include "platform/clock.h"

namespace {

// The store reached, the key read and the lock chosen, before the server
// does any work; raises naming what is wrong.
struct TPlanStore {
  std::unique_ptr<TS3Target> Target;
  std::optional<TCryptKey> Key;
};

TPlanStore PlanStoreOf(const TDatabaseOptions& db) {
  TPlanStore store{OffsiteTargetOf(db.Offsite), OffsiteKeyOf(db.Offsite)};
  const std::optional<TS3ObjectLock> lock = PlanCopyLock(db, UtcMsOf(Now()) / 1000);
  if (lock && store.Target->Client().ObjectLockEnabled()) store.Target->SetLock(lock);
  return store;
}

}  // namespace

TJobReport MakePlanOffsiteCopy(const TDatabaseOptions& db, const TBackupOutcome& made, const std::string& historyPath,
                               TOperationLog& log, TJobOutput& output) {
  const TOffsiteAccount account{HistoryByPlan, historyPath, log};
  TOffsiteSent sent;
  std::optional<TPlanStore> store;
  try {
    store.emplace(PlanStoreOf(db));
  } catch (const std::exception& error) {
    sent = OffsiteNotStarted(account, db.DataBase, db.Offsite.Url, error.what());
  }
  if (store) {
    sent = SendOffsiteCopy(*store->Target, store->Key ? &*store->Key : nullptr, account, db, made, output);
    if (sent.Made) RemoveOldOffsiteCopies(*store->Target, {db, made.Name.BackBaseName, sent.Name}, historyPath, log);
  }
  TJobReport report;
  report.What = TJobReport::TWhat::OffsiteCopy;
  report.Succeeded = sent.Made;
  report.Ended = Now();
  report.Database = db.DataBase;
  report.Target = sent.Location;
  report.Reason = sent.Reason;
  return report;
}
