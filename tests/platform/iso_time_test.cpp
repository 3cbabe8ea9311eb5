#include "platform/iso_time.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

namespace {

// The process's time zone for the life of the object.
class TTimeZone {
 public:
  explicit TTimeZone(const char* zone) {
    if (const char* old = std::getenv("TZ")) FOld = old;
    setenv("TZ", zone, 1);
    tzset();
  }
  ~TTimeZone() {
    if (FOld.empty()) {
      unsetenv("TZ");
    } else {
      setenv("TZ", FOld.c_str(), 1);
    }
    tzset();
  }

 private:
  std::string FOld;
};

TEST(IsoTime, LocalMomentsCarryTheOffsetOfTheirDay) {
  TTimeZone zone("Europe/Berlin");
  const TDateTime winter = EncodeDate(2026, 12, 7) + EncodeTime(14, 5, 9, 0);
  const TDateTime summer = EncodeDate(2026, 7, 1) + EncodeTime(0, 0, 0, 0);
  EXPECT_EQ(FormatIso8601(winter), "2026-12-07T14:05:09+01:00");
  EXPECT_EQ(FormatIso8601(summer), "2026-07-01T00:00:00+02:00");
  // Read back, both name the same instant as UTC text does.
  EXPECT_EQ(ParseIso8601(FormatIso8601(winter)), ParseIso8601("2026-12-07T13:05:09Z"));
  EXPECT_EQ(ParseIso8601(FormatIso8601(summer)), ParseIso8601("2026-06-30T22:00:00Z"));
}

TEST(IsoTime, ParsesTheFormsOtherToolsWriteAndRefusesTheRest) {
  struct Row {
    const char* text;
    std::optional<std::int64_t> seconds;
  };
  const Row rows[] = {
      {"1970-01-01T00:00:00Z", 0},
      {"1970-01-01T00:00:00", 0},
      {"1970-01-01 01:00:00+01:00", 0},
      {"1970-01-01T00:00:00.750-0130", 5400},
      {"2000-02-29T12:00:00Z", 951825600},
      {"2001-02-29T12:00:00Z", std::nullopt},
      {"2026-12-07T24:00:00Z", std::nullopt},
      {"2026-12-07T10:00:00+1", std::nullopt},
      {"2026-12-07", std::nullopt},
      {"", std::nullopt},
      {"2026-12-07T10:00:00Zjunk", std::nullopt},
  };
  for (const Row& row : rows) EXPECT_EQ(ParseIso8601(row.text), row.seconds) << row.text;
}

}  // namespace
