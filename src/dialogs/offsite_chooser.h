#pragma once
// TOffsiteChooser: picks one of the off-site copies of a store for a
// restore. It lists the copies it is given (the newest first, as the core
// orders them) with their sizes and dates; OK is open only while one is
// chosen. Its controls are its own; tests find them by their object names.

#include <QDialog>
#include <string>
#include <vector>

#include "jobs/targets/backup_target.h"

class QPushButton;
class QTreeWidget;

class TOffsiteChooser : public QDialog {
 public:
  TOffsiteChooser(QWidget* parent, const std::vector<TStoredCopy>& copies);

  // The chosen copy's URL ("s3://bucket/prefix/name"); empty: none chosen.
  std::string ChosenUrl() const;

 private:
  void Fill(const std::vector<TStoredCopy>& copies);

  std::vector<std::string> FUrls;
  QTreeWidget* FList;
  QPushButton* FOk;
};
