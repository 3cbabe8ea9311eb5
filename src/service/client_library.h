#pragma once
// Run-time binding of the Firebird client library (libfbclient): loaded by
// name on first need, its entry points resolved by hand, never linked.

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

// The library's own type layout on Linux: ISC_STATUS is pointer-sized and a
// service handle is an unsigned int (FB_API_HANDLE of Firebird 3).
using ISC_STATUS = intptr_t;
using ISC_LONG = int32_t;
using isc_svc_handle = unsigned int;
using isc_resv_handle = ISC_LONG;
using isc_db_handle = unsigned int;
using isc_tr_handle = unsigned int;
using isc_stmt_handle = unsigned int;

// A statement's column as the library describes and fills it (XSQLVAR of
// ibase.h), and the block of columns (XSQLDA); their fields keep the
// library's names.
struct TSqlVar {
  short sqltype;
  short sqlscale;
  short sqlsubtype;
  short sqllen;
  char* sqldata;
  short* sqlind;
  short sqlname_length;
  char sqlname[32];
  short relname_length;
  char relname[32];
  short ownname_length;
  char ownname[32];
  short aliasname_length;
  char aliasname[32];
};
struct TSqlDa {
  short version;
  char sqldaid[8];
  ISC_LONG sqldabc;
  short sqln;
  short sqld;
  TSqlVar sqlvar[1];
};

constexpr int StatusVectorLength = 20;
using TStatusVector = ISC_STATUS[StatusVectorLength];

// Entry-point signatures (published argument order).
extern "C" {
using Tisc_service_attach = ISC_STATUS (*)(ISC_STATUS* status, unsigned short nameLength, const char* name,
                                           isc_svc_handle* handle, unsigned short spbLength, const char* spb);
using Tisc_service_detach = ISC_STATUS (*)(ISC_STATUS* status, isc_svc_handle* handle);
using Tisc_service_query = ISC_STATUS (*)(ISC_STATUS* status, isc_svc_handle* handle, isc_resv_handle* reserved,
                                          unsigned short sendLength, const char* sendItems,
                                          unsigned short requestLength, const char* requestItems,
                                          unsigned short bufferLength, char* buffer);
using Tisc_service_start = ISC_STATUS (*)(ISC_STATUS* status, isc_svc_handle* handle, isc_resv_handle* reserved,
                                          unsigned short spbLength, const char* spb);
using Tisc_sqlcode = ISC_LONG (*)(const ISC_STATUS* status);
using Tisc_interprete = ISC_LONG (*)(char* buffer, ISC_STATUS** cursor);
using Tisc_vax_integer = ISC_LONG (*)(const char* bytes, short length);
using Tisc_rollback_retaining = ISC_STATUS (*)(ISC_STATUS* status, void* transaction);
using Tisc_attach_database = ISC_STATUS (*)(ISC_STATUS* status, short nameLength, const char* name,
                                            isc_db_handle* handle, short dpbLength, const char* dpb);
using Tisc_drop_database = ISC_STATUS (*)(ISC_STATUS* status, isc_db_handle* handle);
using Tisc_detach_database = ISC_STATUS (*)(ISC_STATUS* status, isc_db_handle* handle);
using Tisc_start_multiple = ISC_STATUS (*)(ISC_STATUS* status, isc_tr_handle* transaction, short count, void* teb);
using Tisc_dsql_execute_immediate = ISC_STATUS (*)(ISC_STATUS* status, isc_db_handle* database,
                                                   isc_tr_handle* transaction, unsigned short length,
                                                   const char* statement, unsigned short dialect, const void* xsqlda);
using Tisc_end_transaction = ISC_STATUS (*)(ISC_STATUS* status, isc_tr_handle* transaction);
using Tisc_dsql_alloc_statement2 = ISC_STATUS (*)(ISC_STATUS* status, isc_db_handle* database,
                                                  isc_stmt_handle* statement);
using Tisc_dsql_prepare = ISC_STATUS (*)(ISC_STATUS* status, isc_tr_handle* transaction, isc_stmt_handle* statement,
                                         unsigned short length, const char* text, unsigned short dialect,
                                         TSqlDa* xsqlda);
using Tisc_dsql_execute = ISC_STATUS (*)(ISC_STATUS* status, isc_tr_handle* transaction, isc_stmt_handle* statement,
                                         unsigned short version, const TSqlDa* xsqlda);
using Tisc_dsql_fetch = ISC_STATUS (*)(ISC_STATUS* status, isc_stmt_handle* statement, unsigned short version,
                                       const TSqlDa* xsqlda);
using Tisc_dsql_free_statement = ISC_STATUS (*)(ISC_STATUS* status, isc_stmt_handle* statement, unsigned short option);
using TGenericEntry = void (*)();
}

// The bound entry points the service path calls. Every slot is filled after a
// successful binding (library function or stand-by routine), never null.
struct TClientEntryPoints {
  Tisc_sqlcode isc_sqlcode = nullptr;
  Tisc_interprete isc_interprete = nullptr;
  Tisc_vax_integer isc_vax_integer = nullptr;
  Tisc_rollback_retaining isc_rollback_retaining = nullptr;
  Tisc_service_attach isc_service_attach = nullptr;
  Tisc_service_detach isc_service_detach = nullptr;
  Tisc_service_query isc_service_query = nullptr;
  Tisc_service_start isc_service_start = nullptr;
  // Only for dropping a database the program created itself.
  Tisc_attach_database isc_attach_database = nullptr;
  Tisc_drop_database isc_drop_database = nullptr;
  Tisc_detach_database isc_detach_database = nullptr;
  // Only for a statement the administrator agreed to (ending a physical
  // backup mode that a crash left behind).
  Tisc_start_multiple isc_start_multiple = nullptr;
  Tisc_dsql_execute_immediate isc_dsql_execute_immediate = nullptr;
  Tisc_end_transaction isc_commit_transaction = nullptr;
  Tisc_end_transaction isc_rollback_transaction = nullptr;
  // Only for reading what a database says of its own physical backups
  // (RDB$BACKUP_HISTORY) before asking its server for one.
  Tisc_dsql_alloc_statement2 isc_dsql_alloc_statement2 = nullptr;
  Tisc_dsql_prepare isc_dsql_prepare = nullptr;
  Tisc_dsql_execute isc_dsql_execute = nullptr;
  Tisc_dsql_fetch isc_dsql_fetch = nullptr;
  Tisc_dsql_free_statement isc_dsql_free_statement = nullptr;
};

// Loads and binds the library unless already bound; true when bound. A
// missing entry point raises EOSError with the loader's text and leaves the
// library released, so the next call retries the whole binding.
bool LoadClientLibrary();
// LoadClientLibrary, raising client error 1 when the library cannot be loaded.
void RequireClientLibrary();
// The bound entry points; only valid after a successful LoadClientLibrary.
const TClientEntryPoints& ClientEntryPoints();
// 6 when the library offers the service entry points, 5 otherwise, 0 unbound.
int ClientGeneration();
// The bound library's own version text (for instance "LI-V6.3.11.33637
// Firebird 3.0"); empty while unbound or when the library does not tell.
std::string ClientLibraryVersion();
// The file names tried, in order ("libfbclient.so.2", "libfbclient.so").
const std::vector<std::string>& ClientLibraryCandidates();

// Keeps the objects the client library has loaded since it was bound (the
// embedded engine and its plug-ins) mapped through the process's exit. The
// embedded engine of Firebird 3 lets a thread of its own run on while the
// library unloads it at process exit; with its code gone, a process ending
// soon after a Local job would crash. They are marked only at exit, by a
// handler that runs before theirs: while the program runs, the library
// unloads an idle engine and loads it afresh at the next Local job, and an
// engine kept mapped over that would come back shut down ("connection
// shutdown" for every later Local job). Cheap; does nothing while unbound.
void KeepClientPluginsLoaded();

// The calling thread's status vector, zero-filled at its first use.
ISC_STATUS* ThreadStatusVector();
// Process-wide lock of the client layer.
std::mutex& ClientLibraryLock();

// Tests only: release any binding and try these files instead of the
// product's names at the next load (an empty list restores the product's).
void SetClientLibraryCandidates(std::vector<std::string> fileNames);
