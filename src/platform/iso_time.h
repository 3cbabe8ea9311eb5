#pragma once
// Moments as ISO 8601 text with the local offset ("2026-12-07T14:05:09+01:00"),
// the form other tools read without knowing this computer's time zone.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/date_time.h"

// The local moment `value` with the offset the local time zone has at that
// moment; whole seconds.
std::string FormatIso8601(TDateTime value);

// Seconds since 1970-01-01 00:00 UTC of "YYYY-MM-DDTHH:MM:SS" (a blank may
// stand for the "T"), with optional fractions of a second, followed by "Z",
// "+HH:MM", "-HH:MM", "+HHMM" or nothing (then taken as UTC); nullopt for any
// other text or a date that does not exist.
std::optional<std::int64_t> ParseIso8601(std::string_view text);
