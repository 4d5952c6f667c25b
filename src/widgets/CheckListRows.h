// A QListWidget of check boxes kept equal to a list of items that have a
// Text and a Checked flag. Rows are updated in place and only added or
// removed at the end, so a tick's own itemChanged signal never sees its row
// deleted.
#pragma once

#include <QListWidget>
#include <string>

namespace qb {

template <typename Items>
void ShowCheckListRows(QListWidget& list, const Items& items) {
  while (list.count() > static_cast<int>(items.size())) delete list.takeItem(list.count() - 1);
  for (std::size_t i = 0; i < items.size(); ++i) {
    QListWidgetItem* row = list.item(static_cast<int>(i));
    if (!row) {
      row = new QListWidgetItem(&list);
      row->setFlags(row->flags() | Qt::ItemIsUserCheckable);
    }
    row->setText(QString::fromStdString(items[i].Text));
    row->setCheckState(items[i].Checked ? Qt::Checked : Qt::Unchecked);
  }
}

}  // namespace qb
