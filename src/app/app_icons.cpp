#include "app/app_icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace {

// A database drum: three stacked discs, in `body` with a darker rim.
void DrawDrum(QPainter& p, const QRectF& box, const QColor& body) {
  const qreal w = box.width();
  const qreal capH = box.height() * 0.28;
  const QColor rim = body.darker(160);
  p.setPen(QPen(rim, qMax<qreal>(1.0, w / 24)));
  QPainterPath side;
  side.moveTo(box.left(), box.top() + capH / 2);
  side.lineTo(box.left(), box.bottom() - capH / 2);
  side.arcTo(QRectF(box.left(), box.bottom() - capH, w, capH), 180, 180);
  side.lineTo(box.right(), box.top() + capH / 2);
  side.closeSubpath();
  p.setBrush(body);
  p.drawPath(side);
  // Bands between the discs.
  for (int i = 1; i <= 2; ++i) {
    const qreal y = box.top() + (box.height() - capH) * i / 3.0;
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(box.left(), y, w, capH), 180 * 16, 180 * 16);
  }
  p.setBrush(body.lighter(135));
  p.drawEllipse(QRectF(box.left(), box.top(), w, capH));
}

QPixmap Canvas(int size) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  return pixmap;
}

QPixmap DatabasePicture() {
  QPixmap pm = Canvas(32);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  DrawDrum(p, QRectF(4, 3, 19, 24), QColor(60, 120, 200));
  // Green arrow out of the drum: a copy is being made.
  p.setPen(QPen(QColor(20, 110, 30), 1));
  p.setBrush(QColor(60, 180, 70));
  QPainterPath arrow;
  arrow.moveTo(17, 17);
  arrow.lineTo(23, 17);
  arrow.lineTo(23, 13);
  arrow.lineTo(30, 21);
  arrow.lineTo(23, 29);
  arrow.lineTo(23, 25);
  arrow.lineTo(17, 25);
  arrow.closeSubpath();
  p.drawPath(arrow);
  return pm;
}

QPixmap RestorePicture() {
  QPixmap pm = Canvas(32);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  // A backup file (sheet with a folded corner) ...
  p.setPen(QPen(QColor(110, 90, 40), 1));
  p.setBrush(QColor(250, 225, 140));
  QPainterPath sheet;
  sheet.moveTo(2, 3);
  sheet.lineTo(12, 3);
  sheet.lineTo(16, 7);
  sheet.lineTo(16, 21);
  sheet.lineTo(2, 21);
  sheet.closeSubpath();
  p.drawPath(sheet);
  p.drawLine(QPointF(12, 3), QPointF(12, 7));
  p.drawLine(QPointF(12, 7), QPointF(16, 7));
  // ... turned back into a database.
  DrawDrum(p, QRectF(15, 10, 15, 20), QColor(60, 120, 200));
  p.setPen(QPen(QColor(160, 40, 30), 2.2));
  p.setBrush(Qt::NoBrush);
  p.drawArc(QRectF(5, 12, 14, 14), 200 * 16, 150 * 16);
  p.setBrush(QColor(200, 50, 40));
  p.setPen(Qt::NoPen);
  QPolygonF head;
  head << QPointF(16.5, 24.5) << QPointF(21.5, 22) << QPointF(16, 19.5);
  p.drawPolygon(head);
  return pm;
}

QPixmap LoginPicture() {
  QPixmap pm = Canvas(32);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  // A person ...
  p.setPen(QPen(QColor(60, 60, 90), 1));
  p.setBrush(QColor(120, 140, 200));
  p.drawEllipse(QRectF(2, 16, 18, 16));
  p.setBrush(QColor(240, 200, 160));
  p.drawEllipse(QRectF(6, 4, 10, 11));
  // ... and a key.
  p.setPen(QPen(QColor(130, 100, 10), 1));
  p.setBrush(QColor(235, 190, 40));
  p.drawEllipse(QRectF(18, 6, 11, 11));
  p.setBrush(Qt::transparent);
  p.drawEllipse(QRectF(21.5, 9.5, 4, 4));
  p.setBrush(QColor(235, 190, 40));
  p.drawRect(QRectF(22, 16, 3, 13));
  p.drawRect(QRectF(25, 22, 3, 2));
  p.drawRect(QRectF(25, 26, 3, 2));
  return pm;
}

QPixmap AboutPicture() {
  QPixmap pm = Canvas(32);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(QColor(20, 60, 140), 1.5));
  p.setBrush(QColor(70, 130, 220));
  p.drawEllipse(QRectF(3, 3, 26, 26));
  p.setPen(Qt::NoPen);
  p.setBrush(Qt::white);
  p.drawEllipse(QRectF(14, 7.5, 4.5, 4.5));
  p.drawRoundedRect(QRectF(14, 14, 4.5, 11), 1.5, 1.5);
  return pm;
}

// A clock face over rising bars: what the jobs took, over time.
QPixmap HistoryPicture() {
  QPixmap pm = Canvas(32);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(QColor(40, 90, 40), 1));
  const QColor bar(90, 170, 80);
  for (int i = 0; i < 4; ++i) {
    const qreal height = 8 + i * 5;
    p.setBrush(i == 2 ? QColor(210, 60, 50) : bar);
    p.drawRect(QRectF(3 + i * 7, 30 - height, 5, height));
  }
  p.setPen(QPen(QColor(50, 60, 90), 1.2));
  p.setBrush(QColor(245, 245, 250));
  p.drawEllipse(QRectF(2, 1, 15, 15));
  p.drawLine(QPointF(9.5, 8.5), QPointF(9.5, 3.5));
  p.drawLine(QPointF(9.5, 8.5), QPointF(13, 10));
  return pm;
}

// A small drum on a coloured disc: grey while the plan is stopped, green
// while it runs, amber for the spare picture.
QPixmap TrayPixmap(int size, const QColor& disc) {
  QPixmap pm = Canvas(size);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  const qreal s = size / 16.0;
  p.setPen(QPen(disc.darker(170), s));
  p.setBrush(disc);
  p.drawEllipse(QRectF(0.5 * s, 0.5 * s, 15 * s, 15 * s));
  DrawDrum(p, QRectF(4.5 * s, 3 * s, 7 * s, 10 * s), QColor(235, 240, 250));
  return pm;
}

QColor TrayColour(int index) {
  switch (index) {
    case 1: return QColor(40, 160, 60);
    case 2: return QColor(200, 50, 40);
    default: return QColor(120, 125, 135);
  }
}

// A yellow warning triangle with "!" over the lower right of the picture:
// the last plan backup needs attention.
void DrawWarningBadge(QPixmap& pm) {
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  const qreal s = pm.width() / 16.0;
  const QPolygonF triangle{QPointF(11.5 * s, 6.5 * s), QPointF(16 * s, 15.5 * s), QPointF(7 * s, 15.5 * s)};
  p.setPen(QPen(QColor(90, 60, 0), 0.8 * s));
  p.setBrush(QColor(255, 210, 40));
  p.drawPolygon(triangle);
  p.setPen(QPen(Qt::black, 1.4 * s, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(11.5 * s, 9.3 * s), QPointF(11.5 * s, 12.4 * s));
  p.drawPoint(QPointF(11.5 * s, 14.2 * s));
}

}  // namespace

QIcon TabPicture(int index) {
  switch (index) {
    case 0: return QIcon(DatabasePicture());
    case 1: return QIcon(RestorePicture());
    case 2: return QIcon(LoginPicture());
    case 3: return QIcon(AboutPicture());
    case 4: return QIcon(HistoryPicture());
    default: return QIcon();
  }
}

QIcon TrayPicture(int index) {
  QIcon icon;
  for (int size : {16, 22, 24, 32}) {
    QPixmap pm = TrayPixmap(size, TrayColour(index));
    if (index == 2) DrawWarningBadge(pm);
    icon.addPixmap(pm);
  }
  return icon;
}

QPixmap ApplicationPixmap(int size) {
  QPixmap pm = Canvas(size);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  const qreal s = size / 32.0;
  DrawDrum(p, QRectF(5 * s, 2 * s, 22 * s, 28 * s), QColor(60, 120, 200));
  return pm;
}

QIcon ApplicationIcon() {
  QIcon icon;
  for (int size : {16, 32, 48, 64}) icon.addPixmap(ApplicationPixmap(size));
  return icon;
}
