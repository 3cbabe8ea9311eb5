#pragma once
// Times of day between the controller's date-time values and Qt's pickers.
// Only the time of day crosses: dates stay on their own side.

#include <QTime>

#include "platform/date_time.h"

// The time of day of `value` (its date part ignored), to the millisecond.
QTime TimeOfDayToQTime(TDateTime value);
// A date-time with no date part: the time of day alone.
TDateTime QTimeToTimeOfDay(const QTime& time);
