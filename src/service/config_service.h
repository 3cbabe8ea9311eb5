#pragma once
// Database property requests: shutdown and return on line.

#include <cstdint>
#include <string>

#include "service/service_connection.h"

enum class ShutdownMode : uint8_t { ShutdownForced = 0, ShutdownNoTransactions = 1, ShutdownNoAttachments = 2 };

namespace spb {
constexpr uint8_t action_svc_properties = 8;
constexpr uint8_t prp_shutdown_db = 7;
constexpr uint8_t prp_deny_new_attachments = 9;
constexpr uint8_t prp_deny_new_transactions = 10;
constexpr int32_t prp_db_online = 0x0200;
}  // namespace spb

class TIBConfigService : public TIBControlService {
 public:
  std::string DatabaseName;

  // Builds the block and sends it; the caller attaches first.
  void RequestShutdown(ShutdownMode mode, int32_t waitSeconds);
  void RequestOnline();
  // Always client error 96: use the specific requests.
  void ServiceStart() override;
};
