// "Settings…": one field per entry of the settings table, filled from
// settings.txt. A setting that an environment variable holds shows the
// variable's value, cannot be edited here, and says that the variable
// wins. OK checks every field and names the first one it cannot use (the
// field keeps its text to be corrected); else it writes settings.txt.
// Changes take effect at the next start.
#pragma once

#include <QDialog>
#include <map>
#include <string>

class QLabel;
class QLineEdit;

namespace qb {

inline constexpr const char* kSettingsCaption = "Settings";

class TSettingsDialog : public QDialog {
  Q_OBJECT

 public:
  explicit TSettingsDialog(std::string programFolder, QWidget* parent = nullptr);

  QLineEdit* Field(const std::string& key) const;
  QLabel& Problem() { return *problem_; }
  // OK: true when the file was written and the dialog closed.
  bool Save();

 private:
  std::string programFolder_;
  std::map<std::string, QLineEdit*> fields_;
  QLabel* problem_;
};

// Opens the dialog modally above `parent`.
void ShowSettingsDialog(QWidget* parent, const std::string& programFolder);

}  // namespace qb
