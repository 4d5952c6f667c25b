// The Qt views of the setup dialogs over their controllers in setup/:
// TForm2 ("Modification Needed") and TfrmUsage ("HOW TO USE QUILLBRIGHT ?"),
// and the functions the main menu and the start-up call.
#pragma once

#include <QDialog>
#include <functional>
#include <string>

#include "setup/untformaccount.h"
#include "setup/untusage.h"

class QListWidget;
class QListWidgetItem;

namespace qb {

class TForm1;

class TForm2Dialog : public QDialog {
  Q_OBJECT

 public:
  TForm2Dialog(const std::string& programFolder, int gatewayPort, QWidget* parent = nullptr);

  TForm2& Form() { return form_; }
  // Every way of closing runs the controller's FormClose first.
  void done(int result) override;

 private:
  void ShowAccounts();
  void ItemChanged(QListWidgetItem* item);

  TForm2 form_;
  QListWidget* list_;
  QWidget* panel1_;
  bool showing_ = false;
};

class TUsageDialog : public QDialog {
  Q_OBJECT

 public:
  explicit TUsageDialog(std::function<void()> setupWizard, QWidget* parent = nullptr);

  TfrmUsage& Usage() { return usage_; }

 private:
  TfrmUsage usage_;
};

// "Setup Wizard": a new TForm2, modal above `parent`, freed when it closes.
void ShowSetupWizard(QWidget* parent, const std::string& programFolder, int gatewayPort);
// The usage dialog, modal; its "Click here" runs `setupWizard`.
void ShowUsageDialog(QWidget* parent, std::function<void()> setupWizard);
// "Help": the help page with the desktop's browser.
void OpenHelp(const std::string& programFolder);
// "Undo setup": the Thunderbird accounts set back from the newest backup.
void UndoSetup();
// Lets the main window's start-up and its Setup Wizard command open these
// dialogs above the main window's view. The view is made after the set-up
// has run, so `mainWindow` is asked at each opening (null: no parent yet).
void AttachSetupDialogs(TForm1& form, const std::function<QWidget*()>& mainWindow);

}  // namespace qb
