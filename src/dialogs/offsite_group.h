#pragma once
// TOffsiteGroup: the group "Копия в объектном хранилище" of a database's
// options: where the plan's backups also go (s3://bucket/prefix; empty:
// nowhere), the store's address and region, path-style addressing, and the
// files holding the store's keys and the encryption key. Only paths of those
// files are kept: a key typed in place of a path is refused. Its controls
// are its own; tests find them by their object names.

#include <QGroupBox>
#include <QString>
#include <functional>
#include <optional>

#include "controller/settings/settings.h"

class QCheckBox;
class QLineEdit;

class TOffsiteGroup : public QGroupBox {
 public:
  explicit TOffsiteGroup(QWidget* parent = nullptr);

  void Load(const TOffsiteSettings& place);
  // Why the controls cannot be stored (the control at fault focused);
  // nullopt when they can.
  std::optional<QString> Problem() const;
  // Stores the controls into `place`; a field left as it was loaded keeps
  // its value exactly.
  void Store(TOffsiteSettings& place) const;

  // Asks for a file, starting at `current`; empty when cancelled. Tests
  // replace it; the default is the file dialog.
  std::function<QString(const QString& title, const QString& current)> ChooseFile;

 private:
  // A line with a "..." button that fills it with a chosen file.
  QLineEdit* FileRow(const char* caption, const char* name, const char* title);

  QLineEdit* FUrl;
  QLineEdit* FEndpoint;
  QLineEdit* FRegion;
  QCheckBox* FPathStyle;
  QLineEdit* FCredentials;
  QLineEdit* FEncryptKey;
  // The values as loaded.
  TOffsiteSettings FLoaded;
};
