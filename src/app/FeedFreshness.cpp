#include "app/FeedFreshness.h"

#include <algorithm>
#include <cmath>
#include <limits>

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
    if (!m_lastSuccess.isValid())
        m_watchedSince = QDateTime::currentDateTimeUtc();
    if (!isLimit(seconds) && m_stale) {
        m_stale = false;
        Q_EMIT staleChanged(false, secondsSinceLastSuccess().value_or(0));
    }
    arm();
}

void FeedFreshness::refreshSucceeded() {
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const qint64 without = std::max<qint64>(0, since().secsTo(now));
    m_lastSuccess = now;
    if (m_stale) {
        m_stale = false;
        Q_EMIT staleChanged(false, without);
    }
    arm();
}

std::optional<qint64> FeedFreshness::secondsSinceLastSuccess(const QDateTime& now) const {
    if (!m_lastSuccess.isValid())
        return std::nullopt;
    return std::max<qint64>(0, m_lastSuccess.secsTo(now));
}

QDateTime FeedFreshness::since() const {
    return m_lastSuccess.isValid() ? m_lastSuccess : m_watchedSince;
}

void FeedFreshness::arm() {
    m_timer.stop();
    if (!isLimit(m_staleAfterSeconds) || m_stale)
        return;
    const qint64 due = since().toMSecsSinceEpoch() + qint64(std::min(m_staleAfterSeconds, 1e9) * 1000.0);
    const qint64 left = due - QDateTime::currentMSecsSinceEpoch();
    m_timer.start(int(std::clamp<qint64>(left, 0, std::numeric_limits<int>::max())));
}

void FeedFreshness::check() {
    if (!isLimit(m_staleAfterSeconds) || m_stale)
        return;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const qint64 elapsedMs = since().msecsTo(now);
    if (elapsedMs < qint64(m_staleAfterSeconds * 1000.0)) {
        arm(); // woken early (a long limit is waited for in pieces)
        return;
    }
    m_stale = true;
    Q_EMIT staleChanged(true, elapsedMs / 1000);
}
