#pragma once
// The user-interface side of the core's seams that need no widget: the plan
// timer on the event loop. The log pane and the message boxes have headers
// of their own.

// The plan-timer factory of the Qt program.
void InstallQtSeams();
void UninstallQtSeams();
