#include "widgets/AboutBox.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

#include "app/Version.h"
#include "widgets/Icons.h"

namespace qb {

TAboutBox::TAboutBox(QWidget* parent) : QDialog(parent) {
  setWindowTitle("About");
  setWindowIcon(ProgramIcon());
  auto* icon = new QLabel(this);
  icon->setPixmap(ProgramIcon().pixmap(48, 48));
  auto* name = new QLabel("Quillbright", this);
  QFont bold = name->font();
  bold.setBold(true);
  bold.setPointSizeF(bold.pointSizeF() * 1.4);
  name->setFont(bold);
  auto* version = new QLabel(QString("Version ") + kProgramVersion +
                                 "\nFree software under the GNU GPL, version 3 or later",
                             this);
  auto* ok = new QPushButton("OK", this);
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, [this] { done(1); });

  auto* layout = new QGridLayout(this);
  layout->addWidget(icon, 0, 0, 2, 1, Qt::AlignTop);
  layout->addWidget(name, 0, 1);
  layout->addWidget(version, 1, 1);
  layout->addWidget(ok, 2, 0, 1, 2, Qt::AlignHCenter);
  layout->setSizeConstraint(QLayout::SetFixedSize);  // a fixed dialog border
}

void TAboutBox::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (QScreen* shown = screen()) move(shown->availableGeometry().center() - rect().center());
}

}  // namespace qb
