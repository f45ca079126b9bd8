#include "app/window/logo.h"

#include <QPainter>
#include <QPainterPath>

namespace quorvex {

QPixmap drawLogo() {
  QPixmap pixmap(90, 77);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);

  // A shield: the tunnel being watched.
  QPainterPath shield;
  shield.moveTo(45, 4);
  shield.cubicTo(58, 12, 70, 13, 78, 12);
  shield.cubicTo(79, 44, 66, 62, 45, 73);
  shield.cubicTo(24, 62, 11, 44, 12, 12);
  shield.cubicTo(20, 13, 32, 12, 45, 4);
  shield.closeSubpath();
  QLinearGradient fill(0, 4, 0, 73);
  fill.setColorAt(0, QColor(38, 104, 186));
  fill.setColorAt(1, QColor(17, 52, 110));
  p.setPen(QPen(QColor(12, 36, 80), 2));
  p.setBrush(fill);
  p.drawPath(shield);

  // A check mark: the answer it gives.
  QPen tick(QColor(0, 170, 70), 7, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
  p.setPen(tick);
  p.setBrush(Qt::NoBrush);
  QPainterPath mark;
  mark.moveTo(29, 38);
  mark.lineTo(41, 51);
  mark.lineTo(62, 26);
  p.drawPath(mark);
  return pixmap;
}

}  // namespace quorvex
