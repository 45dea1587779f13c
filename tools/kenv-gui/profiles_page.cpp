#include "profiles_page.h"

#include "profiles.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QVBoxLayout>

namespace {

QString text(const std::string &s) {
  return QString::fromStdString(s);
}

} // namespace

ProfilesPage::ProfilesPage(ChangeRunner runner, QWidget *parent)
    : QWidget(parent), runner_(std::move(runner)) {
  ask_name = [this](const QString &suggested) {
    return QInputDialog::getText(this, tr("New profile"), tr("Name (letters, digits, -, _ and .):"),
                                 QLineEdit::Normal, suggested);
  };
  choose_file = [this] {
    return QFileDialog::getOpenFileName(
        this, tr("Import a profile"), QString(),
        tr("Scope state (*.json);;environment.d file (*.conf);;Any file (*)"));
  };
  auto *layout = new QVBoxLayout(this);
  list_ = new QTreeWidget(this);
  list_->setObjectName(QStringLiteral("profiles"));
  list_->setHeaderLabels({tr("Profile (on when checked)"), tr("Sets"), tr("While on, it replaced")});
  list_->setRootIsDecorated(false);
  list_->setColumnWidth(0, 220);
  list_->setColumnWidth(1, 380);
  layout->addWidget(list_, 1);
  auto *row = new QHBoxLayout;
  new_ = new QPushButton(tr("&New from selected variables…"), this);
  new_->setObjectName(QStringLiteral("profileNew"));
  import_ = new QPushButton(tr("&Import file…"), this);
  import_->setObjectName(QStringLiteral("profileImport"));
  delete_ = new QPushButton(tr("&Delete"), this);
  delete_->setObjectName(QStringLiteral("profileDelete"));
  for (QPushButton *b : {new_, import_, delete_})
    row->addWidget(b);
  row->addStretch(1);
  layout->addLayout(row);
  message_ = make_message_label(QStringLiteral("profilesMessage"), this);
  layout->addWidget(message_);
  connect(list_, &QTreeWidget::itemChanged, this, &ProfilesPage::flipped);
  connect(list_, &QTreeWidget::currentItemChanged, this, &ProfilesPage::update_buttons);
  connect(new_, &QPushButton::clicked, this, &ProfilesPage::new_from_selected);
  connect(import_, &QPushButton::clicked, this, &ProfilesPage::import_file);
  connect(delete_, &QPushButton::clicked, this, &ProfilesPage::delete_selected);
  update_buttons();
}

void ProfilesPage::show_profiles(const std::string &scope, const std::vector<ProfileRow> &rows) {
  scope_ = scope;
  QString keep = list_->currentItem() ? list_->currentItem()->text(0) : QString();
  filling_ = true;
  list_->clear();
  for (const ProfileRow &p : rows) {
    auto *item = new QTreeWidgetItem(list_, {text(p.name), text(p.sets), text(p.replaced)});
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(0, p.on ? Qt::Checked : Qt::Unchecked);
    item->setToolTip(1, text(p.sets));
    item->setToolTip(2, text(p.replaced));
    if (item->text(0) == keep)
      list_->setCurrentItem(item);
  }
  filling_ = false;
  update_buttons();
}

void ProfilesPage::set_read_only(bool read_only) {
  read_only_ = read_only;
  list_->setEnabled(!read_only);
  update_buttons();
}

void ProfilesPage::update_buttons() {
  QTreeWidgetItem *item = list_->currentItem();
  new_->setEnabled(!read_only_);
  import_->setEnabled(!read_only_);
  delete_->setEnabled(!read_only_ && item && item->checkState(0) == Qt::Unchecked);
}

void ProfilesPage::flipped(QTreeWidgetItem *item, int column) {
  if (filling_ || column != 0 || read_only_)
    return;
  list_->setCurrentItem(item);
  std::string scope = scope_, name = item->text(0).toStdString();
  bool on = item->checkState(0) == Qt::Checked;
  runner_([scope, name, on] { return switch_profile(scope, name, on); }, message_);
}

void ProfilesPage::new_from_selected() {
  std::vector<std::string> names = selected_names ? selected_names() : std::vector<std::string>{};
  if (names.empty()) {
    message_->setText(tr("Select the variables for the profile on the Variables page first."));
    return message_->show();
  }
  QString name = ask_name(QString());
  if (name.isEmpty())
    return;
  std::string scope = scope_, profile = name.toStdString();
  runner_(
      [scope, profile, names] {
        new_profile(scope, profile, names);
        return std::string();
      },
      message_);
}

void ProfilesPage::import_file() {
  QString file = choose_file();
  if (file.isEmpty())
    return;
  QString name = ask_name(QFileInfo(file).completeBaseName());
  if (name.isEmpty())
    return;
  std::string scope = scope_, profile = name.toStdString(), path = file.toStdString();
  runner_(
      [scope, profile, path] {
        import_profile(scope, profile, path);
        return std::string();
      },
      message_);
}

void ProfilesPage::delete_selected() {
  QTreeWidgetItem *item = list_->currentItem();
  if (!item || !delete_->isEnabled())
    return;
  std::string scope = scope_, name = item->text(0).toStdString();
  runner_(
      [scope, name] {
        remove_profile(scope, name);
        return std::string();
      },
      message_);
}
