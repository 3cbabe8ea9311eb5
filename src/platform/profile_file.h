#pragma once
// Profile ("INI") files with the reading and writing rules that files written
// by the program rely on:
// - a line "[name]" opens a section; a line "key=value" holds a value; other
//   lines (comments, blank lines, text without "=") are kept but never read;
// - section and key names are compared without regard to letter case, with
//   blanks around names and values trimmed; the first of duplicate sections
//   and of duplicate keys wins;
// - a value in matching double or single quotes reads without them; a value
//   written that would read back otherwise (blanks at its ends, matching
//   quotes around it) is written inside double quotes, so every value reads
//   back exactly as written;
// - a value is read up to 2047 characters (never cut inside a UTF-8 sequence);
// - a UTF-8 byte order mark at the start of the file is skipped and kept;
// - every write updates the file at once, one key per call; lines that are
//   not written keep their text and line ends;
// - a file the program creates is readable and writable by its owner only.

#include <cstdint>
#include <optional>
#include <string>

#include "platform/date_time.h"
#include "platform/exception.h"

constexpr std::size_t ProfileValueMaxChars = 2047;

// The value of `key` in `section`, or nullopt when the file, the section or
// the key is missing (or the file cannot be read).
std::optional<std::string> ReadProfileValue(const std::string& path, const std::string& section,
                                            const std::string& key);
// The same rules applied to a file's content held in memory.
std::optional<std::string> FindProfileValue(const std::string& content, const std::string& section,
                                            const std::string& key);
// Sets `key` in `section` to `value`, creating the file, the section or the
// key as needed. False (errno set) when the write is refused: the file or its
// folder cannot be written, or a name or value holds a line break (which
// would make new lines out of it).
bool WriteProfileValue(const std::string& path, const std::string& section, const std::string& key,
                       const std::string& value);

// Removes the first section of that name with all its lines (and the blank
// line that set it apart), leaving every other line as it is. True when the
// section is gone (or never was); false (errno set) when the write is
// refused.
bool EraseProfileSection(const std::string& path, const std::string& section);
// Gives the first section named `from` the name `to`, its lines kept as they
// are. True when it is renamed (or there is none of that name); false (errno
// set) when the write is refused or a section `to` is there already.
bool RenameProfileSection(const std::string& path, const std::string& from, const std::string& to);
// Removes the first line of `key` in `section`, every other line kept. True
// when the key is gone (or never was); false (errno set) when the write is
// refused.
bool EraseProfileValue(const std::string& path, const std::string& section, const std::string& key);

// Why `content` is not a profile file: "it has no [section] line" (text
// that is not blank or comments only, without a single section line), or
// "it holds binary bytes before its first [section] line" (a program, a
// database, a compressed file given by mistake); nullopt for a profile file,
// an empty one (blank and comment lines only) included. What follows the
// first section line is not judged: a damaged end never costs the sections
// before it.
std::optional<std::string> ProfileContentFault(const std::string& content);

// Integer text: decimal with an optional sign, or "0x"/"0X" followed by up to
// eight hexadecimal digits (taken as 32 bits). nullopt for anything else.
std::optional<std::int32_t> ParseProfileInteger(const std::string& text);

class EIniFileException : public Exception {
 public:
  using Exception::Exception;
};

// What reading a whole profile file found.
enum class TProfileState { Read, Missing, Unreadable, NotAProfile };

// One settings file, read and written key by key.
class TIniFile {
 public:
  explicit TIniFile(std::string fileName) : FFileName(std::move(fileName)) {}
  const std::string& FileName() const { return FFileName; }

  // Reads the whole file once; later reads answer from that copy, so a set
  // of values comes from one state of the file. A missing file counts as
  // read (empty). False when the file exists but cannot be read: the copy is
  // then empty and every read gives its default. A file that is no profile
  // file (ProfileContentFault) is read all the same, as leniently as ever:
  // State says so, for a reader that refuses it.
  bool Snapshot();
  // What the last Snapshot found, and why it failed: the system's reason
  // ("Permission denied") or ProfileContentFault's; empty when it did not.
  TProfileState State() const { return FState; }
  const std::string& Fault() const { return FFault; }

  // Whether the key is there (with any value).
  bool HasKey(const std::string& section, const std::string& key) const { return Value(section, key).has_value(); }
  // Missing key: the default; a key present with an empty value reads empty.
  std::string ReadString(const std::string& section, const std::string& key, const std::string& def) const;
  // Missing key or text that is not an integer: the default.
  std::int32_t ReadInteger(const std::string& section, const std::string& key, std::int32_t def) const;
  // The value as an integer, any nonzero value true.
  bool ReadBool(const std::string& section, const std::string& key, bool def) const;
  // A time of day in the long time format (or H:MM, H:MM:SS); a missing key
  // gives `def`. Text the parser rejects (an empty value included) raises
  // EConvertError.
  TDateTime ReadTime(const std::string& section, const std::string& key, TDateTime def) const;

  // A refused write raises EIniFileException "Unable to write to <path>";
  // keys written before stay written.
  void WriteString(const std::string& section, const std::string& key, const std::string& value);
  void WriteInteger(const std::string& section, const std::string& key, std::int32_t value);
  void WriteBool(const std::string& section, const std::string& key, bool value);
  void WriteTime(const std::string& section, const std::string& key, TDateTime value);
  // Raise EIniFileException as the writes do.
  void EraseSection(const std::string& section);
  void RenameSection(const std::string& from, const std::string& to);
  void EraseKey(const std::string& section, const std::string& key);

 private:
  std::optional<std::string> Value(const std::string& section, const std::string& key) const;

  std::string FFileName;
  std::optional<std::string> FSnapshot;
  TProfileState FState = TProfileState::Read;
  std::string FFault;
};
