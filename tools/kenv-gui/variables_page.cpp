#include "variables_page.h"

#include "library.h"
#include "list_editor.h"
#include "window_texts.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QShortcut>
#include <QVBoxLayout>

QLabel *make_message_label(const QString &object_name, QWidget *parent) {
  auto *label = new QLabel(parent);
  label->setObjectName(object_name);
  label->setWordWrap(true);
  label->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  label->hide();
  return label;
}

VariablesPage::VariablesPage(ChangeRunner runner, QWidget *parent)
    : QWidget(parent), runner_(std::move(runner)) {
  auto *layout = new QVBoxLayout(this);
  filter_ = new QLineEdit(this);
  filter_->setObjectName(QStringLiteral("filter"));
  filter_->setPlaceholderText(tr("Filter by name or value (Ctrl+F)"));
  filter_->setClearButtonEnabled(true);
  layout->addWidget(filter_);
  auto *find = new QShortcut(QKeySequence::Find, this);
  connect(find, &QShortcut::activated, filter_, [this] { filter_->setFocus(Qt::ShortcutFocusReason); });

  filtered_.setSourceModel(&model_);
  filtered_.setFilterKeyColumn(-1);
  filtered_.setFilterCaseSensitivity(Qt::CaseInsensitive);
  connect(filter_, &QLineEdit::textChanged, &filtered_, &QSortFilterProxyModel::setFilterFixedString);

  table_ = new QTableView(this);
  table_->setObjectName(QStringLiteral("variables"));
  table_->setModel(&filtered_);
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->setWordWrap(false);
  table_->verticalHeader()->hide();
  table_->horizontalHeader()->setStretchLastSection(true);
  table_->horizontalHeader()->resizeSection(VariablesModel::name, 180);
  table_->horizontalHeader()->resizeSection(VariablesModel::value, 260);
  table_->horizontalHeader()->resizeSection(VariablesModel::expanded, 260);
  layout->addWidget(table_, 1);
  connect(table_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          [this](const QModelIndex &current) { fill_form(current); });
  build_form(layout);
}

void VariablesPage::build_form(QVBoxLayout *layout) {
  auto *form = new QHBoxLayout;
  name_ = new QLineEdit(this);
  name_->setObjectName(QStringLiteral("name"));
  name_->setPlaceholderText(tr("Name"));
  value_ = new QLineEdit(this);
  value_->setObjectName(QStringLiteral("value"));
  value_->setPlaceholderText(tr("Value"));
  auto *name_label = new QLabel(tr("&Name:"), this);
  name_label->setBuddy(name_);
  auto *value_label = new QLabel(tr("Val&ue:"), this);
  value_label->setBuddy(value_);
  new_ = new QPushButton(tr("&New"), this);
  new_->setObjectName(QStringLiteral("new"));
  set_ = new QPushButton(tr("&Set"), this);
  set_->setObjectName(QStringLiteral("set"));
  delete_ = new QPushButton(tr("&Delete"), this);
  delete_->setObjectName(QStringLiteral("delete"));
  edit_list_ = new QPushButton(tr("Edit as &list…"), this);
  edit_list_->setObjectName(QStringLiteral("editList"));
  form->addWidget(name_label);
  form->addWidget(name_, 1);
  form->addWidget(value_label);
  form->addWidget(value_, 3);
  for (QPushButton *b : {set_, new_, delete_, edit_list_})
    form->addWidget(b);
  layout->addLayout(form);
  message_ = make_message_label(QStringLiteral("variablesMessage"), this);
  layout->addWidget(message_);

  connect(new_, &QPushButton::clicked, this, [this] {
    table_->clearSelection();
    name_->clear();
    value_->clear();
    name_->setFocus(Qt::OtherFocusReason);
  });
  connect(set_, &QPushButton::clicked, this, &VariablesPage::set_variable);
  connect(value_, &QLineEdit::returnPressed, this, &VariablesPage::set_variable);
  connect(delete_, &QPushButton::clicked, this, &VariablesPage::delete_variable);
  connect(edit_list_, &QPushButton::clicked, this, &VariablesPage::edit_as_list);
  connect(name_, &QLineEdit::textChanged, this, &VariablesPage::update_buttons);
  connect(value_, &QLineEdit::textChanged, this, &VariablesPage::update_buttons);
  auto *del = new QShortcut(QKeySequence::Delete, table_, nullptr, nullptr, Qt::WidgetShortcut);
  connect(del, &QShortcut::activated, this, &VariablesPage::delete_variable);
  update_buttons();
}

void VariablesPage::show_listing(const Listing &listing) {
  scope_ = listing.scope;
  separator_ = listing.path_sep;
  model_.set(listing.vars, variable_places(listing));
  update_buttons();
}

void VariablesPage::set_read_only(bool read_only) {
  for (QWidget *w : std::initializer_list<QWidget *>{name_, value_, new_, set_, delete_, edit_list_})
    w->setEnabled(!read_only);
}

void VariablesPage::fill_form(const QModelIndex &index) {
  if (!index.isValid())
    return;
  name_->setText(index.siblingAtColumn(0).data(raw_name_role).toString());
  value_->setText(index.siblingAtColumn(0).data(raw_value_role).toString());
}

void VariablesPage::update_buttons() {
  if (!name_->isEnabled())
    return;
  set_->setEnabled(!name_->text().isEmpty());
  delete_->setEnabled(!name_->text().isEmpty());
  edit_list_->setEnabled(!name_->text().isEmpty() && !separator_.empty() &&
                         value_->text().contains(QString::fromStdString(separator_)));
}

void VariablesPage::set_variable() {
  if (!set_->isEnabled())
    return;
  std::string scope = scope_, name = name_->text().toStdString(), value = value_->text().toStdString();
  runner_(
      [scope, name, value] {
        lib_set(scope, name, value);
        return std::string();
      },
      message_);
}

void VariablesPage::delete_variable() {
  if (!delete_->isEnabled())
    return;
  std::string scope = scope_, name = name_->text().toStdString();
  runner_(
      [scope, name] {
        lib_del(scope, name);
        return std::string();
      },
      message_);
}

void VariablesPage::edit_as_list() {
  QStringList items;
  for (const std::string &item : split_list(value_->text().toStdString(), separator_))
    items << QString::fromStdString(item);
  ListEditor editor(name_->text(), items, this);
  if (editor.exec() != QDialog::Accepted)
    return;
  std::vector<std::string> edited;
  for (const QString &item : editor.items())
    edited.push_back(item.toStdString());
  value_->setText(QString::fromStdString(join_list(edited, separator_)));
  set_variable();
}

std::vector<std::string> VariablesPage::selected_names() const {
  std::vector<std::string> names;
  for (const QModelIndex &row : table_->selectionModel()->selectedRows())
    names.push_back(row.data(raw_name_role).toString().toStdString());
  return names;
}
