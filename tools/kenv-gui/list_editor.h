// A list-like value (MANPATH, XDG_DATA_DIRS, PYTHONPATH; on Windows PATHEXT) edited as a
// list: add (typed or picked), remove, move up and down or drag. The caller writes the
// list back whole, joined by the separator, with one env_set.
#pragma once

#include <QDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QStringList>

class ListEditor : public QDialog {
  Q_OBJECT
public:
  ListEditor(const QString &name, const QStringList &items, QWidget *parent = nullptr);
  QStringList items() const;

private:
  QListWidget *list_;
  QLineEdit *entry_;
  void add();
  void move_current(int by);
};
