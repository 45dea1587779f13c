#include "scope_tab.h"

#include "window_texts.h"

#include <QApplication>
#include <QHeaderView>
#include <QStyle>
#include <QVBoxLayout>

ScopeTab::ScopeTab(const std::string &scope, LibraryQueue &queue, QWidget *parent)
    : QWidget(parent), scope_(scope), queue_(queue) {
  setObjectName(QString::fromStdString(scope));
  auto *layout = new QVBoxLayout(this);
  note_ = new QLabel(this);
  note_->setObjectName(QStringLiteral("readOnlyNote"));
  note_->setWordWrap(true);
  note_->hide();
  layout->addWidget(note_);
  pages_ = new QTabWidget(this);
  pages_->setObjectName(QStringLiteral("pages"));
  layout->addWidget(pages_, 1);

  ChangeRunner runner = [this](LibraryCall call, QLabel *where) { run_change(std::move(call), where); };
  variables_ = new VariablesPage(runner, pages_);
  path_ = new PathPage(runner, pages_);
  pages_->addTab(variables_, tr("&Variables"));
  pages_->addTab(path_, tr("&PATH"));
  profiles_ = new ProfilesPage(runner, pages_);
  profiles_->selected_names = [this] { return variables_->selected_names(); };
  pages_->addTab(profiles_, tr("P&rofiles"));
  pages_->addTab(make_session_page(), tr("New s&ession"));
  warnings_ = new QListWidget(pages_);
  warnings_->setObjectName(QStringLiteral("warnings"));
  pages_->addTab(warnings_, tr("&Warnings"));
  if (scope == "user") {
    backups_ = new BackupsPage(runner, queue_, pages_);
    pages_->addTab(backups_, tr("&Backups"));
  }
}

QWidget *ScopeTab::make_session_page() {
  auto *page = new QWidget(pages_);
  auto *layout = new QVBoxLayout(page);
  auto *about = new QLabel(tr("What a new login session gets from environment.d, in the order it assigns the "
                              "variables, and the file that set each. A login shell that loads the export "
                              "files can differ; the last column says how."),
                           page);
  about->setWordWrap(true);
  layout->addWidget(about);
  auto *table = new QTableView(page);
  table->setObjectName(QStringLiteral("session"));
  table->setModel(&session_);
  table->setSelectionBehavior(QAbstractItemView::SelectRows);
  table->setWordWrap(false);
  table->verticalHeader()->hide();
  table->horizontalHeader()->setStretchLastSection(true);
  table->horizontalHeader()->resizeSection(SessionModel::name, 160);
  table->horizontalHeader()->resizeSection(SessionModel::value, 260);
  table->horizontalHeader()->resizeSection(SessionModel::file, 300);
  layout->addWidget(table, 1);
  return page;
}

void ScopeTab::set_read_only(const QString &why) {
  note_->setText(why);
  note_->setVisible(!why.isEmpty());
  variables_->set_read_only(!why.isEmpty());
  path_->set_read_only(!why.isEmpty());
  profiles_->set_read_only(!why.isEmpty());
}

void ScopeTab::show_listing(const Listing &listing, const ScopeSets &sets) {
  variables_->show_listing(listing);
  path_->show_listing(listing, sets.marks);
  profiles_->show_profiles(listing.scope, sets.profiles);
  session_.set(listing.session);
  show_warnings(listing);
}

void ScopeTab::show_warnings(const Listing &listing) {
  warnings_->clear();
  QIcon icon = QApplication::style()->standardIcon(QStyle::SP_MessageBoxWarning);
  for (const Warning &w : listing.warnings)
    new QListWidgetItem(icon, QString::fromStdString(warning_line(w)), warnings_);
  pages_->setTabText(pages_->indexOf(warnings_), listing.warnings.empty()
                                                     ? tr("&Warnings")
                                                     : tr("&Warnings (%1)").arg(listing.warnings.size()));
}

void ScopeTab::run_change(LibraryCall call, QLabel *where) {
  where->hide();
  queue_.run<ChangeResult>(
      this, [call = std::move(call)] { return guarded(call); },
      [this, where](ChangeResult result) {
        where->setText(result.ok ? result.message : tr("Not changed: %1").arg(result.message));
        where->setVisible(!result.message.isEmpty());
        emit changed();
      });
}
