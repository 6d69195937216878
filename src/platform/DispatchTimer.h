#pragma once

#include <QObject>
#include <QTimer>
#include <chrono>
#include <functional>

namespace platform {

/// A repeating timer on the thread that owns it (the main thread for documents): first fires
/// `start` after `schedule()`, then every `period` measured from the previous deadline (no
/// drift). A period of zero fires once. Leeway lets the system coalesce wake-ups: below one
/// second the timer is precise, otherwise coarse (Qt may shift it by up to 5% of the interval).
///
/// Suspensions nest: every `suspend()` needs a `resume()`. A deadline that passes while
/// suspended fires once, promptly, on the final `resume()`; missed periods are not replayed.
class DispatchTimer : public QObject {
    Q_OBJECT
  public:
    using Duration = std::chrono::milliseconds;

    explicit DispatchTimer(std::function<void()> handler = {}, QObject* parent = nullptr);

    void setHandler(std::function<void()> handler) { m_handler = std::move(handler); }
    void schedule(Duration start, Duration period, Duration leeway = Duration::zero());
    void suspend();
    void resume();
    /// Stops the timer for good until the next `schedule()`.
    void cancel();

    bool isScheduled() const { return m_scheduled; }
    bool isSuspended() const { return m_suspendCount > 0; }
    Duration period() const { return m_period; }

  Q_SIGNALS:
    void fired();

  private:
    void arm();
    void fire();

    std::function<void()> m_handler;
    QTimer m_timer;
    Duration m_period{0};
    std::chrono::steady_clock::time_point m_deadline;
    int m_suspendCount = 0;
    bool m_scheduled = false;
};

} // namespace platform
