#pragma once

#include "platform/MonotonicClock.h"

#include <QDateTime>
#include <QObject>
#include <QTimer>
#include <optional>

/// When a document's feed last refreshed successfully, and whether that is too long ago: with a
/// limit set, the data turns stale once no refresh has succeeded for that long (counted from the
/// last success, or from when watching began), and fresh again with the next success. Each turn
/// is announced once, never once per refresh. Ages are measured on the monotonic clock, so
/// setting the wall clock neither raises nor suppresses the alarm. Main thread.
class FeedFreshness : public QObject {
    Q_OBJECT
  public:
    using TimePoint = platform::MonotonicClock::TimePoint;

    explicit FeedFreshness(QObject* parent = nullptr);

    /// 0, negative or not a number: no limit (never stale).
    void setStaleAfterSeconds(double seconds);
    double staleAfterSeconds() const { return m_staleAfterSeconds; }

    /// A refresh delivered a feed and its values were evaluated.
    void refreshSucceeded();
    /// Wall-clock time of the last success, for display; invalid before the first success.
    const QDateTime& lastSuccess() const { return m_lastSuccessShown; }
    /// Whole seconds since the last success; none before the first.
    std::optional<qint64> secondsSinceLastSuccess(TimePoint now = platform::MonotonicClock::now()) const;
    /// The last success on the monotonic clock; none before the first.
    const std::optional<TimePoint>& lastSuccessTick() const { return m_lastSuccess; }
    bool isStale() const { return m_stale; }
    /// Compares the data's age with the limit now (the timer does it when the limit falls due).
    void check();
    /// The technical log's line for a turn of staleChanged, of the feed of the document `name`.
    static QString announcement(bool stale, qint64 seconds, const QString& name);

  Q_SIGNALS:
    /// The data turned stale (`stale`) or fresh again; `seconds`: how long no refresh had
    /// succeeded.
    void staleChanged(bool stale, qint64 seconds);

  private:
    void arm();
    TimePoint since() const;

    double m_staleAfterSeconds = 0;
    TimePoint m_watchedSince = platform::MonotonicClock::now();
    std::optional<TimePoint> m_lastSuccess;
    QDateTime m_lastSuccessShown;
    bool m_stale = false;
    QTimer m_timer;
};
