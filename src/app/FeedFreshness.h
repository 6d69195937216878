#pragma once

#include <QDateTime>
#include <QObject>
#include <QTimer>
#include <optional>

/// When a document's feed last refreshed successfully, and whether that is too long ago: with a
/// limit set, the data turns stale once no refresh has succeeded for that long (counted from the
/// last success, or from when watching began), and fresh again with the next success. Each turn
/// is announced once, never once per refresh. Main thread.
class FeedFreshness : public QObject {
    Q_OBJECT
  public:
    explicit FeedFreshness(QObject* parent = nullptr);

    /// 0, negative or not a number: no limit (never stale).
    void setStaleAfterSeconds(double seconds);
    double staleAfterSeconds() const { return m_staleAfterSeconds; }

    /// A refresh delivered a feed and its values were evaluated.
    void refreshSucceeded();
    /// Invalid before the first success.
    const QDateTime& lastSuccess() const { return m_lastSuccess; }
    /// Whole seconds since the last success; none before the first.
    std::optional<qint64>
    secondsSinceLastSuccess(const QDateTime& now = QDateTime::currentDateTimeUtc()) const;
    bool isStale() const { return m_stale; }

  Q_SIGNALS:
    /// The data turned stale (`stale`) or fresh again; `seconds`: how long no refresh had
    /// succeeded.
    void staleChanged(bool stale, qint64 seconds);

  private:
    void arm();
    void check();
    QDateTime since() const;

    double m_staleAfterSeconds = 0;
    QDateTime m_watchedSince = QDateTime::currentDateTimeUtc();
    QDateTime m_lastSuccess;
    bool m_stale = false;
    QTimer m_timer;
};
