#pragma once
// Whether a backup or restore request really ran to its end. The service
// manager does not always say so: a gbak that stops early (a backup file cut
// short makes it ask for the next volume on the server's own terminal) can end
// its output without any error status, and the half-made database is left
// behind as if the job had succeeded.

#include <cstdint>
#include <optional>
#include <string>

#include "service/protocol.h"

// The text of an output line of gbak that plainly says the request failed
// ("gbak: ERROR…", the next-volume prompt, "Backup incomplete", "Exiting
// before completion due to errors"); empty for any other line.
std::string FailureReportedBy(const std::string& outputLine);

// The header attributes of a database that the server reports as shut down
// (for instance "single-user maintenance"), read through the service
// manager's header statistics; empty when the database is on line or its
// state could not be read. gbak creates a restored database shut down and
// brings it on line as its very last step, so a restored database still shut
// down is one whose restore stopped half-way.
std::string ShutdownStateOf(const std::string& serverName, const std::string& localPath, TProtocol protocol,
                            const std::string& userName, const std::string& password);
// The same, with a state that could not be read told apart: nullopt then,
// empty text for a database on line.
std::optional<std::string> ReadShutdownState(const std::string& serverName, const std::string& localPath,
                                             TProtocol protocol, const std::string& userName,
                                             const std::string& password);

// The attributes text of a header statistics line "Attributes <tab>…" when it
// names a shutdown mode; empty otherwise.
std::string ShutdownAttributesOf(const std::string& statsLine);
