#include "widgets/PopupWindow.h"

#include <QMouseEvent>
#include <QPainter>

#include "widgets/DisplayText.h"

namespace qb {

namespace {

QColor ToQColor(TColor color) {
  return QColor(RedOf(color), GreenOf(color), BlueOf(color));
}

QFont ArialFont(bool bold) {
  QFont font("Arial");
  font.setStyleHint(QFont::SansSerif);
  font.setPointSize(8);
  font.setBold(bold);
  return font;
}

Qt::Alignment HorizontalAlignment(TTextAlignment alignment) {
  switch (alignment) {
    case TTextAlignment::taLeftJustify:
      return Qt::AlignLeft;
    case TTextAlignment::taRightJustify:
      return Qt::AlignRight;
    default:
      return Qt::AlignHCenter;
  }
}

}  // namespace

TPopupWindow::TPopupWindow(TfrmPopupNotifier& logic)
    : QWidget(nullptr, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                           Qt::WindowDoesNotAcceptFocus),
      logic_(logic),
      text_(new QLabel(this)),
      titleFont_(ArialFont(true)) {
  setAttribute(Qt::WA_ShowWithoutActivating);
  setAttribute(Qt::WA_DeleteOnClose, false);
  setWindowTitle("Quillbright");
  const TPopupWindowSettings& settings = logic_.Settings();
  text_->setTextFormat(Qt::PlainText);
  text_->setWordWrap(true);
  text_->setFont(ArialFont(false));
  text_->setAlignment(HorizontalAlignment(settings.TextAlignment) | Qt::AlignVCenter);
  text_->setText(DisplayText(settings.Text));
  text_->setAttribute(Qt::WA_TransparentForMouseEvents);
  QPalette palette = text_->palette();
  palette.setColor(QPalette::WindowText, Qt::black);
  text_->setPalette(palette);
  exitTimer_.setSingleShot(true);  // it switches itself off and does nothing else
  resize(settings.Width, settings.Height);
}

QString TPopupWindow::TitleText() const {
  return DisplayText(logic_.Settings().Title);
}

void TPopupWindow::SetBounds(const TRect& bounds) {
  setGeometry(bounds.Left, bounds.Top, bounds.Width(), bounds.Height());
  LayOutText();
}

void TPopupWindow::LayOutText() {
  const TPopupWindowSettings& settings = logic_.Settings();
  int width = settings.Width - 15;
  int height = text_->heightForWidth(width);
  TRect place = LayoutText(settings.Width, settings.Height, height);
  text_->setGeometry(place.Left, place.Top, place.Width(), place.Height());
}

void TPopupWindow::ShowNoActivate() {
  show();
  raise();
}

void TPopupWindow::Hide() {
  hide();
}

void TPopupWindow::StartExitTimer(std::chrono::milliseconds interval) {
  exitTimer_.start(static_cast<int>(std::min<long long>(interval.count(), INT32_MAX)));
}

void TPopupWindow::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const TPopupWindowSettings& settings = logic_.Settings();
  std::vector<TColor> lines = GradientLines(settings);
  bool vertical = settings.GradientOrientation == TOrientation::mbVertical;
  for (int i = 0; i < static_cast<int>(lines.size()); ++i) {
    painter.setPen(ToQColor(lines[static_cast<std::size_t>(i)]));
    if (vertical) {
      painter.drawLine(0, i, settings.Width, i);
    } else {
      painter.drawLine(i, 0, i, settings.Height);
    }
  }
  painter.setPen(QColor(0x60, 0x60, 0x80));
  painter.drawRect(rect().adjusted(0, 0, -1, -1));
  // Without an icon the title stands at the left edge (8, 8).
  painter.setFont(titleFont_);
  painter.setPen(Qt::black);
  painter.drawText(QRect(8, 8, settings.Width - 16, QFontMetrics(titleFont_).height()),
                   Qt::AlignLeft | Qt::AlignTop, TitleText());
}

void TPopupWindow::mouseReleaseEvent(QMouseEvent* event) {
  bool onText = text_->geometry().contains(event->position().toPoint());
  if (onText && event->button() == Qt::LeftButton) {
    logic_.TextClicked();
  } else {
    logic_.ButtonReleased();
  }
}

}  // namespace qb
