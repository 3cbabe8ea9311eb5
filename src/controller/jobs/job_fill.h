#pragma once
// What every job of the jobs part sets alike on its runner.

#include <cstdint>

#include "controller/settings/settings.h"

class TJobOutput;
class TSchedule;

// Kind, name, `db`'s login and protocol, no job log, the seven switches, the
// output.
void FillJob(TSchedule& job, const TDatabaseOptions& db, std::int32_t kind, const char* name, const bool (&options)[7],
             TJobOutput& output);
