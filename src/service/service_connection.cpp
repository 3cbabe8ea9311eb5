#include "service/service_connection.h"

#include <mutex>
#include <utility>

#include "platform/text.h"
#include "service/ib_errors.h"
#include "service/library_call.h"

namespace {

constexpr size_t MaxParamValue = 255;
constexpr size_t MaxShortLength = 65535;

std::mutex HooksMutex;
TLoginDialog InstalledLoginDialog;
std::function<void(const std::string&)> InstalledTraceHook;

struct TConnectionItem {
  const char* Name;
  uint8_t Tag;
  bool Accepted;
};

constexpr TConnectionItem ConnectionItems[] = {
    {"user_name", spb::user_name, true},
    {"sys_user_name", spb::sys_user_name, false},
    {"sys_user_name_enc", spb::sys_user_name_enc, false},
    {"password", spb::password, true},
    {"password_enc", spb::password_enc, false},
    {"command_line", spb::command_line, false},
    {"db_name", spb::dbname, false},
    {"verbose", spb::verbose, false},
    {"options", spb::options, false},
    {"connect_timeout", spb::connect_timeout, false},
    {"dummy_packet_interval", spb::dummy_packet_interval, false},
    {"sql_role_name", spb::sql_role_name, false},
};

// Value of the first line holding `key` at its first or ninth character
// (after an "isc_spb_" prefix); index of that line or -1.
int FindLoginLine(const TStringList& params, const std::string& key, std::string& value) {
  for (size_t i = 0; i < params.Count(); ++i) {
    const std::string lower = AsciiLower(params[i]);
    const size_t at = lower.find(key);
    if (at == 0 || at == 8) {
      const size_t eq = params[i].find('=');
      value = eq == std::string::npos ? std::string() : params[i].substr(eq + 1);
      return static_cast<int>(i);
    }
  }
  return -1;
}

}  // namespace

void SetLoginDialog(TLoginDialog dialog) {
  std::lock_guard<std::mutex> guard(HooksMutex);
  InstalledLoginDialog = std::move(dialog);
}

void SetServiceTraceHook(std::function<void(const std::string& line)> hook) {
  std::lock_guard<std::mutex> guard(HooksMutex);
  InstalledTraceHook = std::move(hook);
}

std::string ServiceManagerName(TProtocol protocol, const std::string& serverName) {
  switch (protocol) {
    case TProtocol::TCP: return serverName + ":service_mgr";
    case TProtocol::SPX: return serverName + "@service_mgr";
    case TProtocol::NamedPipe: return "\\\\" + serverName + "\\service_mgr";
    case TProtocol::Local: return "service_mgr";
  }
  return std::string();
}

// --- TIBCustomService -------------------------------------------------------

TIBCustomService::TIBCustomService() {
  RequireClientLibrary();
  FLibraryReady = true;
  FParams.OnChanging = [this] { RequireDetached(); };
  FParams.OnChange = [this] { FParamsChanged = true; };
}

TIBCustomService::~TIBCustomService() {
  if (!FLibraryReady) return;
  if (Active()) {
    try {
      Detach();
    } catch (...) {
      // A destructor cannot report; the handle is forgotten either way.
    }
  }
}

void TIBCustomService::SetActive(bool value) {
  if (value) {
    Attach();
  } else {
    Detach();
  }
}

void TIBCustomService::SetServerName(const std::string& value) {
  if (value == FServerName) return;
  RequireDetached();
  FServerName = value;
}

void TIBCustomService::SetProtocol(TProtocol value) {
  if (value == FProtocol) return;
  RequireDetached();
  FProtocol = value;
  if (value == TProtocol::Local) FServerName.clear();
}

void TIBCustomService::SetBufferSize(int32_t value) {
  if (value < 4 || value > static_cast<int32_t>(MaxShortLength)) {
    RaiseClientError(ibceBufferSizeOutOfRange, std::to_string(value));
  }
  FBufferSize = value;
}

void TIBCustomService::SetParams(const std::vector<std::string>& lines) { FParams.Assign(lines); }

void TIBCustomService::RequireAttached() const {
  if (FHandle == 0) RaiseClientError(ibceServiceActive);
}

void TIBCustomService::RequireDetached() const {
  if (FHandle != 0) RaiseClientError(ibceServiceInActive);
}

void TIBCustomService::RequireServerName() const {
  if (FServerName.empty() && FProtocol != TProtocol::Local) RaiseClientError(ibceServerNameMissing);
}

std::string TIBCustomService::BuildAttachBlock(const TStringList& params) {
  std::string block;
  block += static_cast<char>(spb::version);
  block += static_cast<char>(spb::current_version);
  for (const std::string& line : params.Lines()) {
    const size_t eq = line.find('=');
    // A line whose name is blank (or that has no "=") adds nothing.
    if (eq == std::string::npos || TrimControls(line.substr(0, eq)).empty()) continue;
    const std::string value = line.substr(eq + 1);
    std::string name = AsciiLower(line.substr(0, eq));
    if (StartsWith(name, "isc_spb_")) name.erase(0, 8);
    const TConnectionItem* item = nullptr;
    for (const TConnectionItem& candidate : ConnectionItems) {
      if (name == candidate.Name) item = &candidate;
    }
    if (item == nullptr) RaiseClientError(ibceSPBConstantUnknown);
    if (!item->Accepted) RaiseClientError(ibceSPBConstantNotSupported);
    // The length is one byte: a longer value cannot be sent intact.
    if (value.size() > MaxParamValue) RaiseClientError(ibceParamValueTooLong, item->Name, std::to_string(value.size()));
    block += static_cast<char>(item->Tag);
    block += static_cast<char>(value.size());
    block += value;
  }
  if (block.size() > MaxShortLength) {
    RaiseClientError(ibceStartBlockTooLong, "the attach block", std::to_string(block.size()));
  }
  return block;
}

bool TIBCustomService::RunLogin() {
  if (OnLogin) {
    TStringList copy(FParams);
    OnLogin(*this, copy);
    FParams.Assign(copy.Lines());
    return true;
  }
  TLoginDialog dialog;
  {
    std::lock_guard<std::mutex> guard(HooksMutex);
    dialog = InstalledLoginDialog;
  }
  if (!dialog) return false;
  std::string user;
  std::string password;
  const int userLine = FindLoginLine(FParams, "user_name", user);
  const int passwordLine = FindLoginLine(FParams, "password", password);
  if (!dialog(FServerName, user, password)) return false;
  if (userLine >= 0) {
    FParams.Put(static_cast<size_t>(userLine), "user_name=" + user);
  } else {
    FParams.Add("user_name=" + user);
  }
  if (passwordLine >= 0) {
    FParams.Put(static_cast<size_t>(passwordLine), "password=" + password);
  } else {
    FParams.Add("password=" + password);
  }
  return true;
}

void TIBCustomService::CallLibrary(const std::function<ISC_STATUS(ISC_STATUS* status)>& call, TOnFailure onFailure) {
  CallClientLibrary([&] {
    // The status vector and the raise belong to the thread that made the call.
    const ISC_STATUS status = call(ThreadStatusVector());
    if (CheckStatus(status, false) > 0) {
      if (onFailure == TOnFailure::Detach) DetachQuietly();
      FHandle = 0;
      RaiseStatusError();
    }
  });
}

void TIBCustomService::DetachQuietly() {
  if (FHandle == 0) return;
  // A status vector of its own: the error being reported is in the thread's
  // vector and must reach the caller unchanged. A connection that is gone
  // already makes the detach fail; the handle is released all the same.
  TStatusVector ignored{};
  ClientEntryPoints().isc_service_detach(ignored, &FHandle);
}

ISC_STATUS TIBCustomService::CheckStatus(ISC_STATUS status, bool raise) {
  if (raise && status > 0) RaiseStatusError();
  return status;
}

void TIBCustomService::Trace(const std::string& text) const {
  std::function<void(const std::string&)> hook;
  {
    std::lock_guard<std::mutex> guard(HooksMutex);
    hook = InstalledTraceHook;
  }
  if (hook) hook(Name + text);
}

void TIBCustomService::Attach() {
  RequireDetached();
  RequireServerName();
  if (LoginPrompt && !RunLogin()) RaiseClientError(ibceOperationCancelled);
  if (FParamsChanged) {
    // Cleared only once the block is built: a block that failed half-way is
    // rebuilt at the next attach, never sent stale.
    FAttachBlock.clear();
    FAttachBlock = BuildAttachBlock(FParams);
    FParamsChanged = false;
  }
  const std::string name = ServiceManagerName(FProtocol, FServerName);
  if (name.size() > MaxShortLength) {
    RaiseClientError(ibceStartBlockTooLong, "the service manager name", std::to_string(name.size()));
  }
  const TClientEntryPoints& api = ClientEntryPoints();
  CallLibrary([&](ISC_STATUS* status) {
    return api.isc_service_attach(status, static_cast<unsigned short>(name.size()), name.data(), &FHandle,
                                  static_cast<unsigned short>(FAttachBlock.size()), FAttachBlock.data());
  });
  // The attach is where the library loads the embedded engine.
  KeepClientPluginsLoaded();
  if (OnAttach) OnAttach(*this);
  Trace(": [Attach]");
}

void TIBCustomService::Detach() {
  RequireAttached();
  const TClientEntryPoints& api = ClientEntryPoints();
  CallLibrary([&](ISC_STATUS* status) { return api.isc_service_detach(status, &FHandle); });
  FHandle = 0;
  // The job may have loaded more (character sets) since the attach.
  KeepClientPluginsLoaded();
  Trace(": [Detach]");
}

void TIBCustomService::SendBlock(std::string& request, std::string& copy, const char* name,
                                 const std::function<void()>& send) {
  // Both are emptied whatever happens: a block is never sent twice.
  struct TCleanup {
    std::string& Request;
    std::string& Copy;
    ~TCleanup() {
      Copy.clear();
      Request.clear();
    }
  } cleanup{request, copy};
  if (request.size() > MaxShortLength) {
    RaiseClientError(ibceStartBlockTooLong, name, std::to_string(request.size()));
  }
  copy = request;
  send();
}

void TIBCustomService::SendQuery() {
  if (QueryRequest.empty()) RaiseClientError(ibceQueryParamsError);
  // Send items go with this query only, whatever happens to it.
  std::string sendItems = std::move(QuerySendItems);
  QuerySendItems.clear();
  SendBlock(QueryRequest, FQueryRequestCopy, "the query request", [&] {
    SendBlock(sendItems, FQuerySendCopy, "the query send items", [this] {
      // The length handed to the library is always the buffer's own size, so
      // a changed BufferSize can never let the library write past the buffer.
      if (FOutputBuffer.size() != static_cast<size_t>(FBufferSize)) FOutputBuffer.assign(FBufferSize, 0);
      const TClientEntryPoints& api = ClientEntryPoints();
      const char* send = FQuerySendCopy.empty() ? nullptr : FQuerySendCopy.data();
      CallLibrary(
          [&](ISC_STATUS* status) {
            return api.isc_service_query(status, &FHandle, nullptr, static_cast<unsigned short>(FQuerySendCopy.size()),
                                         send, static_cast<unsigned short>(FQueryRequestCopy.size()),
                                         FQueryRequestCopy.data(), static_cast<unsigned short>(FOutputBuffer.size()),
                                         FOutputBuffer.data());
          },
          TOnFailure::Detach);
    });
  });
  Trace(": [Query]");
}

// --- TIBControlService ------------------------------------------------------

void TIBControlService::AddStartText(const std::string& text, uint8_t tag) {
  if (text.empty()) return;
  if (text.size() > MaxShortLength) {
    RaiseClientError(ibceStartTextTooLong, "item " + std::to_string(tag), std::to_string(text.size()));
  }
  StartRequest += static_cast<char>(tag);
  StartRequest += static_cast<char>(text.size() & 0xFF);
  StartRequest += static_cast<char>((text.size() >> 8) & 0xFF);
  StartRequest += text;
}

void TIBControlService::AddStartNumber(int32_t value, uint8_t tag) {
  const auto bits = static_cast<uint32_t>(value);
  StartRequest += static_cast<char>(tag);
  for (int shift = 0; shift < 32; shift += 8) StartRequest += static_cast<char>((bits >> shift) & 0xFF);
}

void TIBControlService::SendStart() {
  if (StartRequest.empty()) RaiseClientError(ibceStartParamsError);
  SendBlock(StartRequest, FStartRequestCopy, "the start request", [this] {
    const TClientEntryPoints& api = ClientEntryPoints();
    CallLibrary(
        [&](ISC_STATUS* status) {
          return api.isc_service_start(status, &FHandle, nullptr, static_cast<unsigned short>(FStartRequestCopy.size()),
                                       FStartRequestCopy.data());
        },
        TOnFailure::Detach);
  });
  Trace(": [Start]");
}

void TIBControlService::ServiceStart() {
  RequireAttached();
  try {
    BuildStartRequest();
  } catch (...) {
    // A block left half-built must never be sent by a later SendStart.
    StartRequest.clear();
    throw;
  }
  SendStart();
}
