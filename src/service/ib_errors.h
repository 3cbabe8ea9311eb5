#pragma once
// Exceptions of the service manager client and the numbered client errors.
// Code outside the client layer catches these as Exception and shows Message.

#include <cstdint>
#include <string>

#include "platform/exception.h"
#include "service/client_library.h"

// Base of every database-layer error.
class EDatabaseError : public Exception {
 public:
  using Exception::Exception;
};

class EIBError : public EDatabaseError {
 public:
  EIBError(int32_t sqlCode, std::string message) : EDatabaseError(std::move(message)), SqlErrorCode(sqlCode) {}
  EIBError(int32_t sqlCode, int32_t libraryCode, std::string message)
      : EDatabaseError(std::move(message)), SqlErrorCode(sqlCode), LibraryErrorCode(libraryCode) {}

  int32_t SqlErrorCode = 0;
  int32_t LibraryErrorCode = 0;
};

// A library call reported an error: the library's own interpreted texts.
class EIBInterBaseError : public EIBError {
 public:
  using EIBError::EIBError;
};

// A condition the client layer detects itself; SqlErrorCode is the client
// error number, LibraryErrorCode 0.
class EIBClientError : public EIBError {
 public:
  using EIBError::EIBError;
};

// Client error numbers (positions in the client message table).
enum TIBClientError : int {
  ibceUnknownError = 0,
  ibceGDS32NotFound = 1,
  ibceIB60feature = 3,
  ibceOperationCancelled = 10,
  ibceSPBConstantNotSupported = 88,
  ibceSPBConstantUnknown = 89,
  ibceServiceActive = 90,
  ibceServiceInActive = 91,
  ibceServerNameMissing = 92,
  ibceQueryParamsError = 93,
  ibceStartParamsError = 94,
  ibceOutputParsingError = 95,
  ibceUseSpecificProcedures = 96,
  // Our own additions past the end of the original table: values that do not
  // fit their length field are refused before anything is sent.
  ibceParamValueTooLong = 98,
  ibceStartTextTooLong = 99,
  ibceStartBlockTooLong = 100,
  ibceBufferSizeOutOfRange = 101,
};

// The unformatted message text of a client error ("Unknown error" for a
// number without a text).
const char* ClientErrorText(int number);

// The formatted message of a client error; every %s takes the next argument
// (missing arguments format as empty, %d as well takes the text as given).
std::string FormatClientError(int number, const std::string& arg1 = {}, const std::string& arg2 = {});

[[noreturn]] void RaiseClientError(int number, const std::string& arg1 = {}, const std::string& arg2 = {});

// The kinds of the items of a status vector that name something (as ibase.h
// numbers them).
enum TStatusArgument : int {
  StatusArgEnd = 0,
  StatusArgGds = 1,
  StatusArgString = 2,
  StatusArgCstring = 3,
  StatusArgInterpreted = 5,
  StatusArgUnix = 7,
};
// "Can not access lock files directory": the engine's lock folder.
inline constexpr int32_t GdsLockDirAccess = 335544992;

// The folder a status vector names as refused to this process (a system
// error of EACCES or EPERM, or the lock folder's own error, beside a path),
// with the right it lacks (platform/folder_rights.h); empty when it names
// none. The embedded engine refuses a service's user this way when its lock
// folder belongs to another group.
std::string RefusedFolderOf(const ISC_STATUS* vector);

// Reads the calling thread's status vector and raises EIBInterBaseError,
// with RefusedFolderOf's sentence after the library's texts.
[[noreturn]] void RaiseStatusError();
