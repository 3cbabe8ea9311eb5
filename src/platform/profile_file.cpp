#include "platform/profile_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/files.h"
#include "platform/text.h"

namespace {

struct TLine {
  std::string Text;  // without its line end
  std::string Eol;   // "\n", "\r\n" or "" (last line without one)
  std::string Bom;   // a UTF-8 byte order mark before the first line, kept
};

constexpr const char* Utf8Bom = "\xEF\xBB\xBF";

// Blanks around names and values; a line break never reaches them.
constexpr std::string_view ProfileBlanks = " \t\r\v\f";

bool IsBlank(char c) { return ProfileBlanks.find(c) != std::string_view::npos; }

std::string TrimBlanks(std::string_view s) { return Trim(s, ProfileBlanks); }

// A section header's name, or nullopt when the line is none.
std::optional<std::string> SectionName(const std::string& line) {
  const std::string t = TrimBlanks(line);
  if (t.empty() || t[0] != '[') return std::nullopt;
  const std::size_t close = t.find(']');
  if (close == std::string::npos) return std::nullopt;
  return TrimBlanks(t.substr(1, close - 1));
}

// Key and value of a value line, or false when the line holds none.
bool SplitKeyLine(const std::string& line, std::string& key, std::string& value) {
  const std::size_t eq = line.find('=');
  if (eq == std::string::npos) return false;
  key = TrimBlanks(line.substr(0, eq));
  if (key.empty() || key[0] == '[') return false;
  value = TrimBlanks(line.substr(eq + 1));
  return true;
}

// Lines end in LF, CR LF or a lone CR; each keeps its own line end.
std::vector<TLine> SplitLines(const std::string& content) {
  std::vector<TLine> lines;
  std::size_t pos = 0;
  // An editor's byte order mark would otherwise hide the first section.
  const bool bom = StartsWith(content, Utf8Bom);
  if (bom) pos = 3;
  while (pos < content.size()) {
    const std::size_t brk = content.find_first_of("\r\n", pos);
    TLine line;
    if (brk == std::string::npos) {
      line.Text = content.substr(pos);
      pos = content.size();
    } else {
      const std::size_t eolLen = (content[brk] == '\r' && brk + 1 < content.size() && content[brk + 1] == '\n') ? 2 : 1;
      line.Text = content.substr(pos, brk - pos);
      line.Eol = content.substr(brk, eolLen);
      pos = brk + eolLen;
    }
    lines.push_back(std::move(line));
  }
  if (bom) {
    if (lines.empty()) lines.push_back(TLine{});
    lines.front().Bom = Utf8Bom;
  }
  return lines;
}

bool IsQuote(char c) { return c == '"' || c == '\''; }

// A value in matching quotes reads without them, as the Windows profile
// functions read it.
std::string Unquoted(const std::string& value) {
  if (value.size() >= 2 && IsQuote(value.front()) && value.back() == value.front())
    return value.substr(1, value.size() - 2);
  return value;
}

// The text that reads back as `value`: the value itself, or, when reading
// would change it (blanks at its ends, or matching quotes around it), the
// value inside double quotes. A password is thus read back exactly as typed.
std::string Quoted(const std::string& value) {
  if (value.empty()) return value;
  if (IsBlank(value.front()) || IsBlank(value.back()) || Unquoted(value).size() != value.size())
    return '"' + value + '"';
  return value;
}

// Replaces the file's content. A new copy is written beside it and renamed
// over it, so a crash never leaves a half-written settings file; when the
// folder refuses a new file, the file is rewritten in place.
bool ReplaceFile(const std::string& path, const std::string& content, bool existed) {
  std::string target = path;
  struct stat st {};
  if (lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    // Keep a linked settings file linked: write where the link points.
    char* real = realpath(path.c_str(), nullptr);
    if (real == nullptr) return false;
    target = real;
    std::free(real);
  }
  mode_t mode = S_IRUSR | S_IWUSR;
  if (existed) {
    if (stat(target.c_str(), &st) != 0) return false;
    // The write must be one the file's permissions allow.
    if (access(target.c_str(), W_OK) != 0) return false;
    mode = st.st_mode & 07777;
  }
  std::string tmp = target + ".XXXXXX";
  const int fd = mkstemp(tmp.data());
  if (fd >= 0) {
    // The copy takes the file's mode and, where the process may give it,
    // its owner.
    if (existed) {
      const int ignored = fchown(fd, st.st_uid, st.st_gid);
      (void)ignored;
    }
    const bool ok = fchmod(fd, mode) == 0 && WriteAll(fd, content);
    const int err = errno;
    if (close(fd) != 0 || !ok || rename(tmp.c_str(), target.c_str()) != 0) {
      const int err2 = ok ? errno : err;
      unlink(tmp.c_str());
      errno = err2;
      return false;
    }
    return true;
  }
  const int flags = O_WRONLY | O_CLOEXEC | (existed ? O_TRUNC : (O_CREAT | O_EXCL));
  const int direct = open(target.c_str(), flags, S_IRUSR | S_IWUSR);
  if (direct < 0) return false;
  const bool ok = WriteAll(direct, content);
  const int err = errno;
  if (close(direct) != 0 || !ok) {
    errno = ok ? errno : err;
    return false;
  }
  return true;
}

// The value of a hexadecimal digit, -1 for any other character.
int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool HasLineBreak(const std::string& s) { return s.find_first_of("\r\n") != std::string::npos; }

// Names and a value that can be written without making other lines of them.
bool Writable(const std::string& sectionName, const std::string& keyName, const std::string& value) {
  return !sectionName.empty() && !keyName.empty() && !HasLineBreak(sectionName) && !HasLineBreak(keyName) &&
         !HasLineBreak(value) && sectionName.find(']') == std::string::npos && keyName.find('=') == std::string::npos &&
         keyName[0] != '[';
}

// The line end new lines get: the file's own when it uses CR LF anywhere.
std::string LineEndOf(const std::vector<TLine>& lines) {
  for (const TLine& line : lines)
    if (line.Eol == "\r\n") return "\r\n";
  return "\n";
}

// Where a key stands: the first section of that name, the first key of that
// name in it, and the line after the section.
struct TKeyPlace {
  std::optional<std::size_t> SectionAt;
  std::optional<std::size_t> KeyAt;
  std::size_t SectionEnd = 0;
};

TKeyPlace FindKey(const std::vector<TLine>& lines, const std::string& sectionName, const std::string& keyName) {
  TKeyPlace place;
  place.SectionEnd = lines.size();
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (const auto name = SectionName(lines[i].Text)) {
      if (place.SectionAt) {
        place.SectionEnd = i;
        break;
      }
      if (SameTextAscii(*name, sectionName)) place.SectionAt = i;
      continue;
    }
    if (!place.SectionAt || place.KeyAt) continue;
    std::string k, v;
    if (SplitKeyLine(lines[i].Text, k, v) && SameTextAscii(k, keyName)) place.KeyAt = i;
  }
  return place;
}

// Replaces the key's line, or adds it after the last line of its section
// that is not blank, or adds the section (after a blank line) at the end.
void PutKeyLine(std::vector<TLine>& lines, const std::string& sectionName, const std::string& keyName,
                const std::string& keyLine) {
  const std::string eol = LineEndOf(lines);
  const TKeyPlace place = FindKey(lines, sectionName, keyName);
  if (place.KeyAt) {
    lines[*place.KeyAt].Text = keyLine;
  } else if (place.SectionAt) {
    std::size_t after = *place.SectionAt;
    for (std::size_t i = *place.SectionAt + 1; i < place.SectionEnd; ++i)
      if (!TrimBlanks(lines[i].Text).empty()) after = i;
    if (lines[after].Eol.empty()) lines[after].Eol = eol;
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(after + 1), TLine{keyLine, eol, {}});
  } else {
    if (!lines.empty() && lines.back().Eol.empty()) lines.back().Eol = eol;
    if (!lines.empty() && !TrimBlanks(lines.back().Text).empty()) lines.push_back(TLine{"", eol, {}});
    lines.push_back(TLine{"[" + sectionName + "]", eol, {}});
    lines.push_back(TLine{keyLine, eol, {}});
  }
}

std::string JoinLines(const std::vector<TLine>& lines) {
  std::string out;
  for (const TLine& line : lines) out += line.Bom + line.Text + line.Eol;
  return out;
}

}  // namespace

std::optional<std::string> FindProfileValue(const std::string& content, const std::string& section,
                                            const std::string& key) {
  const std::string wantSection = TrimBlanks(section), wantKey = TrimBlanks(key);
  bool inSection = false;
  for (const TLine& line : SplitLines(content)) {
    if (const auto name = SectionName(line.Text)) {
      if (inSection) break;  // the first section of that name wins
      inSection = SameTextAscii(*name, wantSection);
      continue;
    }
    if (!inSection) continue;
    std::string k, v;
    if (SplitKeyLine(line.Text, k, v) && SameTextAscii(k, wantKey)) return Utf8Cut(Unquoted(v), ProfileValueMaxChars);
  }
  return std::nullopt;
}

std::optional<std::string> ReadProfileValue(const std::string& path, const std::string& section,
                                            const std::string& key) {
  bool exists = false;
  const auto content = ReadWholeFile(path, exists);
  if (!content || !exists) return std::nullopt;
  return FindProfileValue(*content, section, key);
}

bool WriteProfileValue(const std::string& path, const std::string& section, const std::string& key,
                       const std::string& value) {
  const std::string sectionName = TrimBlanks(section), keyName = TrimBlanks(key);
  if (!Writable(sectionName, keyName, value)) {
    errno = EINVAL;
    return false;
  }
  bool exists = false;
  const auto content = ReadWholeFile(path, exists);
  if (!content) return false;
  std::vector<TLine> lines = SplitLines(*content);
  PutKeyLine(lines, sectionName, keyName, keyName + "=" + Quoted(value));
  return ReplaceFile(path, JoinLines(lines), exists);
}

bool EraseProfileSection(const std::string& path, const std::string& section) {
  bool exists = false;
  const auto content = ReadWholeFile(path, exists);
  if (!content) return false;
  if (!exists) return true;
  std::vector<TLine> lines = SplitLines(*content);
  const TKeyPlace place = FindKey(lines, TrimBlanks(section), "\n");
  if (!place.SectionAt) return true;
  std::size_t from = *place.SectionAt;
  if (from > 0 && TrimBlanks(lines[from - 1].Text).empty()) --from;
  if (from == 0 && !lines.empty() && !lines.front().Bom.empty() && place.SectionEnd < lines.size())
    lines[place.SectionEnd].Bom = lines.front().Bom;
  lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(from),
              lines.begin() + static_cast<std::ptrdiff_t>(place.SectionEnd));
  return ReplaceFile(path, JoinLines(lines), exists);
}

bool RenameProfileSection(const std::string& path, const std::string& from, const std::string& to) {
  const std::string newName = TrimBlanks(to);
  if (!Writable(newName, "key", "")) {
    errno = EINVAL;
    return false;
  }
  bool exists = false;
  const auto content = ReadWholeFile(path, exists);
  if (!content) return false;
  if (!exists) return true;
  std::vector<TLine> lines = SplitLines(*content);
  const TKeyPlace place = FindKey(lines, TrimBlanks(from), "\n");
  if (!place.SectionAt) return true;
  if (FindKey(lines, newName, "\n").SectionAt) {
    errno = EEXIST;
    return false;
  }
  lines[*place.SectionAt].Text = "[" + newName + "]";
  return ReplaceFile(path, JoinLines(lines), exists);
}

bool EraseProfileValue(const std::string& path, const std::string& section, const std::string& key) {
  bool exists = false;
  const auto content = ReadWholeFile(path, exists);
  if (!content) return false;
  if (!exists) return true;
  std::vector<TLine> lines = SplitLines(*content);
  const TKeyPlace place = FindKey(lines, TrimBlanks(section), TrimBlanks(key));
  if (!place.KeyAt) return true;
  const std::size_t at = *place.KeyAt;
  if (!lines[at].Bom.empty() && at + 1 < lines.size()) lines[at + 1].Bom = lines[at].Bom;
  lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(at));
  return ReplaceFile(path, JoinLines(lines), exists);
}

namespace {

// Bytes no text holds: controls other than tabs, line and page breaks.
bool IsBinaryByte(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return (byte < 0x20 && std::string_view("\t\n\v\f\r").find(c) == std::string_view::npos) || byte == 0x7F;
}

bool IsComment(const std::string& line) {
  const std::string text = TrimBlanks(line);
  return !text.empty() && (text[0] == ';' || text[0] == '#');
}

}  // namespace

std::optional<std::string> ProfileContentFault(const std::string& content) {
  bool text = false;
  for (const TLine& line : SplitLines(content)) {
    if (SectionName(line.Text)) return std::nullopt;
    for (char c : line.Text)
      if (IsBinaryByte(c)) return "it holds binary bytes before its first [section] line";
    text = text || !(TrimBlanks(line.Text).empty() || IsComment(line.Text));
  }
  if (text) return "it has no [section] line";
  return std::nullopt;
}

std::optional<std::int32_t> ParseProfileInteger(const std::string& text) {
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    std::uint64_t v = 0;
    for (std::size_t i = 2; i < text.size(); ++i) {
      const int d = HexDigit(text[i]);
      if (d < 0) return std::nullopt;
      v = v * 16 + static_cast<std::uint64_t>(d);
      if (v > 0xFFFFFFFFull) return std::nullopt;
    }
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(v));
  }
  std::size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i == text.size()) return std::nullopt;
  std::int64_t v = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return std::nullopt;
    v = v * 10 + (text[i] - '0');
    if (v > static_cast<std::int64_t>(INT32_MAX) + 1) return std::nullopt;
  }
  if (negative) v = -v;
  if (v > INT32_MAX || v < INT32_MIN) return std::nullopt;
  return static_cast<std::int32_t>(v);
}

bool TIniFile::Snapshot() {
  bool exists = false;
  auto content = ReadWholeFile(FFileName, exists);
  FSnapshot = std::string();
  FFault.clear();
  if (!content) {
    FState = TProfileState::Unreadable;
    FFault = std::strerror(errno);
    return false;
  }
  FState = exists ? TProfileState::Read : TProfileState::Missing;
  if (const auto fault = ProfileContentFault(*content)) {
    FState = TProfileState::NotAProfile;
    FFault = *fault;
  }
  FSnapshot = std::move(*content);
  return true;
}

std::optional<std::string> TIniFile::Value(const std::string& section, const std::string& key) const {
  if (FSnapshot) return FindProfileValue(*FSnapshot, section, key);
  return ReadProfileValue(FFileName, section, key);
}

std::string TIniFile::ReadString(const std::string& section, const std::string& key, const std::string& def) const {
  const auto v = Value(section, key);
  return v ? *v : def;
}

std::int32_t TIniFile::ReadInteger(const std::string& section, const std::string& key, std::int32_t def) const {
  const auto v = Value(section, key);
  if (!v) return def;
  const auto n = ParseProfileInteger(*v);
  return n ? *n : def;
}

bool TIniFile::ReadBool(const std::string& section, const std::string& key, bool def) const {
  return ReadInteger(section, key, def ? 1 : 0) != 0;
}

TDateTime TIniFile::ReadTime(const std::string& section, const std::string& key, TDateTime def) const {
  const auto v = Value(section, key);
  if (!v) return def;
  return StrToTime(*v);
}

void TIniFile::WriteString(const std::string& section, const std::string& key, const std::string& value) {
  if (!WriteProfileValue(FFileName, section, key, value)) throw EIniFileException("Unable to write to " + FFileName);
  if (FSnapshot) Snapshot();
}

void TIniFile::EraseSection(const std::string& section) {
  if (!EraseProfileSection(FFileName, section)) throw EIniFileException("Unable to write to " + FFileName);
  if (FSnapshot) Snapshot();
}

void TIniFile::RenameSection(const std::string& from, const std::string& to) {
  if (!RenameProfileSection(FFileName, from, to)) throw EIniFileException("Unable to write to " + FFileName);
  if (FSnapshot) Snapshot();
}

void TIniFile::EraseKey(const std::string& section, const std::string& key) {
  if (!EraseProfileValue(FFileName, section, key)) throw EIniFileException("Unable to write to " + FFileName);
  if (FSnapshot) Snapshot();
}

void TIniFile::WriteInteger(const std::string& section, const std::string& key, std::int32_t value) {
  WriteString(section, key, std::to_string(value));
}

void TIniFile::WriteBool(const std::string& section, const std::string& key, bool value) {
  WriteString(section, key, value ? "1" : "0");
}

void TIniFile::WriteTime(const std::string& section, const std::string& key, TDateTime value) {
  WriteString(section, key, FormatLongTime(TimeOf(value)));
}
