#include "widgets/SetupDialogs.h"

#include <QCheckBox>
#include <QFontMetrics>
#include <QFrame>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/FirstRun.h"
#include "app/StartUp.h"
#include "app/Unit1.h"
#include "platform/Shell.h"
#include "setup/ThunderbirdAccounts.h"
#include "widgets/QtDialogs.h"

namespace qb {

namespace {

constexpr int kForm2Width = 310;
constexpr int kPanel1Height = 168;
constexpr int kPanel2Height = 177;

QLabel* WrappedLabel(const std::string& text, const char* name) {
  auto* label = new QLabel(QString::fromStdString(text));
  label->setObjectName(name);
  label->setWordWrap(true);
  return label;
}

// A panel whose texts stand inside a bevel, as the dialog's two parts do.
QFrame* Bevel(QLabel* label) {
  auto* frame = new QFrame;
  frame->setFrameShape(QFrame::Box);
  frame->setFrameShadow(QFrame::Sunken);
  auto* layout = new QVBoxLayout(frame);
  layout->addWidget(label);
  return frame;
}

}  // namespace

TForm2Dialog::TForm2Dialog(const std::string& programFolder, int gatewayPort, QWidget* parent)
    : QDialog(parent), form_(programFolder, gatewayPort), list_(new QListWidget) {
  setWindowTitle(kForm2Caption);
  setFixedWidth(kForm2Width);
  auto* layout = new QVBoxLayout(this);

  QLabel* label1 = WrappedLabel(kForm2Label1, "Label1");
  QFont bold = label1->font();
  bold.setBold(true);
  label1->setFont(bold);
  layout->addWidget(label1);

  panel1_ = new QWidget;
  panel1_->setObjectName("Panel1");
  panel1_->setFixedHeight(kPanel1Height);
  auto* automatic = new QVBoxLayout(panel1_);
  automatic->setContentsMargins(0, 0, 0, 0);
  automatic->addWidget(Bevel(WrappedLabel(Form2Label2Text(), "Label2")));
  list_->setObjectName("CheckListBox1");
  automatic->addWidget(list_, 1);
  auto* button1 = new QPushButton(kForm2Button1Caption);
  button1->setObjectName("Button1");
  automatic->addWidget(button1);
  layout->addWidget(panel1_);

  auto* panel2 = new QWidget;
  panel2->setObjectName("Panel2");
  panel2->setMinimumHeight(kPanel2Height);
  auto* manual = new QVBoxLayout(panel2);
  manual->setContentsMargins(0, 0, 0, 0);
  manual->addWidget(Bevel(WrappedLabel(Form2Label3Text(gatewayPort), "Label3")));
  auto* check = new QCheckBox(kForm2CheckCaption);
  check->setObjectName("chkmodification");
  manual->addWidget(check);
  auto* button2 = new QPushButton(kForm2Button2Caption);
  button2->setObjectName("Button2");
  manual->addWidget(button2, 0, Qt::AlignRight);
  layout->addWidget(panel2);

  connect(button1, &QPushButton::clicked, this, [this] { form_.Button1Click(); });
  connect(button2, &QPushButton::clicked, this, [this] { form_.Button2Click(); });
  connect(check, &QCheckBox::toggled, this, [this](bool on) { form_.chkmodification = on; });
  connect(list_, &QListWidget::itemChanged, this, &TForm2Dialog::ItemChanged);
  form_.OnCloseRequest = [this](TForm2* sender) { QDialog::done(sender->ModalResult); };
  form_.OnChanged = [this, button1](TForm2*) {
    button1->setEnabled(form_.Button1Enabled);
    ShowAccounts();
  };
  form_.FormCreate();
}

void TForm2Dialog::done(int result) {
  form_.FormClose();
  QDialog::done(result);
}

// Updated in place, so a tick's own signal never sees its row deleted.
void TForm2Dialog::ShowAccounts() {
  showing_ = true;
  const std::vector<TCheckListItem>& items = form_.CheckListBox1;
  while (list_->count() > static_cast<int>(items.size()))
    delete list_->takeItem(list_->count() - 1);
  for (std::size_t i = 0; i < items.size(); ++i) {
    QListWidgetItem* row = list_->item(static_cast<int>(i));
    if (!row) {
      row = new QListWidgetItem(list_);
      row->setFlags(row->flags() | Qt::ItemIsUserCheckable);
    }
    row->setText(QString::fromStdString(items[i].Text));
    row->setCheckState(items[i].Checked ? Qt::Checked : Qt::Unchecked);
  }
  panel1_->setVisible(form_.Panel1Visible);
  showing_ = false;
  adjustSize();
}

void TForm2Dialog::ItemChanged(QListWidgetItem* item) {
  if (showing_) return;
  form_.SetChecked(static_cast<std::size_t>(list_->row(item)), item->checkState() == Qt::Checked);
}

TUsageDialog::TUsageDialog(std::function<void()> setupWizard, QWidget* parent) : QDialog(parent) {
  setWindowTitle(kUsageCaption);
  setFixedSize(318, 227);
  auto* bevel = new QFrame(this);
  bevel->setFrameShape(QFrame::Box);
  bevel->setFrameShadow(QFrame::Sunken);
  bevel->setGeometry(8, 8, 302, 177);

  auto* label1 = new QLabel(kUsageLabel1, this);
  label1->setObjectName("Label1");
  label1->setFont(QFont("Arial", 9, QFont::Bold, true));
  label1->setStyleSheet("color: maroon");
  label1->setGeometry(16, 14, 286, 18);

  QFont small("Arial", 8);
  auto* label2 = new QLabel(kUsageLabel2, this);
  label2->setObjectName("Label2");
  label2->setFont(small);
  label2->setWordWrap(true);
  label2->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  label2->setGeometry(16, 40, 286, 34);
  // The button lies over the words "Click here" of the label.
  auto* button1 = new QPushButton(kUsageButton1Caption, this);
  button1->setObjectName("Button1");
  button1->setFont(small);
  button1->setGeometry(16 + QFontMetrics(small).horizontalAdvance("1) "), 39, 53, 17);

  auto* label3 = new QLabel(kUsageLabel3, this);
  label3->setObjectName("Label3");
  label3->setFont(small);
  label3->setGeometry(16, 78, 286, 16);

  auto* label4 = new QLabel(QString::fromStdString(UsageLabel4Text()), this);
  label4->setObjectName("Label4");
  label4->setFont(small);
  label4->setWordWrap(true);
  label4->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  label4->setGeometry(16, 98, 286, 84);

  auto* ok = new QPushButton(kUsageOKCaption, this);
  ok->setObjectName("OKBtn");
  ok->setDefault(true);
  ok->setGeometry(79, 194, 75, 25);
  auto* cancel = new QPushButton(kUsageCancelCaption, this);
  cancel->setObjectName("CancelBtn");
  cancel->setGeometry(163, 194, 75, 25);

  usage_.OnSetupWizard = [setupWizard = std::move(setupWizard)](TfrmUsage*) {
    if (setupWizard) setupWizard();
  };
  connect(button1, &QPushButton::clicked, this, [this] { usage_.Button1Click(); });
  connect(ok, &QPushButton::clicked, this, [this] {
    usage_.OKBtnClick();
    done(usage_.ModalResult);
  });
  connect(cancel, &QPushButton::clicked, this, [this] {
    usage_.CancelBtnClick();
    done(usage_.ModalResult);
  });
}

void ShowSetupWizard(QWidget* parent, const std::string& programFolder, int gatewayPort) {
  TForm2Dialog dialog(programFolder, gatewayPort, parent);
  dialog.exec();
}

void ShowUsageDialog(QWidget* parent, std::function<void()> setupWizard) {
  TUsageDialog dialog(std::move(setupWizard), parent);
  dialog.exec();
}

void OpenHelp(const std::string& programFolder) {
  CurrentShell().OpenDocument(HelpFilePath(programFolder));
}

void UndoSetup() {
  UndoThunderbirdSetup();
}

// A dialog opened while another is up (the usage dialog's "Click here")
// goes above that one.
void AttachSetupDialogs(TForm1& form, QWidget* mainWindow) {
  form.OnSetupWizard = [mainWindow](TForm1* sender) {
    QWidget* parent = DialogParent();
    ShowSetupWizard(parent ? parent : mainWindow, sender->State.ProgramFolder,
                    ListeningPortNumber());
  };
  form.OnShowUsageDialog = [mainWindow](TForm1* sender) {
    ShowUsageDialog(mainWindow, [sender] { sender->SetupWizard1Click(); });
  };
}

}  // namespace qb
