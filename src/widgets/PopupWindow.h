// The popup notification's window (the view of TfrmPopupNotifier): frameless,
// on top, shown without taking the focus; a painted gradient, the title at
// the top left, the text word-wrapped and centred. "&" shows as it is. A
// mouse release anywhere goes to the window's logic, which raises OnClick
// and closes it.
#pragma once

#include <QLabel>
#include <QTimer>
#include <QWidget>

#include "notify/PopupNotifier.h"

namespace qb {

class TPopupWindow : public QWidget, public IPopupView {
  Q_OBJECT

 public:
  explicit TPopupWindow(TfrmPopupNotifier& logic);

  void SetBounds(const TRect& bounds) override;
  void ShowNoActivate() override;
  void Hide() override;
  void StartExitTimer(std::chrono::milliseconds interval) override;

  QRect TextGeometry() const { return text_->geometry(); }
  QString TitleText() const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  void LayOutText();

  TfrmPopupNotifier& logic_;
  QLabel* text_;
  QFont titleFont_;
  QTimer exitTimer_;
};

}  // namespace qb
