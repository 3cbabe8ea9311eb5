// Garbage settings files: the reader never crashes and every field holds a
// default or a value of its kind.

#include <random>

#include "controller_fixture.h"
#include "platform/profile_file.h"

namespace {

using SettingsFuzz = ControllerTest;

const char* const Keys[] = {"DataBase",     "LastBack",       "PageSize",     "Protocol", "BackShutDown",  "BackParam1",
                            "RestParam5",   "AutoBackName",   "RememberPass", "Day1Back", "DayPeriodBack", "QueueBack",
                            "DayBeginBack", "NightClockBack", "User",         "Pass",     "Name0",         "Name10"};
const char* const Sections[] = {"Main", "Parameters", "Plan", "BDNames", "main", " PLAN ", "x"};

std::string Garbage(std::mt19937& rng) {
  std::uniform_int_distribution<int> kind(0, 9), byte(0, 255), small(0, 40);
  std::string out;
  const int pieces = small(rng) + 1;
  for (int i = 0; i < pieces; ++i) {
    switch (kind(rng)) {
      case 0:  // binary bytes, NUL included
        for (int n = small(rng) * 8; n > 0; --n) out += static_cast<char>(byte(rng));
        break;
      case 1:  // a very long line
        out += std::string(10000, static_cast<char>('!' + byte(rng) % 90));
        out += '\n';
        break;
      case 2:  // section without its bracket
        out += "[" + std::string(Sections[byte(rng) % 7]) + "\n";
        break;
      case 3: out += "[" + std::string(Sections[byte(rng) % 7]) + "]\r\n"; break;
      case 4:  // known key, random value
      case 5: {
        out += Keys[byte(rng) % 18];
        out += byte(rng) % 2 ? " = " : "=";
        for (int n = small(rng); n > 0; --n) out += static_cast<char>(byte(rng) % 2 ? '0' + byte(rng) % 10 : byte(rng));
        out += '\n';
        break;
      }
      case 6: out += "=\n==\n]\n[]\n[=]\n"; break;
      case 7: out += "\r\r\n\n\r"; break;
      case 8: out += "DayBeginBack=" + std::to_string(byte(rng)) + ":" + std::to_string(byte(rng)) + "\n"; break;
      default: out += "PageSize=0x" + std::to_string(byte(rng) * 1000) + "\n";
    }
  }
  return out;
}

bool IsTimeOfDay(TDateTime t) { return t >= 0 && t < 1; }

TEST_F(SettingsFuzz, GarbageFilesGiveDefaultsOrValues) {
  std::mt19937 rng(20261206);
  for (int round = 0; round < 150; ++round) {
    const bool anchored = round % 2 == 0;
    // A well-formed first section must win over whatever follows.
    SetIni((anchored ? "[Main]\nUser=anchor\n" : "") + Garbage(rng));
    TQuorvin& q = Start();
    EXPECT_TRUE(q.Settings().PageSize == 1024 || q.Settings().PageSize == 2048 || q.Settings().PageSize == 4096 ||
                q.Settings().PageSize == 8192);
    EXPECT_EQ(q.Settings().BDNames.size(), 11u);
    for (const std::string& name : q.Settings().BDNames) EXPECT_LE(name.size(), 4 * ProfileValueMaxChars);
    EXPECT_LE(q.Settings().DataBase.size(), 4 * ProfileValueMaxChars);
    EXPECT_TRUE(IsTimeOfDay(q.Settings().PlanRecord.DayBeginBack));
    EXPECT_TRUE(IsTimeOfDay(q.Settings().PlanRecord.NightBeginBack));
    EXPECT_TRUE(IsTimeOfDay(q.Settings().PlanRecord.DayClockBack));
    EXPECT_TRUE(IsTimeOfDay(q.Settings().PlanRecord.NightClockBack));
    if (anchored) {
      EXPECT_EQ(q.Settings().User, "anchor") << "round " << round;
    }
    Close();  // writing back over garbage must not fail either
    EXPECT_TRUE(Prompts.Messages.empty()) << "round " << round;
    // What was written reads back as written.
    EXPECT_EQ(TIniFile(IniPath()).ReadString("Main", "PageSize", ""),
              std::to_string(TIniFile(IniPath()).ReadInteger("Main", "PageSize", -7)));
  }
}

TEST_F(SettingsFuzz, RandomReadsOfRandomBytes) {
  std::mt19937 rng(7);
  std::uniform_int_distribution<int> byte(0, 255), len(0, 3000);
  for (int round = 0; round < 150; ++round) {
    std::string bytes;
    for (int n = len(rng); n > 0; --n) {
      const int b = byte(rng);
      bytes += static_cast<char>(b < 20 ? "[]=\n\r "[b % 6] : b);
    }
    SetIni(bytes);
    TIniFile ini(IniPath());
    for (const char* section : Sections)
      for (const char* key : Keys) {
        const auto v = ReadProfileValue(IniPath(), section, key);
        if (v) {
          EXPECT_EQ(v->find_first_of("\r\n"), std::string::npos);
        }
        (void)ini.ReadInteger(section, key, 0);
        try {
          const TDateTime t = ini.ReadTime(section, key, 0);
          EXPECT_TRUE(IsTimeOfDay(t));
        } catch (const EConvertError&) {
        }
      }
  }
}

}  // namespace
