#pragma once
// What both settings dialogs share: a fixed border (or one the user may
// drag, for a dialog with a list), a size that is at least the layout's own
// and grows rather than clip a caption, placement in the
// centre of the screen, no special meaning for Enter and Esc, and a modal
// result for closing by the title-bar button.

#include <QDialog>

class QPushButton;

class TFixedDialog : public QDialog {
 public:
  // `closeResult`: the modal result of closing by the title-bar button.
  TFixedDialog(QWidget* parent, int closeResult);

  // Call once the layout is complete: the client area becomes at least
  // width × height, more where the captions need it, and stays fixed.
  void FixClientSize(int width, int height);
  // Instead, for a dialog whose content grows (a list): the user may size
  // it, never below what the layout needs; it opens at least width × height
  // (within the screen) and keeps the size the user gives it.
  void StartClientSize(int width, int height);
  // No button reacts to Enter by being the default one.
  static void PlainButton(QPushButton* button);

  void reject() override;

 protected:
  void showEvent(QShowEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  int FCloseResult;
};
