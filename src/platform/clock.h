#pragma once
// The clock seam: the current local date and time. Tests move it freely.

#include <functional>

#include "platform/date_time.h"

TDateTime Now();
// Installs a replacement clock; an empty function puts the system clock back.
void SetClock(std::function<TDateTime()> clock);
TDateTime SystemNow();
