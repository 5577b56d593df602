// Blocking work (the message server's transfers) runs on a worker thread
// while the user-interface thread waits in a local event loop: the windows
// keep painting and timers keep running, the wait cursor shows, and the
// user's input is swallowed until the scope ends, so nothing the user does
// can start a second receive or close the window half-way.
#pragma once

#include <functional>
#include <memory>

class CBusyInputFilter;

class CBusyScope {
 public:
  // Shows the wait cursor and starts swallowing input.
  CBusyScope();
  ~CBusyScope();
  CBusyScope(const CBusyScope&) = delete;
  CBusyScope& operator=(const CBusyScope&) = delete;

  // Runs work on a worker thread and returns once it has finished; an
  // exception of work is rethrown here. Without an application object, or
  // off the user-interface thread, work runs in place.
  void Run(const std::function<void()>& work);

 private:
  std::unique_ptr<CBusyInputFilter> m_filter;
};
