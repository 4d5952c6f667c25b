#include "widgets/QtPopupNotifier.h"

#include <QGuiApplication>
#include <QScreen>
#include <QUrl>

#include "widgets/LinkLabel.h"
#include "widgets/PopupWindow.h"

namespace qb {

namespace {

TRect FromQRect(const QRect& r) {
  return {r.left(), r.top(), r.left() + r.width(), r.top() + r.height()};
}

}  // namespace

std::optional<TRect> TScreenDesktop::StripOfTrayIcon() {
  QScreen* screen = QGuiApplication::primaryScreen();
  if (!screen || screen->geometry() != screen->availableGeometry() || !TrayIconGeometry) {
    return std::nullopt;
  }
  QRect icon = TrayIconGeometry();
  if (icon.isEmpty() || !screen->geometry().contains(icon)) return std::nullopt;
  return StripAroundIcon(FromQRect(screen->geometry()), FromQRect(icon));
}

std::optional<TRect> TScreenDesktop::TaskbarRect() {
  QScreen* screen = QGuiApplication::primaryScreen();
  if (!screen) return std::nullopt;
  if (std::optional<TRect> strip = StripOfTrayIcon()) return strip;
  return TaskbarRectFromScreen(FromQRect(screen->geometry()),
                               FromQRect(screen->availableGeometry()));
}

TRect TScreenDesktop::WorkArea() {
  QScreen* screen = QGuiApplication::primaryScreen();
  if (!screen) return {};
  TRect available = FromQRect(screen->availableGeometry());
  if (std::optional<TRect> strip = StripOfTrayIcon()) return WorkAreaBesideStrip(available, *strip);
  return available;
}

TQtPopupNotifier::TQtPopupNotifier()
    : notifier_(desktop_,
                [](TfrmPopupNotifier& window) { return std::make_unique<TPopupWindow>(window); }) {
  LoadPopupNotifier1(notifier_);
  notifier_.OpenURL = [](const std::string& url) {
    OpenWebAddress(QUrl(QString::fromStdString(url)));
  };
  properties_.Title = notifier_.Title;
  properties_.Text = notifier_.Text;
  properties_.TimeOut = notifier_.TimeOut;
}

void TQtPopupNotifier::ShowPopup() {
  if (!properties_.GradientColor1.empty()) {
    notifier_.GradientColor1 = ParseColorText(properties_.GradientColor1);
  }
  if (!properties_.GradientColor2.empty()) {
    notifier_.GradientColor2 = ParseColorText(properties_.GradientColor2);
  }
  notifier_.Title = properties_.Title;
  notifier_.Text = properties_.Text;
  notifier_.TimeOut = properties_.TimeOut;
  notifier_.ShowPopup();
}

void TQtPopupNotifier::CloseAllPopups() {
  notifier_.TimeOut = properties_.TimeOut;
  notifier_.CloseAllPopups();
}

}  // namespace qb
