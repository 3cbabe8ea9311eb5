#pragma once
// Everything the service manager client offers, in one include.

#include "service/backup_restore_services.h"
#include "service/client_library.h"
#include "service/config_service.h"
#include "service/ib_errors.h"
#include "service/library_call.h"
#include "service/service_connection.h"
#include "service/stream_services.h"
