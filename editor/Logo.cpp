#include "Logo.h"

#include <QPainter>
#include <QRadialGradient>

// A glowing light over a dark phone key, drawn on a 64-pixel grid and scaled, so that every icon
// size is drawn sharp rather than resampled.
QImage ProgramLogo(int size) {
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(size / 64.0, size / 64.0);
  p.setBrush(QColor(40, 44, 52));
  p.setPen(Qt::NoPen);
  p.drawRoundedRect(4, 4, 56, 56, 12, 12);
  QRadialGradient glow(32, 32, 26);
  glow.setColorAt(0, QColor(255, 255, 255));
  glow.setColorAt(0.3, QColor(120, 200, 255));
  glow.setColorAt(1, QColor(120, 200, 255, 0));
  p.setBrush(glow);
  p.drawEllipse(QPoint(32, 32), 26, 26);
  return image;
}
