#include "platform/date_time.h"

#include <langinfo.h>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <ctime>

#include "platform/exception.h"
#include "platform/text.h"

namespace {

// Days from 1970-01-01 to the civil date (proleptic Gregorian).
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void CivilFromDays(std::int64_t z, int& year, int& month, int& day) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t y = static_cast<std::int64_t>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  year = static_cast<int>(y + (month <= 2));
}

// 1899-12-30 relative to 1970-01-01.
constexpr std::int64_t DelphiEpochOffset = -25569;

bool IsLeapYear(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int y, int m) {
  static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeapYear(y) ? 29 : days[m - 1];
}

// Whole days and milliseconds of the day. Negative values follow the
// program's convention: the date part is the integer part, the time of day
// the absolute value of the fraction.
void SplitValue(TDateTime value, std::int64_t& days, std::int64_t& msec) {
  if (!std::isfinite(value)) value = 0;
  // Far outside any date the program handles; keep the arithmetic defined.
  if (value > 2958465.0) value = 2958465.0;
  if (value < -693593.0) value = -693593.0;
  if (value >= 0) {
    const std::int64_t total = std::llround(value * static_cast<double>(MSecsPerDay));
    days = total / MSecsPerDay;
    msec = total % MSecsPerDay;
  } else {
    const double whole = std::trunc(value);
    std::int64_t ms = std::llround((whole - value) * static_cast<double>(MSecsPerDay));
    days = static_cast<std::int64_t>(whole);
    if (ms >= MSecsPerDay) {
      days -= 1;
      ms -= MSecsPerDay;
    }
    msec = ms;
  }
}

std::string Pad(int value, int width) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%0*d", width, value);
  return buf;
}

// A number for a run of `run` pattern letters: zero-padded to `width` digits
// when the run is at least that long (taking `width` letters), otherwise as
// it is (taking one letter).
std::size_t PutNumber(std::string& out, int value, std::size_t run, int width) {
  if (run >= static_cast<std::size_t>(width)) {
    out += Pad(value, width);
    return static_cast<std::size_t>(width);
  }
  out += std::to_string(value);
  return 1;
}

// The year: four digits for three letters or more (taking up to four),
// otherwise its last two digits (taking the whole run).
std::size_t PutYear(std::string& out, int year, std::size_t run) {
  if (run >= 3) {
    out += Pad(year, 4);
    return run < 4 ? run : 4;
  }
  out += Pad(year % 100, 2);
  return run;
}

// Expands the composite conversions so the pattern can be inspected piece by
// piece.
std::string ExpandComposite(const std::string& format) {
  std::string out;
  for (std::size_t i = 0; i < format.size(); ++i) {
    if (format[i] != '%' || i + 1 >= format.size()) {
      out += format[i];
      continue;
    }
    const char c = format[++i];
    switch (c) {
      case 'T': out += "%H:%M:%S"; break;
      case 'R': out += "%H:%M"; break;
      case 'r': {
        const char* ampm = nl_langinfo(T_FMT_AMPM);
        out += (ampm && *ampm && std::string(ampm).find("%r") == std::string::npos) ? ampm : "%I:%M:%S %p";
        break;
      }
      default: out += '%'; out += c;
    }
  }
  return out;
}

}  // namespace

std::tm TmOf(TDateTime value) {
  const TDateParts p = DecodeDateTime(value);
  std::tm t{};
  t.tm_year = p.Year - 1900;
  t.tm_mon = p.Month - 1;
  t.tm_mday = p.Day;
  t.tm_hour = p.Hour;
  t.tm_min = p.Minute;
  t.tm_sec = p.Second;
  t.tm_wday = DayOfTheWeek(value) % 7;
  std::int64_t days = 0, msec = 0;
  SplitValue(value, days, msec);
  t.tm_yday = static_cast<int>(DaysFromCivil(p.Year, static_cast<unsigned>(p.Month), static_cast<unsigned>(p.Day)) -
                               DaysFromCivil(p.Year, 1, 1));
  t.tm_isdst = -1;
  return t;
}

bool TryEncodeDate(int year, int month, int day, TDateTime& result) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month)) return false;
  result = static_cast<double>(DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) -
                               DelphiEpochOffset);
  return true;
}

bool TryEncodeTime(int hour, int minute, int second, int msec, TDateTime& result) {
  if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 || msec < 0 || msec > 999)
    return false;
  result = static_cast<double>(((hour * 60 + minute) * 60 + second) * 1000 + msec) / static_cast<double>(MSecsPerDay);
  return true;
}

TDateTime EncodeDate(int year, int month, int day) {
  TDateTime r = 0;
  if (!TryEncodeDate(year, month, day, r)) throw EConvertError("Invalid argument to date encode");
  return r;
}

TDateTime EncodeTime(int hour, int minute, int second, int msec) {
  TDateTime r = 0;
  if (!TryEncodeTime(hour, minute, second, msec, r)) throw EConvertError("Invalid argument to time encode");
  return r;
}

TDateParts DecodeDateTime(TDateTime value) {
  std::int64_t days = 0, msec = 0;
  SplitValue(value, days, msec);
  TDateParts p;
  CivilFromDays(days + DelphiEpochOffset, p.Year, p.Month, p.Day);
  p.MSec = static_cast<int>(msec % 1000);
  msec /= 1000;
  p.Second = static_cast<int>(msec % 60);
  msec /= 60;
  p.Minute = static_cast<int>(msec % 60);
  p.Hour = static_cast<int>(msec / 60);
  return p;
}

int DayOfTheWeek(TDateTime value) {
  std::int64_t days = 0, msec = 0;
  SplitValue(value, days, msec);
  // 30 December 1899 was a Saturday (6).
  std::int64_t w = (days + 5) % 7;
  if (w < 0) w += 7;
  return static_cast<int>(w) + 1;
}

TDateTime DateOf(TDateTime value) {
  std::int64_t days = 0, msec = 0;
  SplitValue(value, days, msec);
  return static_cast<double>(days);
}

TDateTime TimeOf(TDateTime value) {
  std::int64_t days = 0, msec = 0;
  SplitValue(value, days, msec);
  return static_cast<double>(msec) / static_cast<double>(MSecsPerDay);
}

std::string FormatDateTime(const std::string& pattern, TDateTime value) {
  const TDateParts p = DecodeDateTime(value);
  std::string out;
  const std::size_t n = pattern.size();
  for (std::size_t i = 0; i < n;) {
    const char raw = pattern[i];
    if (raw == '"' || raw == '\'') {
      const std::size_t close = pattern.find(raw, i + 1);
      const std::size_t end = close == std::string::npos ? n : close;
      out.append(pattern, i + 1, end - i - 1);
      i = end == n ? n : end + 1;
      continue;
    }
    if (raw == ':') {
      out += TimeSeparator();
      ++i;
      continue;
    }
    const char c = AsciiLower(raw);
    std::size_t run = i;
    while (run < n && AsciiLower(pattern[run]) == c) ++run;
    run -= i;
    std::size_t used = 1;
    switch (c) {
      case 'd': used = PutNumber(out, p.Day, run, 2); break;
      case 'm': used = PutNumber(out, p.Month, run, 2); break;
      case 'h': used = PutNumber(out, p.Hour, run, 2); break;
      case 'n': used = PutNumber(out, p.Minute, run, 2); break;
      case 's': used = PutNumber(out, p.Second, run, 2); break;
      case 'z': used = PutNumber(out, p.MSec, run, 3); break;
      case 'y': used = PutYear(out, p.Year, run); break;
      default: out += raw;
    }
    i += used;
  }
  return out;
}

std::string LongTimeFormat() {
  const char* f = nl_langinfo(T_FMT);
  return (f && *f) ? f : "%H:%M:%S";
}

std::string ShortTimeFormat() {
  // The long format without its seconds and the separator before them.
  const std::string longFmt = ExpandComposite(LongTimeFormat());
  const std::size_t pos = longFmt.find("%S");
  if (pos == std::string::npos) return longFmt;
  std::size_t start = pos;
  while (start > 0 && longFmt[start - 1] != 'M' && longFmt[start - 1] != '%') --start;
  // start now points just after the minute conversion.
  return longFmt.substr(0, start) + longFmt.substr(pos + 2);
}

std::string ShortDateFormat() {
  const char* f = nl_langinfo(D_FMT);
  return (f && *f) ? f : "%m/%d/%y";
}

std::string LongDateFormat() { return "%-d %B %Y"; }

std::string TimeSeparator() {
  // The text between the hour and the minute in the long time format.
  const std::string fmt = ExpandComposite(LongTimeFormat());
  for (std::size_t i = 0; i + 1 < fmt.size(); ++i) {
    if (fmt[i] != '%') continue;
    std::size_t k = i + 1;
    while (k < fmt.size() && (fmt[k] == '-' || fmt[k] == '_' || fmt[k] == '0' || fmt[k] == 'O' || fmt[k] == 'E')) ++k;
    if (k >= fmt.size()) break;
    const char c = fmt[k];
    if (c == 'H' || c == 'I' || c == 'k' || c == 'l') {
      const std::size_t next = fmt.find('%', k + 1);
      std::string sep = fmt.substr(k + 1, next == std::string::npos ? std::string::npos : next - k - 1);
      return sep.empty() ? ":" : sep;
    }
    i = k;
  }
  return ":";
}

std::string FormatStrftime(const std::string& format, TDateTime value) {
  std::tm t = TmOf(value);
  char buf[512];
  const std::size_t len = std::strftime(buf, sizeof buf, format.c_str(), &t);
  return std::string(buf, len);
}

std::string FormatLongTime(TDateTime value) { return FormatStrftime(LongTimeFormat(), value); }
std::string FormatShortTime(TDateTime value) { return FormatStrftime(ShortTimeFormat(), value); }
std::string FormatShortDate(TDateTime value) { return FormatStrftime(ShortDateFormat(), value); }
std::string FormatLongDate(TDateTime value) { return FormatStrftime(LongDateFormat(), value); }

std::optional<TDateTime> TryStrToTimeWithFormat(const std::string& text, const std::string& format) {
  if (text.empty() || format.empty()) return std::nullopt;
  struct tm t {};
  t.tm_hour = 0;
  const char* end = strptime(text.c_str(), format.c_str(), &t);
  if (end == nullptr) return std::nullopt;
  // Blanks may follow; nothing else.
  if (!Trim(end).empty()) return std::nullopt;
  TDateTime r = 0;
  if (!TryEncodeTime(t.tm_hour, t.tm_min, t.tm_sec, 0, r)) return std::nullopt;
  return r;
}

namespace {

// H:MM or H:MM:SS, digits only, hour 0-23.
std::optional<TDateTime> TryPlainTime(const std::string& text) {
  int parts[3] = {0, 0, 0};
  int count = 0;
  std::size_t i = 0;
  while (count < 3) {
    const std::size_t start = i;
    int value = 0;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])) && i - start < 2) {
      value = value * 10 + (text[i] - '0');
      ++i;
    }
    if (i == start) return std::nullopt;
    // Minutes and seconds have exactly two digits.
    if (count > 0 && i - start != 2) return std::nullopt;
    parts[count++] = value;
    if (i == text.size()) break;
    if (text[i] != ':') return std::nullopt;
    ++i;
  }
  if (i != text.size() || count < 2) return std::nullopt;
  TDateTime r = 0;
  if (!TryEncodeTime(parts[0], parts[1], parts[2], 0, r)) return std::nullopt;
  return r;
}

// H:MM or H:MM:SS with hour 1-12 followed by AM or PM in any letter case: the
// long time format of English locales, read the same under every locale
// (one whose AM/PM words differ would otherwise reject it).
std::optional<TDateTime> TryPlainTime12(const std::string& text) {
  if (text.size() < 3) return std::nullopt;
  const char a = AsciiLower(text[text.size() - 2]);
  const char m = AsciiLower(text[text.size() - 1]);
  if ((a != 'a' && a != 'p') || m != 'm') return std::nullopt;
  const auto clock = TryPlainTime(Trim(text.substr(0, text.size() - 2)));
  if (!clock) return std::nullopt;
  const TDateParts p = DecodeDateTime(*clock);
  if (p.Hour < 1 || p.Hour > 12) return std::nullopt;
  TDateTime r = 0;
  if (!TryEncodeTime(p.Hour % 12 + (a == 'p' ? 12 : 0), p.Minute, p.Second, 0, r)) return std::nullopt;
  return r;
}

}  // namespace

std::optional<TDateTime> TryStrToTime(const std::string& text) {
  const std::string t = Trim(text);
  if (t.empty() || t.find('\0') != std::string::npos) return std::nullopt;
  if (auto r = TryPlainTime(t)) return r;
  if (auto r = TryPlainTime12(t)) return r;
  if (auto r = TryStrToTimeWithFormat(t, LongTimeFormat())) return r;
  // A file written under a 12-hour locale stays readable under another one.
  const char* ampm = nl_langinfo(T_FMT_AMPM);
  if (ampm && *ampm)
    if (auto r = TryStrToTimeWithFormat(t, ampm)) return r;
  return TryStrToTimeWithFormat(t, "%I:%M:%S %p");
}

TDateTime StrToTime(const std::string& text) {
  if (auto r = TryStrToTime(text)) return *r;
  throw EConvertError("'" + text + "' is not a valid time");
}
