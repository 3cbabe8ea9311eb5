#include "dialogs/time_of_day.h"

QTime TimeOfDayToQTime(TDateTime value) {
  const TDateParts parts = DecodeDateTime(TimeOf(value));
  return QTime(parts.Hour, parts.Minute, parts.Second, parts.MSec);
}

TDateTime QTimeToTimeOfDay(const QTime& time) {
  if (!time.isValid()) return 0;
  return EncodeTime(time.hour(), time.minute(), time.second(), time.msec());
}
