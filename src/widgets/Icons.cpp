#include "widgets/Icons.h"

#include <QPainter>
#include <QPainterPath>
#include <functional>

namespace qb {

namespace {

using Painting = std::function<void(QPainter&)>;

// Paints on a 16 by 16 canvas scaled to each size, so every size shows the
// same drawing.
QIcon PaintedIcon(const Painting& paint) {
  QIcon icon;
  for (int size : {16, 22, 24, 32, 48, 64}) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 16.0, size / 16.0);
    paint(painter);
    painter.end();
    icon.addPixmap(pixmap);
  }
  return icon;
}

QPen Outline(const QColor& fill) {
  return QPen(fill.darker(190), 1.0);
}

QPen Sign(qreal width = 1.8) {
  return QPen(Qt::white, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

void Disc(QPainter& p, const QColor& fill) {
  p.setPen(Outline(fill));
  p.setBrush(fill);
  p.drawEllipse(QRectF(1.5, 1.5, 13, 13));
}

void Badge(QPainter& p, const QColor& fill) {
  p.setPen(Outline(fill));
  p.setBrush(fill);
  p.drawRoundedRect(QRectF(1.5, 1.5, 13, 13), 3, 3);
}

void Letter(QPainter& p, const QString& letter) {
  QFont font("DejaVu Sans");
  font.setBold(true);
  font.setPixelSize(10);
  p.setFont(font);
  p.setPen(Qt::white);
  p.drawText(QRectF(1.5, 1.5, 13, 13), Qt::AlignCenter, letter);
}

// A red stroke across the lower right: "blocked".
void Bar(QPainter& p) {
  p.setPen(QPen(QColor(0x20, 0x20, 0x20), 3.2, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(9.5, 15), QPointF(15, 9.5));
  p.setPen(QPen(QColor(0xFF, 0x40, 0x40), 1.8, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(9.5, 15), QPointF(15, 9.5));
}

void Virus(QPainter& p) {
  const QColor red(0xD3, 0x2F, 0x2F);
  p.setPen(QPen(red.lighter(115), 1.6, Qt::SolidLine, Qt::RoundCap));
  for (int i = 0; i < 8; ++i) {
    p.save();
    p.translate(8, 8);
    p.rotate(45.0 * i);
    p.drawLine(QPointF(0, 4.5), QPointF(0, 7.2));
    p.restore();
  }
  p.setPen(Outline(red));
  p.setBrush(red);
  p.drawEllipse(QPointF(8, 8), 5, 5);
  p.setPen(Qt::NoPen);
  p.setBrush(Qt::white);
  p.drawEllipse(QPointF(6.5, 7), 1.2, 1.2);
  p.drawEllipse(QPointF(9.5, 9.2), 1.2, 1.2);
}

void Spam(QPainter& p) {
  const QColor orange(0xEF, 0x8A, 0x00);
  QPainterPath triangle;
  triangle.moveTo(8, 1.2);
  triangle.lineTo(15, 14.5);
  triangle.lineTo(1, 14.5);
  triangle.closeSubpath();
  p.setPen(Outline(orange));
  p.setBrush(orange);
  p.drawPath(triangle);
  p.setPen(Sign(1.9));
  p.drawLine(QPointF(8, 5.5), QPointF(8, 9.5));
  p.drawPoint(QPointF(8, 12.3));
}

void Useful(QPainter& p) {
  Disc(p, QColor(0x2E, 0x9D, 0x44));
  p.setPen(Sign(2.0));
  p.setBrush(Qt::NoBrush);
  QPainterPath tick;
  tick.moveTo(4.6, 8.3);
  tick.lineTo(7.0, 10.8);
  tick.lineTo(11.6, 5.4);
  p.drawPath(tick);
}

void Pending(QPainter& p) {
  Disc(p, QColor(0x8A, 0x8F, 0x98));
  p.setPen(Qt::NoPen);
  p.setBrush(Qt::white);
  for (qreal x : {4.8, 8.0, 11.2}) p.drawEllipse(QPointF(x, 8), 1.2, 1.2);
}

void Blocked(QPainter& p, const QColor& fill, const QString& letter) {
  Badge(p, fill);
  Letter(p, letter);
  Bar(p);
}

void Program(QPainter& p) {
  const QColor blue(0x1F, 0x5F, 0xB4);
  p.setPen(Outline(blue));
  p.setBrush(blue);
  p.drawRoundedRect(QRectF(0.8, 4, 14.4, 10.5), 1.5, 1.5);
  p.setPen(QPen(Qt::white, 1.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.setBrush(Qt::NoBrush);
  QPainterPath flap;
  flap.moveTo(1.8, 5);
  flap.lineTo(8, 10);
  flap.lineTo(14.2, 5);
  p.drawPath(flap);
  // The quill, across the upper right corner.
  QPainterPath quill;
  quill.moveTo(15.6, 0.4);
  quill.cubicTo(11.5, 1.2, 9.6, 4.0, 9.2, 7.6);
  quill.cubicTo(12.2, 6.4, 14.6, 4.2, 15.6, 0.4);
  p.setPen(QPen(QColor(0x8A, 0x60, 0x00), 0.8));
  p.setBrush(QColor(0xFF, 0xC8, 0x2E));
  p.drawPath(quill);
  p.drawLine(QPointF(9.2, 7.6), QPointF(8.0, 9.2));
}

}  // namespace

QIcon ProgramIcon() {
  static const QIcon icon = PaintedIcon(Program);
  return icon;
}

QIcon CategoryIcon(MessageCategory category) {
  switch (category) {
    case MessageCategory::mcVirus:
      return PaintedIcon(Virus);
    case MessageCategory::mcSpam:
      return PaintedIcon(Spam);
    case MessageCategory::mcUseful:
      return PaintedIcon(Useful);
    case MessageCategory::mcBlockedSubject:
      return PaintedIcon([](QPainter& p) { Blocked(p, QColor(0x6A, 0x3F, 0xB5), "S"); });
    case MessageCategory::mcBlockedSender:
      return PaintedIcon([](QPainter& p) { Blocked(p, QColor(0x15, 0x65, 0xC0), "F"); });
    case MessageCategory::mcBlockedRecipient:
      return PaintedIcon([](QPainter& p) { Blocked(p, QColor(0x00, 0x83, 0x8F), "T"); });
    default:
      return PaintedIcon(Pending);
  }
}

// The word mark beside the program icon: the name in the icon's blue, its
// "bright" half in the quill's gold.
QPixmap LogoPixmap(int height) {
  QFont font("DejaVu Sans");
  font.setBold(true);
  font.setPixelSize(height * 2 / 3);
  QFontMetrics metrics(font);
  const QString first = QStringLiteral("Quill");
  const QString second = QStringLiteral("bright");
  int split = metrics.horizontalAdvance(first);
  int width = split + metrics.horizontalAdvance(second) + 2;
  QPixmap pixmap(width, height);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setFont(font);
  painter.setPen(QColor(0x1F, 0x5F, 0xB4));
  painter.drawText(QRect(0, 0, split, height), Qt::AlignVCenter | Qt::AlignLeft, first);
  painter.setPen(QColor(0xC8, 0x8A, 0x00));
  painter.drawText(QRect(split, 0, width - split, height), Qt::AlignVCenter | Qt::AlignLeft,
                   second);
  return pixmap;
}

}  // namespace qb
