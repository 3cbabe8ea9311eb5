#pragma once
// How a server's service manager is reached, apart from the connection
// itself: a job's description names it without the service layer.

#include <cstdint>

// How the service manager is reached. Values outside the four members are
// possible (the runner hands over the low 8 bits of an index) and give the
// empty service-manager name.
enum class TProtocol : uint8_t { TCP = 0, SPX = 1, NamedPipe = 2, Local = 3 };
