#pragma once

#include "httpserver/HandlerHttpServer.h"
#include "rack/FeedRecording.h"

#include <QHostAddress>
#include <QObject>
#include <QTimer>
#include <optional>

/// Serves a recording as a live feed: every GET (any path) answers with the current snapshot's
/// body, content type and status. Snapshots follow one another on the recorded clock divided by
/// the speed, or one per step() in step mode; after the last one the replay starts again (loop)
/// or stays on it. Main thread.
class FeedReplay : public QObject {
    Q_OBJECT
  public:
    struct Options {
        double speed = 1.0;
        bool loop = false;
        /// Wait for step() between snapshots instead of the clock.
        bool stepping = false;
        /// Begin with the snapshot current at this recorded time (UTC); the first when absent.
        std::optional<QDateTime> start;
    };

    FeedReplay(FeedRecording recording, Options options, QObject* parent = nullptr);

    /// Listens (port 0: any free one); returns the port, or 0 with `error` set.
    quint16 listen(const QHostAddress& address, quint16 port, QString* error);
    /// Shows the first snapshot (or the one at the start time) and starts the clock.
    void begin();
    /// The next snapshot now (step mode; also skips the wait in clock mode).
    void step();
    /// The snapshot on show (index into the recording), -1 before begin().
    int current() const { return m_current; }
    /// How long the current snapshot stays on show; 0 when no next one is timed.
    std::chrono::milliseconds nextIn() const {
        return std::chrono::milliseconds(m_timer.isActive() ? m_timer.interval() : 0);
    }
    const FeedRecording& recording() const { return m_recording; }

  Q_SIGNALS:
    void snapshotShown(int index);
    /// The last snapshot is on show and no loop follows.
    void reachedEnd();

  private:
    void show(int index);
    /// Times the next snapshot; false when this is the last and no loop follows.
    bool scheduleNext();
    HandlerHttpServer::Reply reply() const;

    FeedRecording m_recording;
    Options m_options;
    HandlerHttpServer m_server;
    QTimer m_timer;
    int m_current = -1;
    HandlerHttpServer::Reply m_reply;
};
