#include "shell/qt/AppIcon.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace shell::qt {

namespace {

QPixmap Draw(int size) {
  QPixmap pm(size, size);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(size / 64.0, size / 64.0);
  // The parcel.
  p.setPen(QPen(QColor(0x5a, 0x3a, 0x10), 2.5));
  p.setBrush(QColor(0xe8, 0xa8, 0x38));
  p.drawRoundedRect(QRectF(6, 6, 52, 52), 7, 7);
  // The fastener down the middle: teeth on alternate sides, then the pull.
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0x3a, 0x3a, 0x44));
  p.drawRect(QRectF(29, 6, 6, 40));
  p.setBrush(QColor(0xf4, 0xf4, 0xf4));
  for (int i = 0; i < 7; ++i) p.drawRect(QRectF(i % 2 ? 32 : 29, 8 + i * 5.5, 3, 3));
  p.setBrush(QColor(0x3a, 0x3a, 0x44));
  p.drawRoundedRect(QRectF(26, 44, 12, 14), 3, 3);
  p.setBrush(QColor(0xe8, 0xa8, 0x38));
  p.drawEllipse(QPointF(32, 53), 2.5, 2.5);
  return pm;
}

}  // namespace

QIcon AppIcon() {
  QIcon icon;
  for (int size : {16, 24, 32, 48, 64, 128}) icon.addPixmap(Draw(size));
  return icon;
}

}  // namespace shell::qt
