#include "widgets/LinkLabel.h"

#include <QDesktopServices>
#include <QMouseEvent>

namespace qb {

bool OpenWebAddress(const QUrl& address) {
  return QDesktopServices::openUrl(address);
}

TLinkLabel::TLinkLabel(const QUrl& address, QWidget* parent)
    : QLabel(address.toString(), parent), address_(address) {
  setTextFormat(Qt::PlainText);
  QFont underlined = font();
  underlined.setUnderline(true);
  setFont(underlined);
  QPalette palette = this->palette();
  palette.setColor(QPalette::WindowText, QColor(0x00, 0x00, 0xFF));
  setPalette(palette);
  setCursor(Qt::PointingHandCursor);
}

void TLinkLabel::mouseReleaseEvent(QMouseEvent* event) {
  QLabel::mouseReleaseEvent(event);
  if (event->button() != Qt::LeftButton || !rect().contains(event->position().toPoint())) return;
  emit Clicked(address_);
  OpenWebAddress(address_);
}

}  // namespace qb
