#include "dialogs/fixed_dialog.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QLayout>
#include <QPushButton>
#include <QScreen>
#include <algorithm>

TFixedDialog::TFixedDialog(QWidget* parent, int closeResult)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint),
      FCloseResult(closeResult) {
  setSizeGripEnabled(false);
}

void TFixedDialog::FixClientSize(int width, int height) {
  QSize need = layout() ? layout()->totalSizeHint() : sizeHint();
  setFixedSize(std::max(width, need.width()), std::max(height, need.height()));
}

void TFixedDialog::StartClientSize(int width, int height) {
  setWindowFlag(Qt::MSWindowsFixedSizeDialogHint, false);
  setSizeGripEnabled(true);
  if (layout()) layout()->activate();
  const QSize least = layout() ? layout()->minimumSize() : minimumSizeHint();
  setMinimumSize(least);
  QSize size(std::max(width, least.width()), std::max(height, least.height()));
  if (const QScreen* screen = QGuiApplication::primaryScreen())
    size = size.boundedTo(screen->availableGeometry().size()).expandedTo(least);
  resize(size);
}

void TFixedDialog::PlainButton(QPushButton* button) {
  button->setAutoDefault(false);
  button->setDefault(false);
}

void TFixedDialog::reject() { done(FCloseResult); }

void TFixedDialog::showEvent(QShowEvent* event) {
  QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
  if (screen) {
    QRect area = screen->geometry();
    move(area.center() - QPoint(width() / 2, height() / 2));
  }
  QDialog::showEvent(event);
}

void TFixedDialog::keyPressEvent(QKeyEvent* event) {
  // Esc would close the dialog; these dialogs give it no meaning.
  if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}
