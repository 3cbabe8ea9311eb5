#pragma once
// One connection to a server's service manager: attach/detach, output
// queries (TIBCustomService) and start requests (TIBControlService).

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "service/client_library.h"
#include "service/protocol.h"
#include "service/string_list.h"

// Published service parameter tags of the connection item table.
namespace spb {
constexpr uint8_t version = 2;
constexpr uint8_t current_version = 2;
constexpr uint8_t user_name = 28;
constexpr uint8_t sys_user_name = 19;
constexpr uint8_t sys_user_name_enc = 31;
constexpr uint8_t password = 29;
constexpr uint8_t password_enc = 30;
constexpr uint8_t command_line = 105;
constexpr uint8_t dbname = 106;
constexpr uint8_t verbose = 107;
constexpr uint8_t options = 108;
constexpr uint8_t connect_timeout = 57;
constexpr uint8_t dummy_packet_interval = 58;
constexpr uint8_t sql_role_name = 60;
}  // namespace spb

class TIBCustomService;
using TLoginEvent = std::function<void(TIBCustomService& service, TStringList& loginParams)>;
using TNotifyEvent = std::function<void(TIBCustomService& service)>;

// The standard login dialog (caption "Database Login"): fills user and
// password, returns false when cancelled. The default refuses; the program
// never enables LoginPrompt.
using TLoginDialog = std::function<bool(const std::string& serverName, std::string& userName, std::string& password)>;
void SetLoginDialog(TLoginDialog dialog);

// Trace hook: receives the component name followed by ": [Attach]" etc.
// Default does nothing.
void SetServiceTraceHook(std::function<void(const std::string& line)> hook);

// Service-manager name for a protocol ("" for a value outside the four).
std::string ServiceManagerName(TProtocol protocol, const std::string& serverName);

class TIBCustomService {
 public:
  TIBCustomService();  // RequireClientLibrary first: client error 1 without it
  virtual ~TIBCustomService();
  TIBCustomService(const TIBCustomService&) = delete;
  TIBCustomService& operator=(const TIBCustomService&) = delete;

  // Component name, used by the trace hook.
  std::string Name;
  bool LoginPrompt = true;
  TLoginEvent OnLogin;
  TNotifyEvent OnAttach;
  // Request bytes of the next SendQuery.
  std::string QueryRequest;
  // Send items of the next SendQuery (data the server asked for); empty
  // sends no send block at all, as every line query does.
  std::string QuerySendItems;

  bool Active() const { return FHandle != 0; }
  void SetActive(bool value);  // true: Attach, false: Detach (no comparison)

  const std::string& ServerName() const { return FServerName; }
  void SetServerName(const std::string& value);
  TProtocol Protocol() const { return FProtocol; }
  void SetProtocol(TProtocol value);
  TStringList& Params() { return FParams; }
  const TStringList& Params() const { return FParams; }
  void SetParams(const std::vector<std::string>& lines);
  int32_t BufferSize() const { return FBufferSize; }

  void Attach();
  void Detach();
  void RequireAttached() const;
  void RequireDetached() const;
  void RequireServerName() const;

  // The attach block for the lines (2, 2, then tag/length/value items).
  static std::string BuildAttachBlock(const TStringList& params);

  // Sends QueryRequest; the answer is left in the result buffer.
  void SendQuery();
  // The result buffer (BufferSize bytes once a query was sent, else empty).
  const std::vector<char>& OutputBuffer() const { return FOutputBuffer; }
  std::vector<char>& OutputBuffer() { return FOutputBuffer; }

  // Returns status; with raise set and status > 0, RaiseStatusError.
  static ISC_STATUS CheckStatus(ISC_STATUS status, bool raise);

  // The service handle (0 while detached); exposed for tests.
  isc_svc_handle Handle() const { return FHandle; }
  const std::string& AttachBlock() const { return FAttachBlock; }

 protected:
  // What a failed call does with the connection before the handle is
  // forgotten. A failed query or start leaves the server's side of the
  // connection open: it is detached, or every failed job would leave one
  // more connection behind on the server.
  enum class TOnFailure { Forget, Detach };
  // The blocking library call `call` through the seam, with the check-after-call
  // rule: on status > 0 (detach quietly when asked,) forget the handle, then
  // RaiseStatusError.
  void CallLibrary(const std::function<ISC_STATUS(ISC_STATUS* status)>& call,
                   TOnFailure onFailure = TOnFailure::Forget);
  // isc_service_detach with its own status vector, its error ignored.
  void DetachQuietly();
  void Trace(const std::string& text) const;
  // Sends `request` through `send`, which hands `copy` (a copy of it) to the
  // library; both are emptied afterwards, whatever happens. A block over
  // 65535 bytes (`name` says which) is refused before anything is sent.
  void SendBlock(std::string& request, std::string& copy, const char* name, const std::function<void()>& send);
  // The library takes the length as 16 bits, and an answer needs at least
  // 4 bytes: values outside 4..65535 raise a client error.
  void SetBufferSize(int32_t value);

  bool FLibraryReady = false;
  bool FParamsChanged = true;
  std::string FAttachBlock;
  std::string FQueryRequestCopy;
  std::string FQuerySendCopy;
  int32_t FBufferSize = 32000;
  std::vector<char> FOutputBuffer;
  std::string FServerName;
  isc_svc_handle FHandle = 0;
  TProtocol FProtocol = TProtocol::TCP;
  TStringList FParams;

 private:
  bool RunLogin();
};

class TIBControlService : public TIBCustomService {
 public:
  // The start block being built: action byte then items; emptied after a send.
  std::string StartRequest;

  // Text item: tag, 16-bit LE length, bytes (empty text adds nothing; over
  // 65535 bytes raises a client error, nothing appended).
  void AddStartText(const std::string& text, uint8_t tag);
  // Number item: tag, 32-bit LE value.
  void AddStartNumber(int32_t value, uint8_t tag);
  void SendStart();

  virtual void BuildStartRequest() {}
  virtual void ServiceStart();

 protected:
  std::string FStartRequestCopy;
};
