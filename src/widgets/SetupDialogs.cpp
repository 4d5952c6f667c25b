#include "widgets/SetupDialogs.h"

#include <QCheckBox>
#include <QFontMetrics>
#include <QFrame>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "app/FirstRun.h"
#include "app/StartUp.h"
#include "app/Unit1.h"
#include "platform/Dialogs.h"
#include "platform/Shell.h"
#include "setup/SetupPreview.h"
#include "setup/ThunderbirdAccounts.h"
#include "widgets/CheckListRows.h"
#include "widgets/QtDialogs.h"

namespace qb {

namespace {

constexpr int kForm2Width = 310;
constexpr int kPanel1Height = 168;
constexpr int kPanel2Height = 177;
constexpr int kCheckListHeight = 57;

// The dialog is 310 pixels wide; a label of fixed width lets the layout
// find the height its wrapped lines need.
constexpr int kForm2TextWidth = 280;

// Wider where the font needs it, so that no line of the manual settings
// ("POP3 Account Name: <accountname>#<servername>") is broken in two.
int Form2TextWidth(const QFont& font, const std::string& manualText) {
  const QFontMetrics metrics(font);
  int width = kForm2TextWidth;
  for (const QString& line : QString::fromStdString(manualText).split('\n')) {
    if (line.startsWith("POP3 ")) width = std::max(width, metrics.horizontalAdvance(line) + 2);
  }
  return width;
}

QLabel* WrappedLabel(const std::string& text, const char* name, int width) {
  auto* label = new QLabel(QString::fromStdString(text));
  label->setObjectName(name);
  label->setWordWrap(true);
  label->setFixedWidth(width);
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
  setMinimumWidth(kForm2Width);
  auto* layout = new QVBoxLayout(this);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  const std::string manualText = Form2Label3Text(gatewayPort);
  const int textWidth = Form2TextWidth(font(), manualText);
  QLabel* label1 = WrappedLabel(kForm2Label1, "Label1", textWidth);
  QFont bold = label1->font();
  bold.setBold(true);
  label1->setFont(bold);
  layout->addWidget(label1);

  panel1_ = new QWidget;
  panel1_->setObjectName("Panel1");
  panel1_->setMinimumHeight(kPanel1Height);
  auto* automatic = new QVBoxLayout(panel1_);
  automatic->setContentsMargins(0, 0, 0, 0);
  automatic->addWidget(Bevel(WrappedLabel(Form2Label2Text(), "Label2", textWidth)));
  list_->setObjectName("CheckListBox1");
  automatic->addWidget(list_, 1);
  auto* button1 = new QPushButton(kForm2Button1Caption);
  button1->setObjectName("Button1");
  automatic->addWidget(button1);
  layout->addWidget(panel1_);

  auto* panel2 = new QWidget;
  panel2->setObjectName("Panel2");
  panel2->setMinimumHeight(kPanel2Height);
  list_->setFixedHeight(kCheckListHeight);
  auto* manual = new QVBoxLayout(panel2);
  manual->setContentsMargins(0, 0, 0, 0);
  manual->addWidget(Bevel(WrappedLabel(manualText, "Label3", textWidth)));
  auto* check = new QCheckBox(kForm2CheckCaption);
  check->setObjectName("chkmodification");
  manual->addWidget(check);
  auto* button2 = new QPushButton(kForm2Button2Caption);
  button2->setObjectName("Button2");
  button2->setDefault(true);  // Enter closes; the rewrite needs its own click
  button1->setAutoDefault(false);
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

void TForm2Dialog::ShowAccounts() {
  showing_ = true;
  ShowCheckListRows(*list_, form_.CheckListBox1);
  panel1_->setVisible(form_.Panel1Visible);
  showing_ = false;
}

void TForm2Dialog::ItemChanged(QListWidgetItem* item) {
  if (showing_) return;
  form_.SetChecked(static_cast<std::size_t>(list_->row(item)), item->checkState() == Qt::Checked);
}

// The texts are laid out from the top at the height their font needs, so a
// font larger than the one the dialog was drawn for never clips a line; the
// button lies over the words "Click here" of the first step.
TUsageDialog::TUsageDialog(std::function<void()> setupWizard, QWidget* parent) : QDialog(parent) {
  constexpr int kLeft = 16, kTextWidth = 286, kGap = 6;
  setWindowTitle(kUsageCaption);
  auto* bevel = new QFrame(this);
  bevel->setFrameShape(QFrame::Box);
  bevel->setFrameShadow(QFrame::Sunken);

  QFont heading("Arial");
  heading.setPixelSize(12);
  heading.setBold(true);
  heading.setItalic(true);
  QFont text("Arial");
  text.setPixelSize(11);
  int y = 14;
  auto addLabel = [&](const QString& caption, const char* name, const QFont& font) {
    auto* label = new QLabel(caption, this);
    label->setObjectName(name);
    label->setFont(font);
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    int height = QFontMetrics(font)
                     .boundingRect(QRect(0, 0, kTextWidth, 1000), Qt::TextWordWrap, caption)
                     .height();
    label->setGeometry(kLeft, y, kTextWidth, height);
    y += height + kGap;
    return label;
  };
  addLabel(kUsageLabel1, "Label1", heading)->setStyleSheet("color: maroon");
  const int stepOneTop = y;
  addLabel(kUsageLabel2, "Label2", text);
  auto* button1 = new QPushButton(kUsageButton1Caption, this);
  button1->setObjectName("Button1");
  button1->setFont(text);
  const QFontMetrics metrics(text);
  button1->setGeometry(kLeft + metrics.horizontalAdvance("1) ") - 2, stepOneTop - 2,
                       metrics.horizontalAdvance(kUsageButton1Caption) + 8, metrics.height() + 4);
  addLabel(kUsageLabel3, "Label3", text);
  addLabel(QString::fromStdString(UsageLabel4Text()), "Label4", text);
  bevel->setGeometry(8, 8, 302, y - 8);

  auto* ok = new QPushButton(kUsageOKCaption, this);
  ok->setObjectName("OKBtn");
  ok->setDefault(true);
  ok->setGeometry(79, y + 8, 75, 25);
  auto* cancel = new QPushButton(kUsageCancelCaption, this);
  cancel->setObjectName("CancelBtn");
  cancel->setGeometry(163, y + 8, 75, 25);
  setFixedSize(318, std::max(227, y + 41));

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

// Says what it will set back and asks first; nothing to undo is said too.
void UndoSetup() {
  const std::string preview = UndoPreviewText();
  if (preview.empty()) {
    CurrentDialogs().ShowMessageBox(NothingToUndoText(), TMsgDlgType::mtInformation);
  } else if (CurrentDialogs().Confirm(preview, kUndoConfirmCaption)) {
    UndoThunderbirdSetup();
  }
}

// A dialog opened while another is up (the usage dialog's "Click here")
// goes above that one.
void AttachSetupDialogs(TForm1& form, const std::function<QWidget*()>& mainWindow) {
  form.OnSetupWizard = [mainWindow](TForm1* sender) {
    QWidget* parent = DialogParent();
    ShowSetupWizard(parent ? parent : mainWindow(), sender->State.ProgramFolder,
                    ListeningPortNumber());
  };
  form.OnShowUsageDialog = [mainWindow](TForm1* sender) {
    ShowUsageDialog(mainWindow(), [sender] { sender->SetupWizard1Click(); });
  };
}

}  // namespace qb
