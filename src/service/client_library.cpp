#include "service/client_library.h"

#include <array>
#include <cstdlib>
#include <memory>

#include "platform/character_type.h"
#include "platform/exception.h"
#include "platform/shared_library.h"
#include "service/ib_errors.h"

namespace {

const std::vector<std::string> ProductCandidates = {"libfbclient.so.2", "libfbclient.so"};

// Binding state, guarded by BindingMutex.
std::mutex BindingMutex;
// Never closed at process exit: the engine's own threads may still run code
// of the library while the process ends, and unloading it under them crashes
// the process. Only a test that switches libraries releases it.
TSharedLibrary* Library = nullptr;
TClientEntryPoints EntryPoints;
int Generation = 0;
std::vector<std::string> Candidates = ProductCandidates;
// The loader's load count when the exit handler was last registered.
unsigned long long KeptThroughExitAtLoad = 0;

// Entry points the library must offer (data-access ones included: a library
// without any of them is not a usable client library).
// clang-format off
constexpr std::array Required = {
    "BLOB_get", "BLOB_put", "isc_sqlcode", "isc_sql_interprete", "isc_interprete", "isc_vax_integer",
    "isc_blob_info", "isc_open_blob2", "isc_close_blob", "isc_get_segment", "isc_put_segment",
    "isc_create_blob2", "isc_decode_date", "isc_encode_date", "isc_dsql_free_statement", "isc_dsql_execute2",
    "isc_dsql_execute", "isc_dsql_set_cursor_name", "isc_dsql_fetch", "isc_dsql_sql_info",
    "isc_dsql_alloc_statement2", "isc_dsql_prepare", "isc_dsql_describe_bind", "isc_dsql_describe",
    "isc_dsql_execute_immediate", "isc_drop_database", "isc_detach_database", "isc_attach_database",
    "isc_database_info", "isc_start_multiple", "isc_commit_transaction", "isc_commit_retaining",
    "isc_rollback_transaction", "isc_cancel_events", "isc_que_events", "isc_event_counts", "isc_event_block",
    "isc_free"};

constexpr std::array Generation6 = {
    "isc_service_attach", "isc_service_detach", "isc_service_query", "isc_service_start",
    "isc_decode_sql_date", "isc_decode_sql_time", "isc_decode_timestamp", "isc_encode_sql_date",
    "isc_encode_sql_time", "isc_encode_timestamp"};
// clang-format on

// Stand-by routines of a generation-5 library.
ISC_STATUS StandbyAttach(ISC_STATUS*, unsigned short, const char*, isc_svc_handle*, unsigned short, const char*) {
  RaiseClientError(ibceIB60feature, "isc_service_attach");
}
ISC_STATUS StandbyDetach(ISC_STATUS*, isc_svc_handle*) { RaiseClientError(ibceIB60feature, "isc_service_detach"); }
ISC_STATUS StandbyQuery(ISC_STATUS*, isc_svc_handle*, isc_resv_handle*, unsigned short, const char*, unsigned short,
                        const char*, unsigned short, char*) {
  RaiseClientError(ibceIB60feature, "isc_service_query");
}
ISC_STATUS StandbyStart(ISC_STATUS*, isc_svc_handle*, isc_resv_handle*, unsigned short, const char*) {
  RaiseClientError(ibceIB60feature, "isc_service_start");
}
ISC_STATUS StandbyRollbackRetaining(ISC_STATUS*, void*) { RaiseClientError(ibceIB60feature, "isc_rollback_retaining"); }

void* Resolve(TSharedLibrary& lib, const char* name) {
  void* address = lib.Symbol(name);
  if (address == nullptr) {
    // No error number on Linux: the loader's own text is the whole story.
    throw EOSError(0, "System Error.\n" + lib.LastError());
  }
  return address;
}

// Binds `slot` to the entry point `name`, which must be there.
template <typename T>
void Bind(TSharedLibrary& lib, const char* name, T& slot) {
  slot = reinterpret_cast<T>(Resolve(lib, name));
}

// Loads the first candidate the system accepts; false when none.
bool LoadFirstCandidate(TSharedLibrary& lib) {
  for (const std::string& name : Candidates)
    if (lib.Load(name)) return true;
  return false;
}

// The entry points of the loaded library and its generation: 6 with the
// service entry points, 5 (stand-by routines in their slots) without them.
// The lists are checked in order, so a missing entry point is the first one
// the list lacks.
TClientEntryPoints BindEntryPoints(TSharedLibrary& lib, int& gen) {
  TClientEntryPoints bound;
  for (const char* name : Required) Resolve(lib, name);
  Bind(lib, "isc_sqlcode", bound.isc_sqlcode);
  Bind(lib, "isc_interprete", bound.isc_interprete);
  Bind(lib, "isc_vax_integer", bound.isc_vax_integer);
  Bind(lib, "isc_attach_database", bound.isc_attach_database);
  Bind(lib, "isc_drop_database", bound.isc_drop_database);
  Bind(lib, "isc_detach_database", bound.isc_detach_database);
  Bind(lib, "isc_start_multiple", bound.isc_start_multiple);
  Bind(lib, "isc_dsql_execute_immediate", bound.isc_dsql_execute_immediate);
  Bind(lib, "isc_commit_transaction", bound.isc_commit_transaction);
  Bind(lib, "isc_rollback_transaction", bound.isc_rollback_transaction);
  Bind(lib, "isc_dsql_alloc_statement2", bound.isc_dsql_alloc_statement2);
  Bind(lib, "isc_dsql_prepare", bound.isc_dsql_prepare);
  Bind(lib, "isc_dsql_execute", bound.isc_dsql_execute);
  Bind(lib, "isc_dsql_fetch", bound.isc_dsql_fetch);
  Bind(lib, "isc_dsql_free_statement", bound.isc_dsql_free_statement);
  if (lib.Symbol("isc_rollback_retaining") == nullptr) {
    gen = 5;
    bound.isc_rollback_retaining = StandbyRollbackRetaining;
    bound.isc_service_attach = StandbyAttach;
    bound.isc_service_detach = StandbyDetach;
    bound.isc_service_query = StandbyQuery;
    bound.isc_service_start = StandbyStart;
    return bound;
  }
  gen = 6;
  Bind(lib, "isc_rollback_retaining", bound.isc_rollback_retaining);
  for (const char* name : Generation6) Resolve(lib, name);
  Bind(lib, "isc_service_attach", bound.isc_service_attach);
  Bind(lib, "isc_service_detach", bound.isc_service_detach);
  Bind(lib, "isc_service_query", bound.isc_service_query);
  Bind(lib, "isc_service_start", bound.isc_service_start);
  return bound;
}

}  // namespace

bool LoadClientLibrary() {
  std::lock_guard<std::mutex> guard(BindingMutex);
  if (Library) return true;
  // Before the library's first use: it settles its name conversion then.
  UseUtf8CharacterType();
  auto lib = std::make_unique<TSharedLibrary>();
  if (!LoadFirstCandidate(*lib)) return false;
  // Bind into a local table first: a binding that stops half-way releases the
  // library (lib goes out of scope) and leaves the state unloaded, so the
  // next load retries from the start and no call can reach an empty slot.
  int gen = 0;
  const TClientEntryPoints bound = BindEntryPoints(*lib, gen);
  EntryPoints = bound;
  Generation = gen;
  Library = lib.release();
  return true;
}

void RequireClientLibrary() {
  if (LoadClientLibrary()) return;
  std::string names;
  {
    std::lock_guard<std::mutex> guard(BindingMutex);
    for (const std::string& name : Candidates) names += (names.empty() ? "" : " or ") + name;
  }
  RaiseClientError(ibceGDS32NotFound, names);
}

namespace {

void KeepClientPluginsThroughExit() {
  std::lock_guard<std::mutex> guard(BindingMutex);
  // Registered once per load: the first of them to run marks them all.
  static unsigned long long markedAtLoad = 0;
  const unsigned long long loads = TSharedLibrary::LoadCount();
  if (Library == nullptr || loads == markedAtLoad) return;
  markedAtLoad = loads;
  Library->KeepLaterLibrariesLoaded();
}

}  // namespace

void KeepClientPluginsLoaded() {
  std::lock_guard<std::mutex> guard(BindingMutex);
  if (Library == nullptr) return;
  // Exit handlers run in the reverse order of their registration: one
  // registered after the latest load runs before the handlers of every
  // object loaded so far, and so before the library's shutdown at exit.
  const unsigned long long loads = TSharedLibrary::LoadCount();
  if (loads == KeptThroughExitAtLoad) return;
  KeptThroughExitAtLoad = loads;
  std::atexit(KeepClientPluginsThroughExit);
}

const TClientEntryPoints& ClientEntryPoints() { return EntryPoints; }

int ClientGeneration() {
  std::lock_guard<std::mutex> guard(BindingMutex);
  return Generation;
}

std::string ClientLibraryVersion() {
  std::lock_guard<std::mutex> guard(BindingMutex);
  if (!Library) return {};
  using TGetVersion = void (*)(char* buffer);
  const auto getVersion = reinterpret_cast<TGetVersion>(Library->Symbol("isc_get_client_version"));
  if (getVersion == nullptr) return {};
  // The library writes a short line; the buffer is far larger than any.
  std::array<char, 512> buffer{};
  getVersion(buffer.data());
  buffer.back() = '\0';
  return buffer.data();
}

const std::vector<std::string>& ClientLibraryCandidates() { return Candidates; }

ISC_STATUS* ThreadStatusVector() {
  thread_local std::array<ISC_STATUS, StatusVectorLength> vector{};
  return vector.data();
}

std::mutex& ClientLibraryLock() {
  static std::mutex lock;
  return lock;
}

void SetClientLibraryCandidates(std::vector<std::string> fileNames) {
  std::lock_guard<std::mutex> guard(BindingMutex);
  delete Library;
  Library = nullptr;
  EntryPoints = TClientEntryPoints{};
  Generation = 0;
  Candidates = fileNames.empty() ? ProductCandidates : std::move(fileNames);
}
