#include "app/FeedFreshness.h"

#include "platform/StringFormat.h"

#include <algorithm>
#include <cmath>
#include <limits>

using platform::MonotonicClock;

namespace {

bool isLimit(double seconds) {
    return std::isfinite(seconds) && seconds > 0;
}

} // namespace

FeedFreshness::FeedFreshness(QObject* parent) : QObject(parent) {
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &FeedFreshness::check);
}

void FeedFreshness::setStaleAfterSeconds(double seconds) {
    if (!isLimit(seconds))
        seconds = 0;
    if (m_staleAfterSeconds == seconds)
        return;
    m_staleAfterSeconds = seconds;
    // A new limit is counted from now when nothing has succeeded yet.
    if (!m_lastSuccess)
        m_watchedSince = MonotonicClock::now();
    if (!isLimit(seconds) && m_stale) {
        m_stale = false;
        Q_EMIT staleChanged(false, secondsSinceLastSuccess().value_or(0));
    }
    arm();
}

void FeedFreshness::refreshSucceeded() {
    const TimePoint now = MonotonicClock::now();
    const qint64 without = MonotonicClock::secondsBetween(since(), now);
    m_lastSuccess = now;
    m_lastSuccessShown = QDateTime::currentDateTimeUtc();
    if (m_stale) {
        m_stale = false;
        Q_EMIT staleChanged(false, without);
    }
    arm();
}

std::optional<qint64> FeedFreshness::secondsSinceLastSuccess(TimePoint now) const {
    if (!m_lastSuccess)
        return std::nullopt;
    return MonotonicClock::secondsBetween(*m_lastSuccess, now);
}

FeedFreshness::TimePoint FeedFreshness::since() const {
    return m_lastSuccess.value_or(m_watchedSince);
}

void FeedFreshness::arm() {
    m_timer.stop();
    if (!isLimit(m_staleAfterSeconds) || m_stale)
        return;
    const auto limit = std::chrono::milliseconds(qint64(std::min(m_staleAfterSeconds, 1e9) * 1000.0));
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(since() + limit - MonotonicClock::now());
    m_timer.start(int(std::clamp<qint64>(left.count(), 0, std::numeric_limits<int>::max())));
}

void FeedFreshness::check() {
    if (!isLimit(m_staleAfterSeconds) || m_stale)
        return;
    const qint64 elapsedMs =
        std::chrono::duration_cast<std::chrono::milliseconds>(MonotonicClock::now() - since()).count();
    if (elapsedMs < qint64(m_staleAfterSeconds * 1000.0)) {
        arm(); // woken early (a long limit is waited for in pieces)
        return;
    }
    m_stale = true;
    Q_EMIT staleChanged(true, elapsedMs / 1000);
}

QString FeedFreshness::announcement(bool stale, qint64 seconds, const QString& name) {
    return stale ? platform::StringFormat::format(
                       QStringLiteral(
                           "Stale data: the feed of “%@” has not refreshed successfully for %ld seconds"),
                       name, seconds)
                 : platform::StringFormat::format(
                       QStringLiteral("Recovered: the feed of “%@” refreshed successfully after %ld seconds "
                                      "without data"),
                       name, seconds);
}
