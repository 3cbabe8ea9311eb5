#pragma once
// Dropping a database through its server: for a database the program made
// itself (a test restore) whose file this computer cannot remove; and one
// statement through a database attachment, for what only SQL can do.

#include <optional>
#include <string>
#include <vector>

#include "service/service_connection.h"

// The connection string of a database for a protocol: "server:path" (TCP),
// "server@path" (SPX), "\\server\path" (named pipes), the path alone (Local).
std::string DatabaseConnectString(TProtocol protocol, const std::string& serverName, const std::string& localPath);

// Attaches to the database and drops it (the server removes its file).
// Raises EIBInterBaseError with the library's texts when the server refuses,
// EIBClientError when a value does not fit its length field.
void DropServerDatabase(const std::string& serverName, const std::string& localPath, TProtocol protocol,
                        const std::string& userName, const std::string& password);

// Attaches to the database, runs `statement` in a transaction of its own,
// commits and detaches. Raises as DropServerDatabase does.
void ExecuteServerStatement(const std::string& serverName, const std::string& localPath, TProtocol protocol,
                            const std::string& userName, const std::string& password, const std::string& statement);

// The rows of `select` (one statement, eight columns at most, each column
// as text of 1024 bytes at most; NULL as nullopt), read in a transaction of
// its own through an attachment of the database. Raises as DropServerDatabase
// does.
using TQueryRow = std::vector<std::optional<std::string>>;
std::vector<TQueryRow> QueryServerRows(const std::string& serverName, const std::string& localPath, TProtocol protocol,
                                       const std::string& userName, const std::string& password,
                                       const std::string& select);
