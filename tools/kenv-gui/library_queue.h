// The one worker thread every library call of kenv-gui runs on. The library serialises its
// calls anyway, and its last-error text is shared by all threads, so one thread keeps each
// failure paired with its message; the event loop never waits for a call (on Windows the
// broadcast after a change can take seconds).
#pragma once

#include <QFutureWatcher>
#include <QObject>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

#include <functional>

class LibraryQueue : public QObject {
  Q_OBJECT
public:
  explicit LibraryQueue(QObject *parent = nullptr);
  ~LibraryQueue() override;

  // Runs `job` on the worker thread and hands its result to `done` on the event loop, as
  // long as `context` still exists. Jobs run one after another, in the order given. A job
  // must not throw.
  template <class R> void run(QObject *context, std::function<R()> job, std::function<void(R)> done) {
    auto *watcher = new QFutureWatcher<R>(context);
    connect(watcher, &QFutureWatcherBase::finished, context, [watcher, done = std::move(done)] {
      done(watcher->result());
      watcher->deleteLater();
    });
    watcher->setFuture(QtConcurrent::run(&pool_, std::move(job)));
  }

  // Blocks until every job given so far has run (at exit, and in tests).
  void wait_idle();

private:
  QThreadPool pool_;
};

// The outcome of a change: the library's words when it refused, and a note it may leave
// after a success (a tolerated problem).
struct ChangeResult {
  bool ok = true;
  QString message;
};

// Runs a call of the front-end library, turning its exceptions into a ChangeResult.
ChangeResult guarded(const std::function<std::string()> &call);
