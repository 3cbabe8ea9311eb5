#include "app/setting_bytes.h"

QString ShownText(const std::string& bytes) { return QString::fromStdString(bytes); }

QVariant OriginalBytes(const std::string& bytes) {
  return QVariant(QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())));
}

std::string BytesOf(const QString& shown, const std::string& original) {
  if (ShownText(original) == shown) return original;
  return shown.toStdString();
}

std::string BytesOf(const QString& shown, const QVariant& original) {
  if (original.typeId() != QMetaType::QByteArray) return shown.toStdString();
  const QByteArray bytes = original.toByteArray();
  return BytesOf(shown, std::string(bytes.constData(), static_cast<std::size_t>(bytes.size())));
}
