#pragma once
// Small helpers the job runner, the shutdown and restart steps and the
// controller share. (Pane lines go through the job's output, job_output.h.)

#include <string>
#include <vector>

// The path followed by one backslash, unless it is empty or already ends in
// one.
std::string WithTrailingBackslash(const std::string& path);

// This computer's name, or empty text when the system does not say.
std::string LocalComputerName();

// Appends the lines to the file (creating it when missing), each followed by
// a carriage return and a line feed. Raises EOSError when the file cannot be
// written.
void AppendLinesToFile(const std::string& fileName, const std::vector<std::string>& lines);
