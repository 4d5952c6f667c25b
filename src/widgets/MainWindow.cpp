#include "widgets/MainWindow.h"

#include <QCloseEvent>
#include <QFile>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QMenuBar>
#include <QSaveFile>
#include <QScreen>
#include <QStatusBar>
#include <QVBoxLayout>

#include "platform/Dialogs.h"
#include "widgets/AboutBox.h"
#include "widgets/BlockListEditorDialog.h"
#include "widgets/DisplayText.h"
#include "widgets/Icons.h"
#include "widgets/LinkLabel.h"
#include "widgets/RemovedMailWindow.h"

namespace qb {

namespace {

struct LegendLine {
  MessageCategory Category;
  const char* Caption;
};

// The legend's order: virus, spam, useful, blocked senders, blocked
// subjects, blocked recipients.
const LegendLine kLegend[] = {
    {MessageCategory::mcVirus, "possible virused messages,"},
    {MessageCategory::mcSpam, "spam messages"},
    {MessageCategory::mcUseful, "useful messages"},
    {MessageCategory::mcBlockedSender, "messages from blocked senders"},
    {MessageCategory::mcBlockedSubject, "messages of blocked subjects (From: field)"},
    {MessageCategory::mcBlockedRecipient, "messages of blocked recipients (To: field)"},
};

QLabel* WrappedLabel(const QString& text, QWidget* parent, const QColor& colour = {}) {
  auto* label = new QLabel(text, parent);
  label->setTextFormat(Qt::PlainText);
  label->setWordWrap(true);
  if (colour.isValid()) {
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
  }
  return label;
}

void Paint(QWidget* widget, const QColor& background, const QColor& text = Qt::black) {
  widget->setAutoFillBackground(true);
  QPalette palette = widget->palette();
  palette.setColor(QPalette::Window, background);
  palette.setColor(QPalette::WindowText, text);
  widget->setPalette(palette);
}

}  // namespace

TMainWindow::TMainWindow(TForm1& form, QWidget* parent)
    : QMainWindow(parent), form_(form), model_(form) {
  setWindowTitle("Quillbright");
  setWindowIcon(ProgramIcon());
  auto* central = new QWidget(this);
  auto* layout = new QVBoxLayout(central);
  layout->setContentsMargins(5, 5, 5, 5);
  layout->setSpacing(4);
  layout->addWidget(BuildTopPanel());
  lblAccount_ = new QLabel(central);
  lblAccount_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  lblAccount_->setTextFormat(Qt::PlainText);
  reviews_ = new TReviewChooser(form_, central);
  auto* accountRow = new QHBoxLayout;
  accountRow->addWidget(reviews_);
  accountRow->addWidget(lblAccount_, 1);
  layout->addLayout(accountRow);

  clientArea_ = new QStackedWidget(central);
  clientArea_->addWidget(BuildIntroduction());
  list_ = new QTableView(clientArea_);
  list_->setModel(&model_);
  list_->setShowGrid(true);
  list_->setSelectionBehavior(QAbstractItemView::SelectRows);
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  list_->setIconSize(QSize(16, 16));
  list_->verticalHeader()->hide();
  list_->verticalHeader()->setDefaultSectionSize(list_->fontMetrics().height() + 6);
  list_->horizontalHeader()->setSectionsClickable(true);
  list_->horizontalHeader()->setHighlightSections(false);
  list_->setColumnHidden(TReviewListModel::kMessageNumberColumn, true);
  list_->setColumnHidden(TReviewListModel::kUidColumn, true);
  list_->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(list_->horizontalHeader(), &QHeaderView::sectionClicked, this,
          [this](int column) { form_.ReviewListView1ColumnClick(column); });
  connect(list_, &QWidget::customContextMenuRequested, this, &TMainWindow::ShowContextMenu);
  connect(&model_, &QAbstractItemModel::modelReset, this, &TMainWindow::FitColumns);
  connect(&model_, &QAbstractItemModel::rowsInserted, this, &TMainWindow::FitColumns);
  clientArea_->addWidget(list_);
  layout->addWidget(clientArea_, 1);

  progress_ = new QProgressBar(central);
  progress_->setTextVisible(false);
  progress_->setFixedHeight(14);
  layout->addWidget(progress_);
  layout->addWidget(BuildPanel1());
  setCentralWidget(central);

  status_ = new QLabel(this);
  status_->setTextFormat(Qt::PlainText);
  statusBar()->addWidget(status_, 1);
  statusBar()->setSizeGripEnabled(false);

  BuildMainMenu();
  BuildContextMenu();

  resize(702, 460);
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    QRect area = screen->availableGeometry();
    move(area.center() - QPoint(702 / 2, 460 / 2));
  }
  form_.OnChanged = [this](TForm1*) { Refresh(); };
  Refresh();
}

TMainWindow::~TMainWindow() {
  form_.OnChanged = nullptr;
}

QWidget* TMainWindow::BuildTopPanel() {
  auto* panel = new QWidget(this);
  auto* row = new QHBoxLayout(panel);
  row->setContentsMargins(0, 0, 0, 0);
  auto* icon = new QLabel(panel);
  icon->setPixmap(ProgramIcon().pixmap(32, 32));
  row->addWidget(icon);
  auto* logo = new QLabel(panel);
  logo->setPixmap(LogoPixmap(32));
  row->addWidget(logo);
  row->addStretch(1);
  auto* more = new QVBoxLayout;
  more->addWidget(new QLabel("More software are available at ", panel));
  auto* link = new TLinkLabel(QUrl(kVendorAddress), panel);
  link->setObjectName("Label3");
  more->addWidget(link);
  row->addLayout(more);
  return panel;
}

QWidget* TMainWindow::BuildLegend(const QString& heading, QWidget* parent) {
  auto* legend = new QWidget(parent);
  auto* lines = new QVBoxLayout(legend);
  lines->setContentsMargins(4, 4, 4, 4);
  lines->setSpacing(1);
  if (!heading.isEmpty()) lines->addWidget(new QLabel(heading, legend));
  for (const LegendLine& line : kLegend) {
    auto* row = new QHBoxLayout;
    row->setSpacing(6);
    auto* icon = new QLabel(legend);
    icon->setPixmap(CategoryIcon(line.Category).pixmap(16, 16));
    row->addWidget(icon);
    row->addWidget(new QLabel(line.Caption, legend), 1);
    lines->addLayout(row);
  }
  return legend;
}

QWidget* TMainWindow::BuildIntroduction() {
  introduction_ = new QWidget(this);
  introduction_->setObjectName("pnlIlkGorunum");
  Paint(introduction_, Qt::white);
  auto* column = new QVBoxLayout(introduction_);
  column->setContentsMargins(12, 8, 12, 8);
  QLabel* title = WrappedLabel(
      "Virus and spam filtering software which can remove unwanted emails without downloading "
      "them on the client side before checking.",
      introduction_);
  QFont bold = title->font();
  bold.setBold(true);
  title->setFont(bold);
  column->addWidget(title);
  column->addWidget(WrappedLabel(
      "Email filtering software which sits behind an email client such as Outlook Express. It "
      "wakes up when the client starts checking email messages from the account and lists "
      "messages classifying them in the following categories :",
      introduction_));
  QWidget* box = BuildLegend({}, introduction_);
  Paint(box, QColor(250, 250, 250));
  column->addWidget(box);
  column->addWidget(WrappedLabel(
      "Selected messages are removed from the remote account. In other words, viruses and spams "
      "do not pass through the local machine instead they are totally removed from the server. "
      "Other useful messages pass through the software to the email client (i.e Outlook "
      "Express) providing a neat and clean environment for your important archives.",
      introduction_));
  column->addWidget(
      WrappedLabel("IMPORTANT: If existing, please disable email scanning of "
                   "anti-virus installed, so that Quillbright can check emails.",
                   introduction_, QColor(0x80, 0x00, 0x00)));
  column->addStretch(1);
  return introduction_;
}

QWidget* TMainWindow::BuildPanel1() {
  panel1_ = new QWidget(this);
  panel1_->setObjectName("Panel1");
  auto* row = new QHBoxLayout(panel1_);
  row->setContentsMargins(0, 0, 0, 0);
  row->addWidget(BuildLegend("Emails listed above are classified as follows:", panel1_));
  auto* right = new QVBoxLayout;
  right->addWidget(WrappedLabel(
      "Emails to be removed from email account at the server are checked as default. Please "
      "check the emails you want to remove. You may sort the list by clicking on appropriate "
      "column title.",
      panel1_));
  right->addWidget(
      WrappedLabel("The button \"Remove checked\" will REMOVE checked emails "
                   "previewed from the server and will allow email client to "
                   "RECEIVE emails unchecked.",
                   panel1_, QColor(0x8B, 0x00, 0x00)));
  button1_ = new QPushButton("Remove Checked", panel1_);
  button1_->setObjectName("Button1");
  QFont bold = button1_->font();
  bold.setBold(true);
  button1_->setFont(bold);
  connect(button1_, &QPushButton::clicked, this, [this] { form_.Button1Click(); });
  right->addWidget(button1_, 0, Qt::AlignRight);
  right->addStretch(1);
  row->addLayout(right, 1);
  return panel1_;
}

void TMainWindow::BuildMainMenu() {
  QMenuBar* bar = menuBar();
  bar->addAction("About", this, [this] {
    TAboutBox about(this);
    about.exec();
  });
  setupWizard_ = bar->addAction("Setup Wizard", this, [this] {
    if (OnSetupWizard) OnSetupWizard();
  });
  undoSetup_ = bar->addAction("Undo setup", this, [this] {
    if (OnUndoSetup) OnUndoSetup();
  });
  bar->addAction("Removed mail", this, [this] {
    TRemovedMailWindow removed(form_.State.ProgramFolder, this);
    removed.exec();
  });
  QMenu* options = bar->addMenu("Options");
  subjects_ = options->addAction("Blocked Subjects", this, [this] {
    if (OnBlockedSubjects) OnBlockedSubjects();
  });
  senders_ = options->addAction("Blocked Senders (From: field)", this, [this] {
    if (OnBlockedSenders) OnBlockedSenders();
  });
  recipients_ = options->addAction("Blocked Recipients (To: field)", this, [this] {
    if (OnBlockedRecipients) OnBlockedRecipients();
  });
  options->addAction("Friends (always allowed senders)", this, [this] { EditFriends(); });
  options->addSeparator();
  startWithSession_ = options->addAction("Start with my session");
  startWithSession_->setCheckable(true);
  startWithSession_->setChecked(autostart_.Enabled());
  connect(options, &QMenu::aboutToShow, this,
          [this] { startWithSession_->setChecked(autostart_.Enabled()); });
  connect(startWithSession_, &QAction::triggered, this, &TMainWindow::StartWithSessionClick);
  help_ = bar->addAction("Help", this, [this] {
    if (OnHelp) OnHelp();
  });
  UpdateMenuHooks();
}

// The option follows the autostart entry on disk, which the desktop's own
// settings may change too; a failure is shown and the tick left as it is.
void TMainWindow::StartWithSessionClick(bool checked) {
  std::string error = autostart_.SetEnabled(checked);
  if (!error.empty()) CurrentDialogs().ShowMessageBox(error, TMsgDlgType::mtError);
  startWithSession_->setChecked(autostart_.Enabled());
}

void TMainWindow::UpdateMenuHooks() {
  setupWizard_->setEnabled(static_cast<bool>(OnSetupWizard));
  undoSetup_->setEnabled(static_cast<bool>(OnUndoSetup));
  subjects_->setEnabled(static_cast<bool>(OnBlockedSubjects));
  senders_->setEnabled(static_cast<bool>(OnBlockedSenders));
  recipients_->setEnabled(static_cast<bool>(OnBlockedRecipients));
  help_->setEnabled(static_cast<bool>(OnHelp));
}

void TMainWindow::BuildContextMenu() {
  block1_ = popupMenu2_.addAction("Block this subject", this, [this] { form_.Block1Click(); });
  block2_ = popupMenu2_.addAction("Block this sender (From: field)", this,
                                  [this] { form_.Block2Click(); });
  blockRecipient_ = popupMenu2_.addAction("Block this recipient (To: field)", this,
                                          [this] { form_.BlocktherecipientTofield1Click(); });
  unselectSubject_ = popupMenu2_.addAction("Unselect this subject", this,
                                           [this] { form_.Unblockthissubject1Click(); });
  unselectSender_ = popupMenu2_.addAction("Unselect this sender", this,
                                          [this] { form_.Unblockthissender1Click(); });
  allowSender_ = popupMenu2_.addAction("Always allow this sender", this,
                                       [this] { form_.AllowSender1Click(); });
}

// The friends editor is a block-list editor over friends.txt.
void TMainWindow::EditFriends() {
  ShowBlockListEditor(this, kFriendsEditor, form_.State.ProgramFolder);
  form_.ReloadFriendList();
}

QMenu& TMainWindow::PrepareContextMenu(const QPoint& viewportPoint) {
  QModelIndex index = list_->indexAt(viewportPoint);
  std::optional<std::size_t> row;
  if (index.isValid()) row = static_cast<std::size_t>(index.row());
  QPoint global = list_->viewport()->mapToGlobal(viewportPoint);
  form_.PopupMenu2Popup({global.x(), global.y()}, row);
  const TReviewListMenu& items = form_.PopupMenu2;
  block1_->setEnabled(items.Block1Enabled);
  block2_->setEnabled(items.Block2Enabled);
  blockRecipient_->setEnabled(items.BlocktherecipientTofield1Enabled);
  unselectSubject_->setEnabled(items.Unblockthissubject1Enabled);
  unselectSender_->setEnabled(items.Unblockthissender1Enabled);
  allowSender_->setEnabled(items.AllowSender1Enabled);
  return popupMenu2_;
}

void TMainWindow::ShowContextMenu(const QPoint& viewportPoint) {
  PrepareContextMenu(viewportPoint).popup(list_->viewport()->mapToGlobal(viewportPoint));
}

// "Subject" is 250 pixels wide, the hidden columns 0, every other column
// fits its content.
void TMainWindow::FitColumns() {
  for (int column = 0; column < TReviewListModel::kColumnCount; ++column) {
    if (list_->isColumnHidden(column)) continue;
    if (column == 1) {
      list_->setColumnWidth(column, 250);
    } else {
      list_->resizeColumnToContents(column);
    }
  }
}

void TMainWindow::Refresh() {
  const TMainWindowControls& controls = form_.Controls;
  clientArea_->setCurrentWidget(controls.pnlIlkGorunumVisible ? introduction_ : list_);
  panel1_->setVisible(controls.Panel1Visible);
  lblAccount_->setText(DisplayText(controls.lblAccountCaption));
  reviews_->Refresh();
  progress_->setRange(controls.ProgressBar1.Min,
                      std::max(controls.ProgressBar1.Min, controls.ProgressBar1.Max));
  progress_->setValue(controls.ProgressBar1.Position);
  button1_->setEnabled(controls.Button1Enabled);
  status_->setText(DisplayText(form_.StatusBar1Text));
  if (form_.SelectedRow && *form_.SelectedRow < form_.ReviewListView1.Count()) {
    list_->selectRow(static_cast<int>(*form_.SelectedRow));
  }
  if (!buttonReportFile_.isEmpty()) ReportButton();
}

void TMainWindow::ReportButton() {
  QSaveFile file(buttonReportFile_);
  if (!file.open(QIODevice::WriteOnly)) return;
  if (button1_->isEnabled() && button1_->isVisible()) {
    QPoint centre = button1_->mapToGlobal(button1_->rect().center());
    file.write(QString("Remove Checked %1 %2\n").arg(centre.x()).arg(centre.y()).toUtf8());
  }
  file.commit();
}

// The window may be hidden: its logic closes it, not a close event.
void TMainWindow::Exit1Click() {
  if (form_.ExitRequested) return;
  form_.ExitRequested = true;
  if (form_.Close()) hide();
}

void TMainWindow::closeEvent(QCloseEvent* event) {
  if (CloseEndsProgram) form_.ExitRequested = true;
  if (form_.Close()) {
    event->accept();
  } else {
    event->ignore();
  }
}

void TMainWindow::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  if (event->type() == QEvent::WindowStateChange && isMinimized() && OnMinimized) OnMinimized();
}

}  // namespace qb
