#pragma once
// Date-time values as the program keeps them: local time as a double counting
// days since 30 December 1899, the fraction being the time of day.

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>

using TDateTime = double;

constexpr double HoursPerDay = 24.0;
constexpr std::int64_t MSecsPerDay = 86400000;

// Raises EConvertError for a date or time that does not exist.
TDateTime EncodeDate(int year, int month, int day);
TDateTime EncodeTime(int hour, int minute, int second, int msec);
// The same without raising.
bool TryEncodeDate(int year, int month, int day, TDateTime& result);
bool TryEncodeTime(int hour, int minute, int second, int msec, TDateTime& result);

struct TDateParts {
  int Year = 1899;
  int Month = 12;
  int Day = 30;
  int Hour = 0;
  int Minute = 0;
  int Second = 0;
  int MSec = 0;
};

// Rounded to the millisecond first, so 23:59:59.9999 never decodes as hour 24.
TDateParts DecodeDateTime(TDateTime value);
// The moment's calendar fields as the C library takes them, weekday and day
// of the year included; tm_isdst is -1, so mktime finds it out.
std::tm TmOf(TDateTime value);
// 1 Monday … 7 Sunday.
int DayOfTheWeek(TDateTime value);
TDateTime DateOf(TDateTime value);
TDateTime TimeOf(TDateTime value);

// Patterns in the program's own style: d dd m mm yy yyyy h hh n nn s ss z zzz;
// ':' is the system's time separator; text in double or single quotes and
// every other character (the letter "в" included) stand as they are.
std::string FormatDateTime(const std::string& pattern, TDateTime value);

// The C library's current locale (LC_TIME).
std::string TimeSeparator();
std::string LongTimeFormat();   // strftime pattern, e.g. "%H:%M:%S"
std::string ShortTimeFormat();  // the long one without seconds
std::string ShortDateFormat();  // e.g. "%m/%d/%y"
std::string LongDateFormat();   // e.g. "%-d %B %Y"

std::string FormatStrftime(const std::string& format, TDateTime value);
std::string FormatLongTime(TDateTime value);
std::string FormatShortTime(TDateTime value);
std::string FormatShortDate(TDateTime value);
std::string FormatLongDate(TDateTime value);

// A time of day (fraction only) from text in the long time format, or H:MM or
// H:MM:SS; nullopt when the text is none of them.
std::optional<TDateTime> TryStrToTime(const std::string& text);
// The same, raising EConvertError ("'%s' is not a valid time").
TDateTime StrToTime(const std::string& text);
// Parses `text` against one strftime-style pattern (exposed for tests).
std::optional<TDateTime> TryStrToTimeWithFormat(const std::string& text, const std::string& format);
