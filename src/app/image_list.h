#pragma once
// A numbered list of pictures shared by reference, as the tray icon's
// IconList and the main window's tab pictures use it. It is a QObject so that
// whoever refers to it learns when it goes away.

#include <QIcon>
#include <QList>
#include <QObject>

class TImageList : public QObject {
 public:
  explicit TImageList(QObject* owner = nullptr) : QObject(owner) {}

  int Count() const { return static_cast<int>(FImages.size()); }
  void Add(const QIcon& image) { FImages.append(image); }
  void Clear() { FImages.clear(); }
  // An empty icon for an index outside the list.
  QIcon GetIcon(int index) const { return index >= 0 && index < Count() ? FImages.at(index) : QIcon(); }

 private:
  QList<QIcon> FImages;
};
