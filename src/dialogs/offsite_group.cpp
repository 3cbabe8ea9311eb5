#include "dialogs/offsite_group.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QToolButton>
#include <exception>
#include <initializer_list>
#include <string>
#include <utility>

#include "platform/exception.h"
#include "storage/s3/s3_place.h"

namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

// The field's new value: as it was loaded while its text is unchanged (not
// even trimmed), else the trimmed text.
std::string Edited(const QLineEdit* edit, const std::string& loaded) {
  if (edit->text() == Q(loaded)) return loaded;
  return edit->text().trimmed().toStdString();
}

// Why `text` cannot be read by `parse` (which raises), prefixed by `what`.
template <typename TParse>
std::optional<QString> ParseProblem(const QString& text, const char* what, TParse parse) {
  try {
    static_cast<void>(parse(text.trimmed().toStdString()));
  } catch (const std::exception& error) {
    return QString::fromUtf8(what) + Q(MessageOf(error));
  }
  return std::nullopt;
}

}  // namespace

TOffsiteGroup::TOffsiteGroup(QWidget* parent) : QGroupBox(QString::fromUtf8("Копия в объектном хранилище"), parent) {
  setObjectName("gbOffsite");
  auto* form = new QFormLayout(this);
  const auto line = [&](const char* caption, const char* name, const char* placeholder) {
    auto* edit = new QLineEdit;
    edit->setObjectName(name);
    edit->setPlaceholderText(QString::fromUtf8(placeholder));
    form->addRow(QString::fromUtf8(caption), edit);
    return edit;
  };
  FUrl = line("Адрес", "eOffsiteUrl", "s3://корзина/префикс; пусто: без копии");
  FEndpoint = line("Сервер", "eOffsiteEndpoint", "https://s3.example.net; пусто: AWS_ENDPOINT_URL");
  FRegion = line("Регион", "eOffsiteRegion", "пусто: AWS_REGION или us-east-1");
  FPathStyle = new QCheckBox(QString::fromUtf8("Корзина в пути адреса (path-style)"));
  FPathStyle->setObjectName("chkOffsitePathStyle");
  form->addRow(FPathStyle);
  FCredentials = FileRow("Файл ключей доступа", "eOffsiteCredentials", "Выберите файл ключей доступа");
  FEncryptKey = FileRow("Файл ключа шифрования", "eOffsiteEncryptKey", "Выберите файл ключа шифрования");
  ChooseFile = [this](const QString& title, const QString& current) {
    return QFileDialog::getOpenFileName(this, title, current, QString(), nullptr, QFileDialog::DontUseNativeDialog);
  };
}

QLineEdit* TOffsiteGroup::FileRow(const char* caption, const char* name, const char* title) {
  auto* row = new QHBoxLayout;
  auto* edit = new QLineEdit;
  edit->setObjectName(name);
  edit->setPlaceholderText(QString::fromUtf8("полный путь к файлу"));
  auto* button = new QToolButton;
  button->setObjectName(QString(name).replace(0, 1, "sb"));
  button->setText("...");
  row->addWidget(edit, 1);
  row->addWidget(button);
  static_cast<QFormLayout*>(layout())->addRow(QString::fromUtf8(caption), row);
  connect(button, &QToolButton::clicked, this, [this, edit, title] {
    const QString file = ChooseFile(QString::fromUtf8(title), edit->text());
    if (!file.isEmpty()) edit->setText(file);
  });
  return edit;
}

void TOffsiteGroup::Load(const TOffsiteSettings& place) {
  FLoaded = place;
  FUrl->setText(Q(place.Url));
  FEndpoint->setText(Q(place.Endpoint));
  FRegion->setText(Q(place.Region));
  FPathStyle->setChecked(place.PathStyle);
  FCredentials->setText(Q(place.Credentials));
  FEncryptKey->setText(Q(place.EncryptKey));
}

std::optional<QString> TOffsiteGroup::Problem() const {
  const auto fail = [](QLineEdit* edit, const QString& why) {
    edit->setFocus();
    return std::optional<QString>(why);
  };
  if (!FUrl->text().trimmed().isEmpty())
    if (auto why = ParseProblem(FUrl->text(), "Адрес копии в объектном хранилище не принят: ", PlaceOfUrl))
      return fail(FUrl, *why);
  if (!FEndpoint->text().trimmed().isEmpty())
    if (auto why = ParseProblem(FEndpoint->text(), "Сервер объектного хранилища не принят: ", ParseEndpoint))
      return fail(FEndpoint, *why);
  // A key pasted where its file belongs would land in the settings file:
  // only a full path is taken, and the text is not repeated back.
  for (const auto& [edit, caption] :
       {std::pair{FCredentials, "Файл ключей доступа"}, std::pair{FEncryptKey, "Файл ключа шифрования"}}) {
    const QString path = edit->text().trimmed();
    if (!path.isEmpty() && !path.startsWith('/'))
      return fail(edit, QString::fromUtf8("«%1»: укажите полный путь к файлу (начиная с /); сами ключи в настройках "
                                          "не хранятся.")
                            .arg(QString::fromUtf8(caption)));
  }
  return std::nullopt;
}

void TOffsiteGroup::Store(TOffsiteSettings& place) const {
  place.Url = Edited(FUrl, FLoaded.Url);
  place.Endpoint = Edited(FEndpoint, FLoaded.Endpoint);
  place.Region = Edited(FRegion, FLoaded.Region);
  place.PathStyle = FPathStyle->isChecked();
  place.Credentials = Edited(FCredentials, FLoaded.Credentials);
  place.EncryptKey = Edited(FEncryptKey, FLoaded.EncryptKey);
}
