#include "service/database_drop.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "service/client_library.h"
#include "service/ib_errors.h"
#include "service/library_call.h"

namespace {

// Published database parameter tags.
namespace dpb {
constexpr std::uint8_t version1 = 1;
constexpr std::uint8_t user_name = 28;
constexpr std::uint8_t password = 29;
}  // namespace dpb

constexpr std::size_t MaxItemBytes = 255;
constexpr std::size_t MaxNameBytes = 32767;
constexpr std::size_t MaxStatementBytes = 65535;

// The library's numbers for a query's columns and statements.
constexpr short SqlVaryingNullable = 448 + 1;
constexpr unsigned short SqlDaVersion1 = 1;
constexpr unsigned short SqlDialect3 = 3;
constexpr unsigned short FreeStatementDrop = 2;
constexpr ISC_STATUS NoMoreRows = 100;
constexpr short MaxQueryColumns = 8;
constexpr short QueryColumnBytes = 1024;

void AddItem(std::string& block, std::uint8_t tag, const char* what, const std::string& value) {
  if (value.size() > MaxItemBytes) RaiseClientError(ibceParamValueTooLong, what, std::to_string(value.size()));
  block += static_cast<char>(tag);
  block += static_cast<char>(value.size());
  block += value;
}

// Runs one library call; raises on an error
// status.
template <typename TCall>
void Call(TCall call) {
  CallClientLibrary([&] {
    ISC_STATUS* status = ThreadStatusVector();
    if (call(status) != 0 && status[0] == 1 && status[1] != 0) RaiseStatusError();
  });
}

}  // namespace

std::string DatabaseConnectString(TProtocol protocol, const std::string& serverName, const std::string& localPath) {
  switch (protocol) {
    case TProtocol::TCP: return serverName + ":" + localPath;
    case TProtocol::SPX: return serverName + "@" + localPath;
    case TProtocol::NamedPipe: return "\\\\" + serverName + "\\" + localPath;
    default: return localPath;
  }
}

namespace {

// Attaches to the database through its server; raises as the library says.
isc_db_handle AttachServerDatabase(const std::string& serverName, const std::string& localPath, TProtocol protocol,
                                   const std::string& userName, const std::string& password) {
  RequireClientLibrary();
  const std::string name = DatabaseConnectString(protocol, serverName, localPath);
  if (name.size() > MaxNameBytes) throw Exception("Database name too long: " + name);
  std::string block(1, static_cast<char>(dpb::version1));
  AddItem(block, dpb::user_name, "the user name", userName);
  AddItem(block, dpb::password, "the password", password);
  const TClientEntryPoints& api = ClientEntryPoints();
  isc_db_handle handle = 0;
  Call([&](ISC_STATUS* status) {
    return api.isc_attach_database(status, static_cast<short>(name.size()), name.data(), &handle,
                                   static_cast<short>(block.size()), block.data());
  });
  return handle;
}

void DetachQuietly(isc_db_handle& handle) {
  try {
    Call([&](ISC_STATUS* status) { return ClientEntryPoints().isc_detach_database(status, &handle); });
  } catch (...) {
  }
}

// The library's transaction block: one database, the default parameters.
struct TTransactionBlock {
  isc_db_handle* Database;
  int ParamsLength;
  const char* Params;
};

}  // namespace

void DropServerDatabase(const std::string& serverName, const std::string& localPath, TProtocol protocol,
                        const std::string& userName, const std::string& password) {
  isc_db_handle handle = AttachServerDatabase(serverName, localPath, protocol, userName, password);
  try {
    Call([&](ISC_STATUS* status) { return ClientEntryPoints().isc_drop_database(status, &handle); });
  } catch (...) {
    // A refused drop leaves the attachment open.
    DetachQuietly(handle);
    throw;
  }
}

namespace {

// A statement's columns, every one read as text into a buffer of its own.
class TQueryColumns {
 public:
  TQueryColumns() {
    const std::size_t bytes = sizeof(TSqlDa) + (MaxQueryColumns - 1) * sizeof(TSqlVar);
    FBlock.resize((bytes + sizeof(std::max_align_t) - 1) / sizeof(std::max_align_t));
    Da()->version = SqlDaVersion1;
    Da()->sqln = MaxQueryColumns;
  }
  TSqlDa* Da() { return reinterpret_cast<TSqlDa*>(FBlock.data()); }

  // After the statement was prepared (and described) into Da().
  void TakeAsText() {
    const short count = Da()->sqld;
    if (count > MaxQueryColumns) throw Exception("Too many columns in the query: " + std::to_string(count));
    FValues.assign(static_cast<std::size_t>(count), std::string(QueryColumnBytes + 2, '\0'));
    FNulls.assign(static_cast<std::size_t>(count), 0);
    for (short i = 0; i < count; ++i) {
      TSqlVar& column = Da()->sqlvar[i];
      column.sqltype = SqlVaryingNullable;
      column.sqllen = QueryColumnBytes;
      column.sqldata = FValues[static_cast<std::size_t>(i)].data();
      column.sqlind = &FNulls[static_cast<std::size_t>(i)];
    }
  }

  TQueryRow Row() const {
    TQueryRow row;
    for (std::size_t i = 0; i < FValues.size(); ++i) {
      if (FNulls[i] < 0) {
        row.emplace_back();
        continue;
      }
      const auto* bytes = reinterpret_cast<const unsigned char*>(FValues[i].data());
      const std::size_t length = std::min<std::size_t>(bytes[0] | (bytes[1] << 8), QueryColumnBytes);
      row.emplace_back(FValues[i].substr(2, length));
    }
    return row;
  }

 private:
  // The library's block, zero-filled and aligned for its pointers.
  std::vector<std::max_align_t> FBlock;
  std::vector<std::string> FValues;
  std::vector<short> FNulls;
};

}  // namespace

void ExecuteServerStatement(const std::string& serverName, const std::string& localPath, TProtocol protocol,
                            const std::string& userName, const std::string& password, const std::string& statement) {
  if (statement.size() > 65535) throw Exception("Statement too long");
  isc_db_handle handle = AttachServerDatabase(serverName, localPath, protocol, userName, password);
  const TClientEntryPoints& api = ClientEntryPoints();
  isc_tr_handle transaction = 0;
  try {
    TTransactionBlock block{&handle, 0, nullptr};
    Call([&](ISC_STATUS* status) { return api.isc_start_multiple(status, &transaction, 1, &block); });
    Call([&](ISC_STATUS* status) {
      return api.isc_dsql_execute_immediate(
          status, &handle, &transaction, static_cast<unsigned short>(statement.size()), statement.data(), 3, nullptr);
    });
    Call([&](ISC_STATUS* status) { return api.isc_commit_transaction(status, &transaction); });
  } catch (...) {
    if (transaction != 0) {
      TStatusVector ignored{};
      api.isc_rollback_transaction(ignored, &transaction);
    }
    DetachQuietly(handle);
    throw;
  }
  DetachQuietly(handle);
}

std::vector<TQueryRow> QueryServerRows(const std::string& serverName, const std::string& localPath, TProtocol protocol,
                                       const std::string& userName, const std::string& password,
                                       const std::string& select) {
  if (select.size() > MaxStatementBytes) throw Exception("Statement too long");
  isc_db_handle handle = AttachServerDatabase(serverName, localPath, protocol, userName, password);
  const TClientEntryPoints& api = ClientEntryPoints();
  isc_tr_handle transaction = 0;
  isc_stmt_handle statement = 0;
  std::vector<TQueryRow> rows;
  try {
    TTransactionBlock block{&handle, 0, nullptr};
    Call([&](ISC_STATUS* status) { return api.isc_start_multiple(status, &transaction, 1, &block); });
    Call([&](ISC_STATUS* status) { return api.isc_dsql_alloc_statement2(status, &handle, &statement); });
    TQueryColumns columns;
    Call([&](ISC_STATUS* status) {
      return api.isc_dsql_prepare(status, &transaction, &statement, static_cast<unsigned short>(select.size()),
                                  select.data(), SqlDialect3, columns.Da());
    });
    columns.TakeAsText();
    Call([&](ISC_STATUS* status) {
      return api.isc_dsql_execute(status, &transaction, &statement, SqlDaVersion1, nullptr);
    });
    for (ISC_STATUS fetched = 0;;) {
      Call([&](ISC_STATUS* status) {
        return fetched = api.isc_dsql_fetch(status, &statement, SqlDaVersion1, columns.Da());
      });
      if (fetched == NoMoreRows) break;
      rows.push_back(columns.Row());
    }
    Call([&](ISC_STATUS* status) { return api.isc_dsql_free_statement(status, &statement, FreeStatementDrop); });
    Call([&](ISC_STATUS* status) { return api.isc_commit_transaction(status, &transaction); });
  } catch (...) {
    TStatusVector ignored{};
    if (statement != 0) api.isc_dsql_free_statement(ignored, &statement, FreeStatementDrop);
    if (transaction != 0) api.isc_rollback_transaction(ignored, &transaction);
    DetachQuietly(handle);
    throw;
  }
  DetachQuietly(handle);
  return rows;
}
