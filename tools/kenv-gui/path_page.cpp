#include "path_page.h"

#include "switches.h"

#include "library.h"

#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QShortcut>
#include <QVBoxLayout>

PathPage::PathPage(ChangeRunner runner, QWidget *parent) : QWidget(parent), runner_(std::move(runner)) {
  auto *layout = new QVBoxLayout(this);
  list_ = new QTreeView(this);
  list_->setObjectName(QStringLiteral("path"));
  list_->setModel(&model_);
  list_->setRootIsDecorated(false);
  list_->setUniformRowHeights(true);
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  list_->setDragEnabled(true);
  list_->setAcceptDrops(true);
  list_->setDropIndicatorShown(true);
  list_->setDragDropMode(QAbstractItemView::DragDrop);
  list_->setDefaultDropAction(Qt::MoveAction);
  list_->header()->resizeSection(PathModel::entry, 320);
  list_->header()->resizeSection(PathModel::state, 200);
  layout->addWidget(list_, 1);
  connect(list_->selectionModel(), &QItemSelectionModel::currentRowChanged, this, &PathPage::update_buttons);
  connect(&model_, &PathModel::moveRequested, this, &PathPage::move_entry);
  connect(&model_, &PathModel::switchRequested, this, &PathPage::switch_entry);
  build_buttons(layout);
}

void PathPage::build_buttons(QVBoxLayout *layout) {
  auto *row = new QHBoxLayout;
  entry_ = new QLineEdit(this);
  entry_->setObjectName(QStringLiteral("pathEntry"));
  entry_->setPlaceholderText(tr("Folder to add"));
  browse_ = new QPushButton(tr("&Browse…"), this);
  add_ = new QPushButton(tr("&Add"), this);
  add_->setObjectName(QStringLiteral("pathAdd"));
  remove_ = new QPushButton(tr("&Remove"), this);
  remove_->setObjectName(QStringLiteral("pathRemove"));
  up_ = new QPushButton(tr("Move &up"), this);
  up_->setObjectName(QStringLiteral("pathUp"));
  down_ = new QPushButton(tr("Move d&own"), this);
  down_->setObjectName(QStringLiteral("pathDown"));
  row->addWidget(entry_, 1);
  for (QPushButton *b : {browse_, add_, remove_, up_, down_})
    row->addWidget(b);
  layout->addLayout(row);
  message_ = make_message_label(QStringLiteral("pathMessage"), this);
  layout->addWidget(message_);

  connect(browse_, &QPushButton::clicked, this, [this] {
    QString dir = QFileDialog::getExistingDirectory(this, tr("Choose a folder for PATH"));
    if (!dir.isEmpty())
      entry_->setText(dir);
  });
  connect(add_, &QPushButton::clicked, this, &PathPage::add_entry);
  connect(entry_, &QLineEdit::returnPressed, this, &PathPage::add_entry);
  connect(entry_, &QLineEdit::textChanged, this, &PathPage::update_buttons);
  connect(remove_, &QPushButton::clicked, this, &PathPage::remove_entry);
  connect(up_, &QPushButton::clicked, this, [this] { move_current(-1); });
  connect(down_, &QPushButton::clicked, this, [this] { move_current(1); });
  auto shortcut = [this](QKeySequence keys, auto slot) {
    auto *s = new QShortcut(keys, list_, nullptr, nullptr, Qt::WidgetShortcut);
    connect(s, &QShortcut::activated, this, slot);
  };
  shortcut(QKeySequence::Delete, [this] { remove_entry(); });
  shortcut(QKeySequence(Qt::ALT | Qt::Key_Up), [this] { move_current(-1); });
  shortcut(QKeySequence(Qt::ALT | Qt::Key_Down), [this] { move_current(1); });
  update_buttons();
}

void PathPage::show_listing(const Listing &listing, const ProfileMarks &marks) {
  scope_ = listing.scope;
  std::string keep =
      current_row() >= 0 ? model_.entries()[static_cast<std::size_t>(current_row())].entry : "";
  model_.set(listing.scope, path_rows(listing, marks));
  for (int row = 0; row < model_.rowCount(); ++row)
    if (!keep.empty() && model_.entries()[static_cast<std::size_t>(row)].entry == keep)
      list_->setCurrentIndex(model_.index(row, 0));
  update_buttons();
}

void PathPage::set_read_only(bool read_only) {
  read_only_ = read_only;
  list_->setDragEnabled(!read_only);
  entry_->setEnabled(!read_only);
  browse_->setEnabled(!read_only);
  update_buttons();
}

int PathPage::current_row() const {
  QModelIndex current = list_->currentIndex();
  return current.isValid() ? current.row() : -1;
}

void PathPage::update_buttons() {
  int own = model_.own_index(current_row());
  add_->setEnabled(!read_only_ && !entry_->text().isEmpty());
  remove_->setEnabled(!read_only_ && own >= 0);
  up_->setEnabled(!read_only_ && own > 0);
  down_->setEnabled(!read_only_ && own >= 0 && own + 1 < model_.own_count());
}

void PathPage::add_entry() {
  if (!add_->isEnabled())
    return;
  std::string scope = scope_, entry = entry_->text().toStdString();
  std::int32_t at = model_.own_count();
  runner_([scope, entry, at] { return lib_path_add(scope, entry, at); }, message_);
}

void PathPage::remove_entry() {
  if (!remove_->isEnabled())
    return;
  std::string scope = scope_, entry = model_.entries()[static_cast<std::size_t>(current_row())].entry;
  runner_([scope, entry] { return lib_path_del(scope, entry); }, message_);
}

// The entry moves past the next own entry up or down, skipping read-only ones between.
void PathPage::move_current(int by) {
  int row = current_row(), own = model_.own_index(row);
  if (read_only_ || own < 0 || own + by < 0 || own + by >= model_.own_count())
    return;
  std::string entry = model_.entries()[static_cast<std::size_t>(row)].entry;
  move_entry(QString::fromStdString(entry), own + by);
}

void PathPage::move_entry(const QString &entry, int own_index) {
  if (read_only_)
    return;
  std::string scope = scope_, text = entry.toStdString();
  runner_([scope, text, own_index] { return lib_path_move(scope, text, own_index); }, message_);
}

void PathPage::switch_entry(const QString &entry, bool on) {
  if (read_only_)
    return;
  std::string scope = scope_, text = entry.toStdString();
  runner_(
      [scope, text, on] {
        if (on && !switch_entry_on(scope, text))
          return "'" + text + "' is in the " + scope + " scope's PATH already; nothing changed";
        if (!on)
          switch_entry_off(scope, text);
        return std::string();
      },
      message_);
}
