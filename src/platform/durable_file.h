#pragma once
// Writing a file so that it either arrives whole and on disk under its name
// or not at all: written under a temporary name beside the final one,
// flushed, then renamed; and reading one back in blocks. Every failure raises
// EOSError with the system's text and the file's name.

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

// Creates a new empty file "<path>.part-XXXXXX" (owner read/write only) in
// the folder of `path`; returns its descriptor and sets `temporaryName`.
int CreateTemporaryBeside(const std::string& path, std::string& temporaryName);

// Writes every byte, going on after interrupted and partial writes.
void WriteFully(int fd, const char* data, std::size_t size, const std::string& fileName);

// Flushes the file to the disk and closes it (the descriptor is closed also
// when the flush fails).
void SyncAndClose(int fd, const std::string& fileName);

// Flushes a folder's entries (a rename in it) to the disk.
void SyncFolder(const std::string& folder);

// Renames each `from` to its `to`, all or none. Existing files under the
// `to` names are moved aside first and removed only once every new file
// stands under its name; when a rename fails, the new files are removed and
// the earlier ones put back, so a failure never costs an earlier file.
void InstallFiles(const std::vector<std::pair<std::string, std::string>>& renames);

// Opens a file for reading. ReadBlock fills at most `size` bytes and
// returns how many; 0 at the end of the file.
int OpenForReading(const std::string& path);
std::size_t ReadBlock(int fd, char* data, std::size_t size, const std::string& fileName);
// Closes a descriptor whose data no longer matters (a failed or read file).
void CloseFile(int fd);
// True once the open file has no name left (its folder or itself removed):
// Linux goes on taking data for it, which would all be lost.
bool FileUnlinked(int fd);

// Raises EOSError "<what> <path>: <system text>" for the current errno.
[[noreturn]] void RaiseFileError(const std::string& what, const std::string& path);
