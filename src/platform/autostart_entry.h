#pragma once
// The desktop entry that starts the program with the user's desktop session:
// a file in the XDG autostart folder ($XDG_CONFIG_HOME/autostart/, by default
// ~/.config/autostart/) named after the program's own desktop entry, whose
// Exec is the running executable.

#include <string>

inline constexpr const char* DesktopEntryName = "org.example.quorvin.desktop";

// The entry's path under the configuration folder `configHome`.
std::string AutostartEntryPath(const std::string& configHome);

// `path` as one argument of an Exec key: quoted where the desktop entry
// rules ask for it, with the escapes of a quoted argument and then those of
// a string value ("%" as "%%" so no field code is read into it).
std::string DesktopExecArgument(const std::string& path);

// The entry's whole text for `executable`.
std::string AutostartEntryText(const std::string& executable);

// Writes the entry (making the missing folders); raises EOSError when it
// cannot be written, or for an executable path no entry can hold.
void WriteAutostartEntry(const std::string& entryPath, const std::string& executable);
// Removes the entry; a missing one is fine. Raises EOSError when it stays.
void RemoveAutostartEntry(const std::string& entryPath);
