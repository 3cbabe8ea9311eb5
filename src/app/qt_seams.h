#pragma once
// The user-interface side of the core's seams that need no widget: the event
// pump and the plan timer on the event loop. The log pane, the message boxes
// and the blocking-call worker have headers of their own.

#include "runner/ui_seams.h"

// The event pump handles pending events at most this often (milliseconds).
inline constexpr int PumpIntervalMs = 8;

// The event pump and the plan-timer factory of the Qt program.
void InstallQtSeams();
void UninstallQtSeams();
