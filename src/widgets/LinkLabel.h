// The top panel's link label: a web address in blue, underlined, with a
// hand cursor; a click opens it with the desktop's handler.
#pragma once

#include <QLabel>
#include <QUrl>

namespace qb {

inline constexpr const char* kVendorAddress = "https://www.quillbright.example/";

// Opens a web address with the desktop's handler.
bool OpenWebAddress(const QUrl& address);

class TLinkLabel : public QLabel {
  Q_OBJECT

 public:
  explicit TLinkLabel(const QUrl& address, QWidget* parent = nullptr);
  QUrl Address() const { return address_; }

 signals:
  void Clicked(const QUrl& address);

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  QUrl address_;
};

}  // namespace qb
