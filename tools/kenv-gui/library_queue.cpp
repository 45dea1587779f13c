#include "library_queue.h"

#include <exception>

LibraryQueue::LibraryQueue(QObject *parent) : QObject(parent) {
  pool_.setMaxThreadCount(1);
  pool_.setExpiryTimeout(-1);
}

LibraryQueue::~LibraryQueue() {
  pool_.waitForDone();
}

void LibraryQueue::wait_idle() {
  pool_.waitForDone();
}

ChangeResult guarded(const std::function<std::string()> &call) {
  try {
    return {true, QString::fromStdString(call())};
  } catch (const std::exception &e) {
    return {false, QString::fromUtf8(e.what())};
  }
}
