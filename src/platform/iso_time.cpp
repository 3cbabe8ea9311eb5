#include "platform/iso_time.h"

#include <cstdio>
#include <ctime>

namespace {

// Days since 1970-01-01 of a date of the proleptic Gregorian calendar.
std::int64_t DaysFromCivil(std::int64_t year, unsigned month, unsigned day) {
  year -= month <= 2 ? 1 : 0;
  const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
  const auto yearOfEra = static_cast<unsigned>(year - era * 400);
  const unsigned dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + static_cast<std::int64_t>(dayOfEra) - 719468;
}

// `count` digits at `pos` as a number; advances `pos`.
std::optional<int> Digits(std::string_view text, std::size_t& pos, int count) {
  if (pos + static_cast<std::size_t>(count) > text.size()) return std::nullopt;
  int value = 0;
  for (int i = 0; i < count; ++i) {
    const char c = text[pos++];
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  return value;
}

bool Expect(std::string_view text, std::size_t& pos, std::string_view choices) {
  if (pos >= text.size() || choices.find(text[pos]) == std::string_view::npos) return false;
  ++pos;
  return true;
}

// The offset part: seconds east of UTC; nullopt when malformed.
std::optional<int> Offset(std::string_view text, std::size_t pos) {
  if (pos == text.size()) return 0;
  if (text.substr(pos) == "Z") return 0;
  const char sign = text[pos++];
  if (sign != '+' && sign != '-') return std::nullopt;
  const auto hours = Digits(text, pos, 2);
  if (pos < text.size() && text[pos] == ':') ++pos;
  const auto minutes = Digits(text, pos, 2);
  if (!hours || !minutes || pos != text.size() || *hours > 23 || *minutes > 59) return std::nullopt;
  const int seconds = *hours * 3600 + *minutes * 60;
  return sign == '-' ? -seconds : seconds;
}

}  // namespace

std::string FormatIso8601(TDateTime value) {
  const TDateParts p = DecodeDateTime(value);
  std::tm local = TmOf(value);
  const std::time_t moment = std::mktime(&local);
  long offset = 0;
  std::tm resolved{};
  if (moment != static_cast<std::time_t>(-1) && localtime_r(&moment, &resolved) != nullptr) offset = resolved.tm_gmtoff;
  const char sign = offset < 0 ? '-' : '+';
  const long magnitude = offset < 0 ? -offset : offset;
  char text[40];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d%c%02ld:%02ld", p.Year, p.Month, p.Day, p.Hour,
                p.Minute, p.Second, sign, magnitude / 3600, magnitude / 60 % 60);
  return text;
}

std::optional<std::int64_t> ParseIso8601(std::string_view text) {
  std::size_t pos = 0;
  const auto year = Digits(text, pos, 4);
  if (!year || !Expect(text, pos, "-")) return std::nullopt;
  const auto month = Digits(text, pos, 2);
  if (!month || !Expect(text, pos, "-")) return std::nullopt;
  const auto day = Digits(text, pos, 2);
  if (!day || !Expect(text, pos, "T ")) return std::nullopt;
  const auto hour = Digits(text, pos, 2);
  if (!hour || !Expect(text, pos, ":")) return std::nullopt;
  const auto minute = Digits(text, pos, 2);
  if (!minute || !Expect(text, pos, ":")) return std::nullopt;
  const auto second = Digits(text, pos, 2);
  if (!second) return std::nullopt;
  if (pos < text.size() && (text[pos] == '.' || text[pos] == ',')) {
    ++pos;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') ++pos;
  }
  TDateTime check = 0;
  if (!TryEncodeDate(*year, *month, *day, check) || *hour > 23 || *minute > 59 || *second > 60) return std::nullopt;
  const auto offset = Offset(text, pos);
  if (!offset) return std::nullopt;
  const std::int64_t days = DaysFromCivil(*year, static_cast<unsigned>(*month), static_cast<unsigned>(*day));
  return days * 86400 + *hour * 3600 + *minute * 60 + *second - *offset;
}
