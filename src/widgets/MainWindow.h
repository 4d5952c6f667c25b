// The main window's view (TForm1 in app/ holds its logic): the top panel with
// the program icon, the logo and the link label; the account row (the
// chooser of waiting reviews and lblAccount, with room for more beside it);
// the introduction panel or the review list; ProgressBar1; Panel1 with the
// legend, the instructions, the review's figures and "Remove Checked";
// StatusBar1; the menus (in MainWindowMenus.cpp). It shows the window's
// state, calls its actions, and refreshes on its events. Its geometry,
// columns and sort are kept in the program folder's window.ini.
#pragma once

#include <QHBoxLayout>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QTimer>
#include <functional>
#include <optional>

#include "app/SessionAutostart.h"
#include "app/Unit1.h"
#include "widgets/ReviewChooser.h"
#include "widgets/ReviewListModel.h"
#include "widgets/ReviewListView.h"

namespace qb {

class TMainWindow : public QMainWindow {
  Q_OBJECT

 public:
  // Takes over the window's OnChanged and its row events.
  explicit TMainWindow(TForm1& form, QWidget* parent = nullptr);
  ~TMainWindow() override;

  // Menu commands whose dialogs live elsewhere; an item without a hook is
  // disabled.
  std::function<void()> OnSetupWizard;
  std::function<void()> OnUndoSetup;
  std::function<void()> OnBlockedSubjects;
  std::function<void()> OnBlockedSenders;
  std::function<void()> OnBlockedRecipients;
  std::function<void()> OnSettings;
  std::function<void()> OnHelp;
  void UpdateMenuHooks();

  // Without a tray to come back from, closing the window ends the program.
  bool CloseEndsProgram = false;

  // The window was minimised (the tray icon then takes it to the tray).
  std::function<void()> OnMinimized;
  // After each refresh, with the status bar's text (the tray's tooltip).
  std::function<void(const QString& status)> OnStatusShown;

  // Shows everything the window's logic holds.
  void Refresh();

  // The tray menu's "Exit" and "Quit": the window closes for good.
  void Exit1Click();
  // "Removed mail…", from the menu and the tray.
  void ShowRemovedMail();

  // The review list's context menu, prepared for a point in the list's
  // viewport (items enabled as the logic says); ShowContextMenu runs it.
  QMenu& PrepareContextMenu(const QPoint& viewportPoint);

  // When set, every refresh writes "Remove Checked X Y" (the button's centre
  // on the screen, when it is enabled and shown) to this file, so that a
  // test can click the real button with the X server's mouse.
  void SetButtonReportFile(const QString& path) { buttonReportFile_ = path; }

  // The controls, for tests and screenshots.
  TReviewListView& ReviewListView1() { return *list_; }
  QPushButton& Button1() { return *button1_; }
  QWidget& IntroductionPanel() { return *introduction_; }
  QWidget& Panel1() { return *panel1_; }
  QLabel& AccountLabel() { return *lblAccount_; }
  TReviewChooser& Reviews() { return *reviews_; }
  // The row of the account caption; a view may add its own controls.
  QHBoxLayout& AccountRow() { return *accountRow_; }
  QLabel& ReviewFigures() { return *figures_; }
  QLabel& StatusText() { return *status_; }
  QProgressBar& ProgressBar1() { return *progress_; }
  QMenu& Menu() { return menu_; }
  // "Options" > "Start with my session": ticked while the autostart entry
  // is on; a click creates or removes it.
  QAction& StartWithSession() { return *startWithSession_; }
  void StartWithSessionClick(bool checked);
  TReviewListModel& Model() { return model_; }

  // The window's geometry and the list's columns and sort, to window.ini.
  void SaveWindowState() const;

 protected:
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  QWidget* BuildTopPanel();
  QWidget* BuildIntroduction();
  QWidget* BuildPanel1();
  QWidget* BuildLegend(const QString& heading, QWidget* parent, int columns);
  void BuildMainMenu();
  void BuildContextMenu();
  void ShowContextMenu(const QPoint& viewportPoint);
  void EditFriends();
  void ReportButton();
  void RestoreWindowState();
  void ShowReviewFigures();
  void ApplyChosenSort();
  QString StatusBarText() const;

  TForm1& form_;
  TReviewListModel model_;
  QLabel* lblAccount_ = nullptr;
  TReviewChooser* reviews_ = nullptr;
  QHBoxLayout* accountRow_ = nullptr;
  QStackedWidget* clientArea_ = nullptr;
  QWidget* introduction_ = nullptr;
  TReviewListView* list_ = nullptr;
  QProgressBar* progress_ = nullptr;
  QWidget* panel1_ = nullptr;
  QLabel* figures_ = nullptr;
  QPushButton* button1_ = nullptr;
  QLabel* status_ = nullptr;
  QTimer figuresTimer_;
  QMenu menu_;
  QAction* setupWizard_ = nullptr;
  QAction* undoSetup_ = nullptr;
  QAction* subjects_ = nullptr;
  QAction* senders_ = nullptr;
  QAction* recipients_ = nullptr;
  QAction* settings_ = nullptr;
  QAction* startWithSession_ = nullptr;
  TSessionAutostart autostart_ = TSessionAutostart::ForCurrentUser();
  QAction* help_ = nullptr;
  QMenu popupMenu2_;
  QAction* block1_ = nullptr;
  QAction* block2_ = nullptr;
  QAction* blockRecipient_ = nullptr;
  QAction* unselectSubject_ = nullptr;
  QAction* unselectSender_ = nullptr;
  QAction* allowSender_ = nullptr;
  QString buttonReportFile_;
  bool reviewShown_ = false;
  // The sort the user chose last; each new review is shown in it.
  std::optional<std::pair<ReviewColumn, bool>> chosenSort_;
};

}  // namespace qb
