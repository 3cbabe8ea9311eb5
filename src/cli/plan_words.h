#pragma once
// The words of the plan on the command line, read and written with one
// table each: weekdays ("mon-fri,sun", "none"), rhythms ("20m", "30m",
// "1h" … "4h", "off"), times of day ("08:00", "8:00:30"), backup kinds
// ("logical", "incremental"). Words that do not read raise EUsage.

#include <array>
#include <cstdint>
#include <string>

#include "controller/settings/settings.h"

std::array<bool, 7> ParseDays(const std::string& text);
std::string DaysWords(const std::array<bool, 7>& days);
std::array<bool, 7> DaysOf(const TPlanRecord& plan);

// A window's rhythm 0 … 6 (7, a clock time, has options of its own).
std::uint8_t ParseRhythm(const std::string& text);
std::string RhythmWord(std::uint8_t period);

TDateTime ParseClock(const std::string& text);
// "08:00", or "08:00:30" with seconds.
std::string ClockWords(TDateTime time);

std::int32_t ParseKind(const std::string& text);
const char* KindWord(std::int32_t kind);

// "TCP", "Local" (the protocols quorvinctl runs); the index the settings keep.
std::int32_t ParseProtocol(const std::string& text);
const char* ProtocolWord(std::int32_t protocol);

// One rhythm as the options that set it: "--days mon-fri --day 08:00
// --day-every 1h --night 20:00 --night-at 02:30".
std::string RhythmOptions(const TPlanRecord& plan);
