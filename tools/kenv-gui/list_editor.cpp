#include "list_editor.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include <memory>

ListEditor::ListEditor(const QString &name, const QStringList &items, QWidget *parent) : QDialog(parent) {
  setWindowTitle(tr("Edit %1 as a list").arg(name));
  auto *layout = new QVBoxLayout(this);
  list_ = new QListWidget(this);
  list_->setObjectName(QStringLiteral("listItems"));
  list_->setDragDropMode(QAbstractItemView::InternalMove);
  for (const QString &item : items) {
    auto *row = new QListWidgetItem(item, list_);
    row->setFlags(row->flags() | Qt::ItemIsEditable);
  }
  layout->addWidget(list_, 1);

  auto *row = new QHBoxLayout;
  entry_ = new QLineEdit(this);
  entry_->setObjectName(QStringLiteral("listEntry"));
  entry_->setPlaceholderText(tr("Item to add"));
  auto *add = new QPushButton(tr("&Add"), this);
  auto *browse = new QPushButton(tr("&Browse…"), this);
  auto *remove = new QPushButton(tr("&Remove"), this);
  auto *up = new QPushButton(tr("Move &up"), this);
  auto *down = new QPushButton(tr("Move d&own"), this);
  row->addWidget(entry_, 1);
  for (QPushButton *b : {add, browse, remove, up, down})
    row->addWidget(b);
  layout->addLayout(row);
  auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  layout->addWidget(buttons);

  connect(add, &QPushButton::clicked, this, &ListEditor::add);
  connect(entry_, &QLineEdit::returnPressed, this, &ListEditor::add);
  connect(browse, &QPushButton::clicked, this, [this] {
    QString dir = QFileDialog::getExistingDirectory(this, tr("Choose a folder"));
    if (!dir.isEmpty()) {
      entry_->setText(dir);
      ListEditor::add();
    }
  });
  connect(remove, &QPushButton::clicked, this,
          [this] { std::unique_ptr<QListWidgetItem> gone(list_->takeItem(list_->currentRow())); });
  connect(up, &QPushButton::clicked, this, [this] { move_current(-1); });
  connect(down, &QPushButton::clicked, this, [this] { move_current(1); });
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  resize(560, 360);
}

QStringList ListEditor::items() const {
  QStringList out;
  for (int i = 0; i < list_->count(); ++i)
    out << list_->item(i)->text();
  return out;
}

void ListEditor::add() {
  if (entry_->text().isEmpty())
    return;
  auto *row = new QListWidgetItem(entry_->text(), list_);
  row->setFlags(row->flags() | Qt::ItemIsEditable);
  list_->setCurrentItem(row);
  entry_->clear();
}

void ListEditor::move_current(int by) {
  int from = list_->currentRow(), to = from + by;
  if (from < 0 || to < 0 || to >= list_->count())
    return;
  list_->insertItem(to, list_->takeItem(from));
  list_->setCurrentRow(to);
}
