// The About dialog: the program icon, "Quillbright", "Version 1.5" and OK.
#pragma once

#include <QDialog>

namespace qb {

class TAboutBox : public QDialog {
  Q_OBJECT

 public:
  explicit TAboutBox(QWidget* parent = nullptr);

 protected:
  void showEvent(QShowEvent* event) override;  // centred on the screen
};

}  // namespace qb
