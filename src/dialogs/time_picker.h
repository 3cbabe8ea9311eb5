#pragma once
// TTimePicker: a time-of-day field that takes typed digits wherever it was
// clicked.
//
// A click in a plain QDateTimeEdit leaves the text cursor inside a section
// that is already full ("00"): a typed digit would make it three digits long,
// so the field ignores it, and the user sees the time field ignore the
// keyboard. Here a click selects the whole section under the cursor, as the
// keyboard focus does, and digits typed next replace it.

#include <QDateTimeEdit>

class TTimePicker : public QDateTimeEdit {
 public:
  TTimePicker(const QDateTime& value, QWidget* parent);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
};
