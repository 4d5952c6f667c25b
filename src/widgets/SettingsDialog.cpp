#include "widgets/SettingsDialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/ProgramFolder.h"
#include "app/ProgramSettings.h"
#include "widgets/DisplayText.h"

namespace qb {

namespace {

QLabel* Note(const QString& text) {
  auto* label = new QLabel(text);
  label->setWordWrap(true);
  label->setTextFormat(Qt::PlainText);
  QFont font = label->font();
  font.setPointSizeF(font.pointSizeF() * 0.9);
  label->setFont(font);
  return label;
}

}  // namespace

TSettingsDialog::TSettingsDialog(std::string programFolder, QWidget* parent)
    : QDialog(parent), programFolder_(std::move(programFolder)), problem_(new QLabel) {
  setWindowTitle(kSettingsCaption);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(
      Note(QString("These settings are kept in %1.")
               .arg(QString::fromStdString(ProgramFile(programFolder_, kSettingsFile)))));
  auto* form = new QFormLayout;
  form->setFieldGrowthPolicy(QFormLayout::ExpandingFieldsGrow);
  const std::map<std::string, std::string> saved = ReadSettingsFile(programFolder_);
  for (const TProgramSetting& setting : ProgramSettingTable()) {
    auto* field = new QLineEdit;
    field->setObjectName(setting.Key);
    field->setPlaceholderText(setting.Hint);
    field->setMinimumWidth(field->fontMetrics().averageCharWidth() * 36);
    auto value = saved.find(setting.Key);
    if (value != saved.end()) field->setText(DisplayText(value->second));
    auto* label = new QLabel(QString(setting.Label) + ":");
    label->setBuddy(field);
    if (SetByEnvironment(setting)) {
      field->setText(DisplayText(SettingValue(setting)));
      field->setEnabled(false);
      auto* cell = new QVBoxLayout;
      cell->setSpacing(0);
      cell->addWidget(field);
      cell->addWidget(Note(QString("Set by %1 in the environment, which wins over this file.")
                               .arg(setting.Environment)));
      form->addRow(label, cell);
    } else {
      form->addRow(label, field);
    }
    fields_[setting.Key] = field;
  }
  layout->addLayout(form);
  layout->addWidget(Note("Changes take effect at the next start of Quillbright."));
  problem_->setObjectName("Problem");
  problem_->setWordWrap(true);
  problem_->setStyleSheet("color: #8b0000");
  problem_->hide();
  layout->addWidget(problem_);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  connect(buttons, &QDialogButtonBox::accepted, this, &TSettingsDialog::Save);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);
}

QLineEdit* TSettingsDialog::Field(const std::string& key) const {
  auto field = fields_.find(key);
  return field == fields_.end() ? nullptr : field->second;
}

// The environment's values are not the file's: a disabled field keeps the
// file's own value.
bool TSettingsDialog::Save() {
  std::map<std::string, std::string> values = ReadSettingsFile(programFolder_);
  for (const TProgramSetting& setting : ProgramSettingTable()) {
    QLineEdit* field = fields_.at(setting.Key);
    if (!field->isEnabled()) continue;
    std::string value = WireText(field->text().trimmed());
    std::string refusal = value.empty() ? "" : setting.Refusal(value);
    if (!refusal.empty()) {
      problem_->setText(
          QString("%1: please give %2.").arg(setting.Label).arg(QString::fromStdString(refusal)));
      problem_->show();
      field->setFocus();
      field->selectAll();
      return false;
    }
    values[setting.Key] = value;
  }
  if (!WriteSettingsFile(programFolder_, values)) {
    problem_->setText(
        QString::fromStdString("Cannot create file " + ProgramFile(programFolder_, kSettingsFile)));
    problem_->show();
    return false;
  }
  accept();
  return true;
}

void ShowSettingsDialog(QWidget* parent, const std::string& programFolder) {
  TSettingsDialog dialog(programFolder, parent);
  dialog.exec();
}

}  // namespace qb
