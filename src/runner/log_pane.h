#pragma once
// The program-wide reference to the on-screen log pane and the small helpers
// the job runner, the shutdown and restart steps and the controller share.

#include <string>
#include <vector>

#include "runner/ui_seams.h"

// The log pane, registered by the main window when it is created; empty until
// then. Not owned here.
extern TLogPaneView* LogPane;

// Appends one line to the pane (an empty text as a single blank). Does
// nothing without a registered pane; an error of the pane is swallowed.
void AddPaneLine(const std::string& line);

// Removes every line of the pane; does nothing without a registered pane.
void ClearPane();

// The path followed by one backslash, unless it is empty or already ends in
// one.
std::string WithTrailingBackslash(const std::string& path);

// This computer's name, or empty text when the system does not say.
std::string LocalComputerName();

// Appends the lines to the file (creating it when missing), each followed by
// a carriage return and a line feed. Raises EOSError when the file cannot be
// written.
void AppendLinesToFile(const std::string& fileName, const std::vector<std::string>& lines);
