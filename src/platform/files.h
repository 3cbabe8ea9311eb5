#pragma once
// File and folder operations the core needs, in the program's own terms.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The running executable's full path; empty when the system does not say.
std::string ProgramFile();
// Folder of the running executable, ending in the path separator.
std::string ProgramDirectory();

constexpr char PathDelim = '/';

// Adds the path separator when `path` does not end in one.
std::string IncludeTrailingPathDelimiter(const std::string& path);

// True for an existing file that is not a folder (links followed).
bool FileExists(const std::string& path);
bool DirectoryExists(const std::string& path);
// 0 when whether `path` exists can be told (it is there, or certainly is
// not); otherwise the error that keeps it unknown (EACCES: a folder on its
// way may not be entered).
int LookUpError(const std::string& path);
// Creates one folder level (no parents); false on any failure.
bool CreateDir(const std::string& path);
// Removes a file; false on failure.
bool DeleteFile(const std::string& path);
// Writes all of `data` to the open descriptor, going on after interrupted
// or partial writes; false on the first real failure.
bool WriteAll(int fd, std::string_view data);
// Creates the file (emptying one that exists) with `text` as its content;
// false when it cannot be created or written in full.
bool CreateTextFile(const std::string& path, const std::string& text);
// Adds `text` at the end of a file that exists, in a single write with
// O_APPEND, so that texts several programs append to one file never mix; a
// missing file is not created. False when the file cannot be opened or the
// write fails or falls short.
bool AppendToExistingFile(const std::string& path, const std::string& text);
// The same, creating a missing file (mode 0666 less the umask); an existing
// file keeps what it holds.
bool AppendToFile(const std::string& path, const std::string& text);
// Appends `line` and a line feed to the file with a single write, creating
// the file (readable and writable by its owner only) when missing. When the
// file's last line was left unfinished (an earlier write cut short), a line
// feed goes first, so the cut line never swallows this one. False when the
// file cannot be opened or the write fails or falls short.
bool AppendLine(const std::string& path, const std::string& line);
// Size in bytes of an existing file (links followed); nullopt otherwise.
std::optional<std::uint64_t> FileSize(const std::string& path);
// Names (without folder) of the files in a folder, folders left out; nullopt
// when the folder cannot be listed.
std::optional<std::vector<std::string>> FilesInFolder(const std::string& folder);
// Writes `text` as the whole content of `path`, with `mode` (readable by its
// owner only unless said otherwise): into a new file beside it ("<path>.XXXXXX"),
// flushed to disk, then renamed over `path`, so a crash leaves either the old
// content or the new one, never a part. False (and nothing left beside it) on
// failure.
bool WriteFileAtomically(const std::string& path, const std::string& text, unsigned mode = 0600);
// The whole content of a file; nullopt (errno set) when it cannot be read. A
// missing file reads as empty with `exists` false.
std::optional<std::string> ReadWholeFile(const std::string& path, bool& exists);

// Which file a name leads to (device, inode; links not followed) and its
// state (size, modification time in nanoseconds since 1970).
struct TFileIdentity {
  std::uint64_t Device = 0;
  std::uint64_t Inode = 0;
  std::uint64_t Size = 0;
  std::int64_t ModifiedNs = 0;
  bool SameFile(const TFileIdentity& other) const { return Device == other.Device && Inode == other.Inode; }
  bool operator==(const TFileIdentity&) const = default;
};
// nullopt when nothing is there (or it cannot be examined).
std::optional<TFileIdentity> IdentityOf(const std::string& path);
// When the file was created (nanoseconds since 1970, links not followed);
// nullopt when nothing is there or its file system does not keep the time.
std::optional<std::int64_t> CreationTimeNs(const std::string& path);
// Whether this computer can look into the folder for names in it (it exists
// and may be searched): a file it does not see there is really not there.
bool FolderSearchable(const std::string& folder);
