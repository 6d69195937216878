#include "platform/DispatchTimer.h"

namespace platform {

using std::chrono::steady_clock;

DispatchTimer::DispatchTimer(std::function<void()> handler, QObject* parent)
    : QObject(parent), m_handler(std::move(handler)) {
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &DispatchTimer::fire);
}

void DispatchTimer::schedule(Duration start, Duration period, Duration leeway) {
    m_period = std::max(period, Duration::zero());
    m_timer.setTimerType(leeway < std::chrono::seconds(1) ? Qt::PreciseTimer : Qt::CoarseTimer);
    m_deadline = steady_clock::now() + std::max(start, Duration::zero());
    m_scheduled = true;
    arm();
}

void DispatchTimer::suspend() {
    ++m_suspendCount;
    m_timer.stop();
}

void DispatchTimer::resume() {
    if (m_suspendCount == 0)
        return;
    if (--m_suspendCount == 0)
        arm();
}

void DispatchTimer::cancel() {
    m_scheduled = false;
    m_timer.stop();
}

void DispatchTimer::arm() {
    if (!m_scheduled || m_suspendCount > 0)
        return;
    const auto remaining = std::chrono::duration_cast<Duration>(m_deadline - steady_clock::now());
    m_timer.start(std::max(remaining, Duration::zero()));
}

void DispatchTimer::fire() {
    if (!m_scheduled || m_suspendCount > 0)
        return;
    if (m_period > Duration::zero()) {
        // Skip deadlines that already passed (a long handler, a suspension) rather than bursting.
        const auto now = steady_clock::now();
        m_deadline += m_period;
        if (m_deadline <= now)
            m_deadline = now + m_period;
    } else {
        m_scheduled = false;
    }
    // The handler may reschedule or cancel this timer: arm before, so its decision wins.
    arm();
    if (m_handler)
        m_handler();
    Q_EMIT fired();
}

} // namespace platform
