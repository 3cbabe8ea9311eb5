#include "service/config_service.h"

#include "service/ib_errors.h"

void TIBConfigService::RequestShutdown(ShutdownMode mode, int32_t waitSeconds) {
  StartRequest = std::string(1, static_cast<char>(spb::action_svc_properties));
  AddStartText(DatabaseName, spb::dbname);
  uint8_t tag = spb::prp_deny_new_attachments;
  if (mode == ShutdownMode::ShutdownForced) tag = spb::prp_shutdown_db;
  if (mode == ShutdownMode::ShutdownNoTransactions) tag = spb::prp_deny_new_transactions;
  AddStartNumber(waitSeconds, tag);
  SendStart();
}

void TIBConfigService::RequestOnline() {
  StartRequest = std::string(1, static_cast<char>(spb::action_svc_properties));
  AddStartText(DatabaseName, spb::dbname);
  AddStartNumber(spb::prp_db_online, spb::options);
  SendStart();
}

void TIBConfigService::ServiceStart() { RaiseClientError(ibceUseSpecificProcedures); }
