#include "platform/iso_time.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

namespace {

TEST(IsoTime, LocalMomentsCarryTheOffsetOfTheirDay) {
  const char* old = std::getenv("TZ");
  const std::string saved = old ? old : "";
  setenv("TZ", "Europe/Berlin", 1);
  tzset();
  const TDateTime winter = EncodeDate(2026, 12, 7) + EncodeTime(14, 5, 9, 0);
  const TDateTime summer = EncodeDate(2026, 7, 1);
  EXPECT_EQ(FormatIso8601(winter), "2026-12-07T14:05:09+01:00");
  EXPECT_EQ(FormatIso8601(summer), "2026-07-01T00:00:00+02:00");
  EXPECT_EQ(ParseIso8601(FormatIso8601(summer)), ParseIso8601("2026-06-30T22:00:00Z"));
  old ? setenv("TZ", saved.c_str(), 1) : unsetenv("TZ");
  tzset();
}

TEST(IsoTime, ParsesTheFormsOtherToolsWriteAndRefusesTheRest) {
  const std::pair<const char*, std::optional<std::int64_t>> rows[] = {
      {"1970-01-01T00:00:00Z", 0},
      {"1970-01-01 01:00:00+01:00", 0},
      {"1970-01-01T00:00:00.750-0130", 5400},
      {"2000-02-29T12:00:00", 951825600},
      {"2001-02-29T12:00:00Z", std::nullopt},
      {"2026-12-07T24:00:00Z", std::nullopt},
      {"2026-12-07T10:00:00+1", std::nullopt},
      {"2026-12-07", std::nullopt},
      {"2026-12-07T10:00:00Zjunk", std::nullopt},
  };
  for (const auto& [text, seconds] : rows) EXPECT_EQ(ParseIso8601(text), seconds) << text;
}

}  // namespace
