#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <filesystem>

#include "platform/date_time.h"
#include "platform/exception.h"
#include "platform/fake_clock.h"
#include "platform/temp_folder.h"

namespace {

TDateTime At(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0) {
  return EncodeDate(y, mo, d) + EncodeTime(h, mi, s, ms);
}

TEST(DateTime, EncodesDaysSince30December1899) {
  struct Case {
    int y, m, d;
    double days;
  } cases[] = {{1899, 12, 30, 0},   {1899, 12, 31, 1},    {1900, 1, 1, 2},      {1900, 3, 1, 61},
               {2000, 1, 1, 36526}, {2000, 2, 29, 36585}, {2026, 12, 6, 46362}, {1800, 1, 1, -36522}};
  for (const Case& c : cases) {
    EXPECT_DOUBLE_EQ(EncodeDate(c.y, c.m, c.d), c.days) << c.y << "-" << c.m << "-" << c.d;
    const TDateParts p = DecodeDateTime(c.days);
    EXPECT_EQ(p.Year, c.y);
    EXPECT_EQ(p.Month, c.m);
    EXPECT_EQ(p.Day, c.d);
  }
}

TEST(DateTime, RefusesDatesAndTimesThatDoNotExist) {
  EXPECT_THROW(EncodeDate(2026, 2, 29), EConvertError);
  EXPECT_THROW(EncodeDate(1900, 2, 29), EConvertError);
  EXPECT_NO_THROW(EncodeDate(2000, 2, 29));
  EXPECT_THROW(EncodeDate(2026, 13, 1), EConvertError);
  EXPECT_THROW(EncodeTime(24, 0, 0, 0), EConvertError);
  EXPECT_THROW(EncodeTime(12, 60, 0, 0), EConvertError);
}

TEST(DateTime, DecodesTimeOfDayRoundedToTheMillisecond) {
  const TDateParts p = DecodeDateTime(At(2026, 12, 6, 23, 59, 59, 999));
  EXPECT_EQ(p.Hour, 23);
  EXPECT_EQ(p.Minute, 59);
  EXPECT_EQ(p.Second, 59);
  EXPECT_EQ(p.MSec, 999);
  // A hair before midnight is midnight of the next day, never hour 24.
  const TDateParts q = DecodeDateTime(EncodeDate(2026, 12, 6) + 0.99999999999);
  EXPECT_EQ(q.Day, 7);
  EXPECT_EQ(q.Hour, 0);
  EXPECT_EQ(DecodeDateTime(At(2026, 12, 6, 8, 0, 30)).Second, 30);
}

TEST(DateTime, WeekdayRunsFromMondayOneToSundaySeven) {
  EXPECT_EQ(DayOfTheWeek(At(2026, 12, 7, 10)), 1);  // Monday
  EXPECT_EQ(DayOfTheWeek(At(2026, 12, 6, 23, 59)), 7);
  EXPECT_EQ(DayOfTheWeek(At(1899, 12, 30)), 6);
  EXPECT_DOUBLE_EQ(DateOf(At(2026, 12, 6, 12)), EncodeDate(2026, 12, 6));
  EXPECT_NEAR(TimeOf(At(2026, 12, 6, 12)), 0.5, 1e-12);
}

TEST(DateTime, FormatsTheProgramsPatterns) {
  std::setlocale(LC_ALL, "C");
  const TDateTime t = At(2026, 12, 6, 9, 5, 7);
  EXPECT_EQ(FormatDateTime("dd.mm.yyyy в hh:nn", t), "06.12.2026 в 09:05");
  EXPECT_EQ(FormatDateTime("dd_mm_yyyy_hh_nn", t), "06_12_2026_09_05");
  EXPECT_EQ(FormatDateTime("_dd_mm_yy_hh_nn", t), "_06_12_26_09_05");
  EXPECT_EQ(FormatDateTime("dd_mm_yyyy", t), "06_12_2026");
  EXPECT_EQ(FormatDateTime("h:nn:ss", t), "9:05:07");
  EXPECT_EQ(FormatDateTime("\"d\" d 'm' m", t), "d 6 m 12");
  EXPECT_EQ(FormatDateTime("_dd_mm_yy", At(2009, 1, 2)), "_02_01_09");
}

TEST(DateTime, LocaleFormatsOfTheCLibrary) {
  std::setlocale(LC_ALL, "C");
  const TDateTime t = At(2026, 12, 6, 14, 5, 9);
  EXPECT_EQ(TimeSeparator(), ":");
  EXPECT_EQ(FormatLongTime(t), "14:05:09");
  EXPECT_EQ(FormatShortTime(t), "14:05");
  EXPECT_EQ(FormatShortDate(t), "12/06/26");
  EXPECT_EQ(FormatLongDate(t), "6 December 2026");
}

TEST(DateTime, TimeParserTakesLongFormatAndPlainHoursMinutes) {
  std::setlocale(LC_ALL, "C");
  struct Case {
    const char* text;
    int h, m, s;  // h < 0: rejected
  } cases[] = {
      {"0:00:00", 0, 0, 0},   {"8:00:00", 8, 0, 0},     {"08:00:00", 8, 0, 0},     {"23:59:59", 23, 59, 59},
      {"8:30", 8, 30, 0},     {" 20:00:00 ", 20, 0, 0}, {"08:00:00 PM", 20, 0, 0}, {"12:00:00 AM", 0, 0, 0},
      {"24:00:00", -1, 0, 0}, {"8:60", -1, 0, 0},       {"8:5", -1, 0, 0},         {"8", -1, 0, 0},
      {"", -1, 0, 0},         {"abc", -1, 0, 0},        {"8:00:00:00", -1, 0, 0},  {"-1:00", -1, 0, 0},
      {"8:00x", -1, 0, 0},    {"8.00.00", -1, 0, 0},    {"8:00 pm", 20, 0, 0},     {"12:30:00AM", 0, 30, 0},
      {"12:00 PM", 12, 0, 0}, {"13:00 PM", -1, 0, 0},   {"0:30 AM", -1, 0, 0},     {"PM", -1, 0, 0},
  };
  for (const Case& c : cases) {
    const auto r = TryStrToTime(c.text);
    if (c.h < 0) {
      EXPECT_FALSE(r.has_value()) << c.text;
      EXPECT_THROW(StrToTime(c.text), EConvertError) << c.text;
    } else {
      ASSERT_TRUE(r.has_value()) << c.text;
      EXPECT_NEAR(*r, EncodeTime(c.h, c.m, c.s, 0), 1e-9) << c.text;
    }
  }
}

// Compiles a locale from the system's locale sources into `folder`; false
// when the tools or the sources are missing.
bool CompileLocale(const std::string& folder, const std::string& source) {
  const std::string command = "localedef -i " + source + " -f UTF-8 " + folder + source + ".UTF-8 >/dev/null 2>&1";
  const int ignored = std::system(command.c_str());
  (void)ignored;  // warnings give a nonzero status; the files tell
  return std::filesystem::exists(folder + source + ".UTF-8/LC_TIME");
}

// Plan times are written in the long time format of the locale at hand; a
// file written under one locale must read the same under another (an English
// locale writes "08:00:00 PM", which a Russian one cannot parse by itself).
TEST(DateTime, TimesWrittenUnderOneLocaleReadUnderAnother) {
  TTempFolder dir;
  if (!CompileLocale(dir.Path, "en_US") || !CompileLocale(dir.Path, "ru_RU"))
    GTEST_SKIP() << "localedef or the locale sources (package locales) are missing";
  const char* oldPath = std::getenv("LOCPATH");
  const std::string savedPath = oldPath ? oldPath : "";
  setenv("LOCPATH", dir.Path.c_str(), 1);
  const TDateTime times[] = {EncodeTime(20, 0, 0, 0), EncodeTime(0, 30, 15, 0), EncodeTime(12, 5, 0, 0),
                             EncodeTime(8, 0, 30, 0), EncodeTime(23, 59, 59, 0)};
  for (const char* writer : {"en_US.UTF-8", "ru_RU.UTF-8", "C"}) {
    for (const char* reader : {"en_US.UTF-8", "ru_RU.UTF-8", "C"}) {
      for (const TDateTime t : times) {
        ASSERT_NE(std::setlocale(LC_ALL, writer), nullptr) << writer;
        const std::string text = FormatLongTime(t);
        ASSERT_NE(std::setlocale(LC_ALL, reader), nullptr) << reader;
        const auto r = TryStrToTime(text);
        ASSERT_TRUE(r.has_value()) << writer << " -> " << reader << ": " << text;
        EXPECT_NEAR(*r, t, 1e-9) << writer << " -> " << reader << ": " << text;
      }
    }
  }
  std::setlocale(LC_ALL, "C");
  if (oldPath) {
    setenv("LOCPATH", savedPath.c_str(), 1);
  } else {
    unsetenv("LOCPATH");
  }
}

TEST(DateTime, OtherLongTimeFormatsReadBack) {
  const TDateTime t = EncodeTime(21, 7, 45, 0);
  for (const char* fmt : {"%H.%M.%S", "%I:%M:%S %p", "%H h %M min %S s"}) {
    const auto r = TryStrToTimeWithFormat(FormatStrftime(fmt, t), fmt);
    ASSERT_TRUE(r.has_value()) << fmt;
    EXPECT_NEAR(*r, t, 1e-9) << fmt;
  }
}

TEST(Clock, TestsReplaceTheClockAndPutItBack) {
  {
    TFakeClock clock(At(2026, 12, 6, 12, 15));
    EXPECT_DOUBLE_EQ(Now(), At(2026, 12, 6, 12, 15));
    clock.Advance(EncodeTime(1, 2, 3, 0));
    EXPECT_DOUBLE_EQ(Now(), At(2026, 12, 6, 13, 17, 3));
  }
  const TDateTime real = Now();
  EXPECT_GT(real, At(2020, 1, 1));
  EXPECT_NEAR(real, SystemNow(), 1.0 / 24 / 60);
}

}  // namespace
