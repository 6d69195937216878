#pragma once

#include <QObject>
#include <functional>
#include <memory>

class QSocketNotifier;

namespace platform {

/// SIGINT and SIGTERM as events of the main loop, for programs that run until stopped (a
/// service manager, a logout or Ctrl+C asks them to quit cleanly). The
/// handler only writes the signal number into a socket pair (async-signal-safe); the loop reads it.
///
/// Main thread. While one lives, the two signals no longer end the process; the previous
/// handlers come back when it is destroyed. One at a time.
class StopSignalWaiter {
  public:
    StopSignalWaiter();
    ~StopSignalWaiter();
    StopSignalWaiter(const StopSignalWaiter&) = delete;
    StopSignalWaiter& operator=(const StopSignalWaiter&) = delete;

    /// Whether the handlers are in place; without them wait() would never return.
    bool isReady() const { return m_ready; }
    /// Runs the main event loop until SIGINT or SIGTERM arrives; returns the signal number.
    int wait();
    /// Calls `handler` with the signal number on the main loop each time SIGINT or SIGTERM arrives.
    void onStop(std::function<void(int signalNumber)> handler);

  private:
    bool m_ready = false;
    std::unique_ptr<QSocketNotifier> m_notifier;
};

} // namespace platform
