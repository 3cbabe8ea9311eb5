#include "dialogs/time_picker.h"

#include <QEvent>
#include <QLineEdit>

TTimePicker::TTimePicker(const QDateTime& value, QWidget* parent) : QDateTimeEdit(value, parent) {
  // The text field gets the clicks, not the picker.
  lineEdit()->installEventFilter(this);
}

bool TTimePicker::eventFilter(QObject* watched, QEvent* event) {
  const bool handled = QDateTimeEdit::eventFilter(watched, event);
  // After the field has placed its cursor: the section it landed in.
  if (watched == lineEdit() && event->type() == QEvent::MouseButtonRelease) setSelectedSection(currentSection());
  return handled;
}
