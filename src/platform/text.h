#pragma once
// Small text helpers the whole core shares: trimming, ASCII letter case and
// UTF-8 character counting. Texts are byte strings; only ASCII letters change
// case, every other byte compares as it is.
//
// UTF-8 rule (one for every caller): a character is a lead byte C2-DF, E0-EF
// or F0-F4 followed by its one, two or three continuation bytes (80-BF). Any
// other byte, a stray continuation byte or a lead byte whose sequence is cut
// short or broken included, counts as one character of its own. So a count
// never runs past the text and a cut never splits a well-formed character.

#include <cstddef>
#include <string>
#include <string_view>

// The blanks the settings file and the time parser trim.
inline constexpr std::string_view SpaceAndTab = " \t";

// `text` without the bytes of `blanks` at its start and end (or one end).
std::string Trim(std::string_view text, std::string_view blanks = SpaceAndTab);
std::string TrimLeft(std::string_view text, std::string_view blanks = SpaceAndTab);
std::string TrimRight(std::string_view text, std::string_view blanks = SpaceAndTab);

// True for the space and every control byte below it (0x00-0x20).
constexpr bool IsSpaceOrControl(char c) { return static_cast<unsigned char>(c) <= ' '; }
// `text` without space and control bytes at either end.
std::string TrimControls(std::string_view text);
// True when every byte of `text` is a space or control byte (also when empty).
bool IsBlankText(std::string_view text);

constexpr char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
constexpr char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }
std::string AsciiLower(std::string_view text);
std::string AsciiUpper(std::string_view text);
// Equal but for the letter case of ASCII letters.
bool SameTextAscii(std::string_view a, std::string_view b);
bool StartsWith(std::string_view text, std::string_view prefix);
// `text` on one line: trimmed, each run of line ends one space (a server's
// message of several lines in a one-line log entry or tool tip).
std::string OnOneLine(std::string_view text);

// Bytes of the character that starts at byte `pos` of `text` (pos < size).
std::size_t Utf8CharBytes(std::string_view text, std::size_t pos);
// Byte length of the longest prefix of `text` holding at most `maxChars`
// characters.
std::size_t Utf8PrefixBytes(std::string_view text, std::size_t maxChars);
// Number of characters of `text`.
std::size_t Utf8Length(std::string_view text);
// The first `maxChars` characters of `text`.
std::string Utf8Cut(std::string_view text, std::size_t maxChars);
