#include "worker.h"

Worker::Worker() : thread_([this] { run(); }) {
}

Worker::~Worker() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    jobs_.clear();
  }
  wake_.notify_one();
  thread_.join();
}

void Worker::post(std::function<void()> job) {
  {
    std::lock_guard lock(mutex_);
    jobs_.push_back(std::move(job));
  }
  wake_.notify_one();
}

void Worker::run() {
  for (;;) {
    std::function<void()> job;
    {
      std::unique_lock lock(mutex_);
      wake_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
      if (stopping_)
        return;
      job = std::move(jobs_.front());
      jobs_.pop_front();
    }
    job();
  }
}

namespace {

struct KeyClose {
  void operator()(HKEY key) const { RegCloseKey(key); }
};
using Key = std::unique_ptr<std::remove_pointer_t<HKEY>, KeyClose>;

Key open_for_notify(HKEY root, const wchar_t *path) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(root, path, 0, KEY_NOTIFY | KEY_READ, &key) != ERROR_SUCCESS)
    return nullptr;
  return Key(key);
}

} // namespace

EnvironmentWatch::EnvironmentWatch(HWND window, UINT message)
    : window_(window), message_(message), stop_(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      thread_([this] { run(); }) {
}

EnvironmentWatch::~EnvironmentWatch() {
  SetEvent(stop_.get());
  thread_.join();
}

// A notification is asked for again after each one, on this same thread, which the
// registration belongs to.
void EnvironmentWatch::run() {
  Key keys[] = {open_for_notify(HKEY_CURRENT_USER, L"Environment"),
                open_for_notify(HKEY_LOCAL_MACHINE,
                                L"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment")};
  Handle changed[] = {Handle(CreateEventW(nullptr, FALSE, FALSE, nullptr)),
                      Handle(CreateEventW(nullptr, FALSE, FALSE, nullptr))};
  const DWORD filter = REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET;
  for (;;) {
    HANDLE waits[3] = {stop_.get(), nullptr, nullptr};
    DWORD count = 1;
    for (int i = 0; i < 2; ++i)
      if (keys[i] &&
          RegNotifyChangeKeyValue(keys[i].get(), TRUE, filter, changed[i].get(), TRUE) == ERROR_SUCCESS)
        waits[count++] = changed[i].get();
    DWORD woke = WaitForMultipleObjects(count, waits, FALSE, INFINITE);
    if (woke == WAIT_OBJECT_0 || woke == WAIT_FAILED)
      return;
    PostMessageW(window_, message_, 0, 0);
  }
}
