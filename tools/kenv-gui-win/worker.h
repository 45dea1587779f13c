// The threads beside the window's. Every library call runs on one worker thread, one after
// another: the library serialises its calls anyway and its last-error text is shared by all
// threads, and the window never waits for a call (the broadcast that follows a change can
// take seconds). A second thread waits on both Environment keys and tells the window when
// either changes. Results reach the window as posted messages carrying a record.
#pragma once

#include <windows.h>

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

class Worker {
public:
  Worker();
  ~Worker(); // lets the running job finish and drops the others
  Worker(const Worker &) = delete;
  Worker &operator=(const Worker &) = delete;

  // The job must not throw.
  void post(std::function<void()> job);

private:
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::function<void()>> jobs_;
  bool stopping_ = false;
  std::thread thread_;
  void run();
};

struct HandleClose {
  void operator()(HANDLE h) const { CloseHandle(h); }
};
using Handle = std::unique_ptr<void, HandleClose>;

// Posts `message` to `window` each time the user's or the machine's Environment key, or a
// value in it, changes.
class EnvironmentWatch {
public:
  EnvironmentWatch(HWND window, UINT message);
  ~EnvironmentWatch();
  EnvironmentWatch(const EnvironmentWatch &) = delete;
  EnvironmentWatch &operator=(const EnvironmentWatch &) = delete;

private:
  HWND window_;
  UINT message_;
  Handle stop_;
  std::thread thread_;
  void run();
};

// Hands a record to the window with a posted message; the window takes it back with
// take_posted. A record the window can no longer receive is freed here.
template <class T> void post_record(HWND window, UINT message, std::unique_ptr<T> record, WPARAM extra = 0) {
  if (PostMessageW(window, message, extra, reinterpret_cast<LPARAM>(record.get())))
    record.release();
}
template <class T> std::unique_ptr<T> take_posted(LPARAM lparam) {
  return std::unique_ptr<T>(reinterpret_cast<T *>(lparam));
}
