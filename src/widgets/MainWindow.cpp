#include "widgets/MainWindow.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QSaveFile>
#include <QStatusBar>
#include <QVBoxLayout>
#include <chrono>

#include "app/MainWindowTexts.h"
#include "app/StartUp.h"
#include "widgets/DisplayText.h"
#include "widgets/Icons.h"
#include "widgets/LinkLabel.h"
#include "widgets/RemovedMailWindow.h"
#include "widgets/WindowPlacement.h"

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

const QSize kPreferredSize(960, 640);

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

QFont Smaller(QFont font) {
  font.setPointSizeF(font.pointSizeF() * 0.9);
  return font;
}

}  // namespace

TMainWindow::TMainWindow(TForm1& form, QWidget* parent)
    : QMainWindow(parent), form_(form), model_(form) {
  setWindowTitle("Quillbright");
  setWindowIcon(ProgramIcon());
  auto* central = new QWidget(this);
  auto* layout = new QVBoxLayout(central);
  layout->setContentsMargins(6, 6, 6, 6);
  layout->setSpacing(4);
  layout->addWidget(BuildTopPanel());
  accountRow_ = new QHBoxLayout;
  lblAccount_ = new QLabel(central);
  lblAccount_->setTextFormat(Qt::PlainText);
  reviews_ = new TReviewChooser(form_, central);
  QFont bold = lblAccount_->font();
  bold.setBold(true);
  lblAccount_->setFont(bold);
  accountRow_->addWidget(reviews_);
  accountRow_->addWidget(lblAccount_, 1);
  layout->addLayout(accountRow_);

  clientArea_ = new QStackedWidget(central);
  clientArea_->addWidget(BuildIntroduction());
  list_ = new TReviewListView(form_, model_, clientArea_);
  connect(list_, &QWidget::customContextMenuRequested, this, &TMainWindow::ShowContextMenu);
  connect(list_, &TReviewListView::SortChosen, this, [this] {
    chosenSort_ = {form_.ReviewListView1.SortColumn, form_.ReviewListView1.SortDescending};
  });
  clientArea_->addWidget(list_);
  layout->addWidget(clientArea_, 1);

  progress_ = new QProgressBar(central);
  progress_->setTextVisible(false);
  progress_->setFixedHeight(10);
  layout->addWidget(progress_);
  layout->addWidget(BuildPanel1());
  setCentralWidget(central);

  status_ = new QLabel(this);
  status_->setTextFormat(Qt::PlainText);
  statusBar()->addWidget(status_, 1);
  statusBar()->setSizeGripEnabled(true);

  BuildMainMenu();
  BuildContextMenu();
  figuresTimer_.setInterval(1000);
  connect(&figuresTimer_, &QTimer::timeout, this, &TMainWindow::ShowReviewFigures);
  RestoreWindowState();
  form_.OnChanged = [this](TForm1*) { Refresh(); };
  Refresh();
}

TMainWindow::~TMainWindow() {
  form_.OnChanged = nullptr;
  SaveWindowState();
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
  more->setSpacing(0);
  more->addWidget(new QLabel("More software are available at ", panel));
  auto* link = new TLinkLabel(QUrl(kVendorAddress), panel);
  link->setObjectName("Label3");
  more->addWidget(link);
  row->addLayout(more);
  return panel;
}

// The six lines in `columns` columns, icon before caption.
QWidget* TMainWindow::BuildLegend(const QString& heading, QWidget* parent, int columns) {
  auto* legend = new QWidget(parent);
  auto* grid = new QGridLayout(legend);
  grid->setContentsMargins(4, 2, 4, 2);
  grid->setHorizontalSpacing(6);
  grid->setVerticalSpacing(1);
  int row = 0;
  if (!heading.isEmpty()) grid->addWidget(new QLabel(heading, legend), row++, 0, 1, columns * 2);
  const int rows = (static_cast<int>(std::size(kLegend)) + columns - 1) / columns;
  for (int i = 0; i < static_cast<int>(std::size(kLegend)); ++i) {
    auto* icon = new QLabel(legend);
    icon->setPixmap(CategoryIcon(kLegend[i].Category).pixmap(16, 16));
    auto* caption = new QLabel(kLegend[i].Caption, legend);
    grid->addWidget(icon, row + i % rows, (i / rows) * 2);
    grid->addWidget(caption, row + i % rows, (i / rows) * 2 + 1);
  }
  grid->setColumnStretch(columns * 2 - 1, 1);
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
  QWidget* box = BuildLegend({}, introduction_, 1);
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

// One band below the list: the legend in three columns, the instructions in
// a smaller type, and the review's figures beside "Remove Checked".
QWidget* TMainWindow::BuildPanel1() {
  panel1_ = new QWidget(this);
  panel1_->setObjectName("Panel1");
  auto* column = new QVBoxLayout(panel1_);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(2);
  QWidget* legend = BuildLegend({}, panel1_, 3);
  legend->setFont(Smaller(legend->font()));
  column->addWidget(legend);
  QLabel* instructions = WrappedLabel(
      "Emails to be removed from email account at the server are checked as default. Please "
      "check the emails you want to remove. You may sort the list by clicking on appropriate "
      "column title.",
      panel1_);
  instructions->setFont(Smaller(instructions->font()));
  column->addWidget(instructions);
  auto* row = new QHBoxLayout;
  QLabel* warning = WrappedLabel(
      "The button \"Remove checked\" will REMOVE checked emails "
      "previewed from the server and will allow email client to "
      "RECEIVE emails unchecked.",
      panel1_, QColor(0x8B, 0x00, 0x00));
  warning->setFont(Smaller(warning->font()));
  row->addWidget(warning, 1);
  figures_ = new QLabel(panel1_);
  figures_->setObjectName("ReviewFigures");
  figures_->setTextFormat(Qt::PlainText);
  row->addWidget(figures_);
  button1_ = new QPushButton("&Remove Checked", panel1_);
  button1_->setObjectName("Button1");
  QFont bold = button1_->font();
  bold.setBold(true);
  button1_->setFont(bold);
  connect(button1_, &QPushButton::clicked, this, [this] { form_.Button1Click(); });
  row->addWidget(button1_);
  column->addLayout(row);
  return panel1_;
}

// The texts say how many rows are ticked and, while a mail client waits,
// for how many more seconds.
void TMainWindow::ShowReviewFigures() {
  std::optional<int> seconds;
  if (auto due = form_.Screening.ReviewAnswerDue()) {
    auto left = std::chrono::ceil<std::chrono::seconds>(*due - std::chrono::steady_clock::now());
    seconds = static_cast<int>(std::max<std::int64_t>(0, left.count()));
  }
  figures_->setText(
      QString::fromStdString(ReviewFiguresText(model_.TickedCount(), model_.rowCount(), seconds)));
}

QString TMainWindow::StatusBarText() const {
  if (!form_.StatusBar1Text.empty()) return DisplayText(form_.StatusBar1Text);
  return QString::fromStdString(IdleStatusText(form_.MailGateway1.Active(), ListeningPortNumber()));
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
  if (controls.Button1Enabled && !reviewShown_) ApplyChosenSort();
  reviewShown_ = controls.Button1Enabled;
  figures_->setVisible(reviewShown_);
  if (reviewShown_) {
    ShowReviewFigures();
    if (!figuresTimer_.isActive()) figuresTimer_.start();
  } else {
    figuresTimer_.stop();
  }
  const QString status = StatusBarText();
  status_->setText(status);
  if (OnStatusShown) OnStatusShown(status);
  if (!buttonReportFile_.isEmpty()) ReportButton();
}

// A new review comes sorted by size; the user's last choice wins.
void TMainWindow::ApplyChosenSort() {
  ReviewList& list = form_.ReviewListView1;
  if (!chosenSort_ ||
      (list.SortColumn == chosenSort_->first && list.SortDescending == chosenSort_->second)) {
    return;
  }
  list.SortColumn = chosenSort_->first;
  list.SortDescending = chosenSort_->second;
  list.Sort();
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

void TMainWindow::ShowRemovedMail() {
  TRemovedMailWindow removed(form_.State.ProgramFolder, this);
  removed.exec();
}

void TMainWindow::RestoreWindowState() {
  std::unique_ptr<QSettings> settings = WindowSettings(form_.State.ProgramFolder);
  PlaceWindow(*this, settings->value("main/geometry").toByteArray(), kPreferredSize);
  list_->RestoreHeaderState(settings->value("main/columns").toByteArray());
  QVariant column = settings->value("main/sortColumn");
  if (column.isValid() && column.toInt() >= 0 && column.toInt() < TReviewListModel::kColumnCount) {
    chosenSort_ = {TReviewListModel::ColumnAt(column.toInt()),
                   settings->value("main/sortDescending").toBool()};
  }
}

void TMainWindow::SaveWindowState() const {
  std::unique_ptr<QSettings> settings = WindowSettings(form_.State.ProgramFolder);
  settings->setValue("main/geometry", saveGeometry());
  settings->setValue("main/columns", list_->HeaderState());
  if (chosenSort_) {
    settings->setValue("main/sortColumn", TReviewListModel::Section(chosenSort_->first));
    settings->setValue("main/sortDescending", chosenSort_->second);
  }
}

// The window may be hidden: its logic closes it, not a close event.
void TMainWindow::Exit1Click() {
  if (form_.ExitRequested) return;
  form_.ExitRequested = true;
  SaveWindowState();
  if (form_.Close()) hide();
}

void TMainWindow::closeEvent(QCloseEvent* event) {
  if (CloseEndsProgram) form_.ExitRequested = true;
  SaveWindowState();
  if (form_.Close()) {
    event->accept();
  } else {
    event->ignore();
  }
}

void TMainWindow::hideEvent(QHideEvent* event) {
  QMainWindow::hideEvent(event);
  SaveWindowState();
}

void TMainWindow::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  if (event->type() == QEvent::WindowStateChange && isMinimized() && OnMinimized) OnMinimized();
}

}  // namespace qb
