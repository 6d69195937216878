#include "rack/FeedReplay.h"

#include <algorithm>
#include <cmath>

FeedReplay::FeedReplay(FeedRecording recording, Options options, QObject* parent)
    : QObject(parent), m_recording(std::move(recording)), m_options(options),
      m_server([this](const HandlerHttpServer::Request& request) {
          if (request.method != "GET" && request.method != "HEAD")
              return HandlerHttpServer::Reply{405, QByteArrayLiteral("text/plain; charset=utf-8"), {}};
          return reply();
      }) {
    if (!(m_options.speed > 0) || !std::isfinite(m_options.speed))
        m_options.speed = 1.0;
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &FeedReplay::step);
    m_reply.status = 503;
    m_reply.body = QByteArrayLiteral("The replay has not begun.\n");
}

quint16 FeedReplay::listen(const QHostAddress& address, quint16 port, QString* error) {
    return m_server.listenOn(address, port, error);
}

void FeedReplay::begin() {
    const auto& snapshots = m_recording.snapshots();
    if (snapshots.isEmpty())
        return;
    int first = 0;
    if (m_options.start) {
        // The last snapshot fetched at or before the start time.
        for (int i = 0; i < snapshots.size(); ++i)
            if (snapshots[i].fetchedAt <= *m_options.start)
                first = i;
    }
    show(first);
}

void FeedReplay::step() {
    const int count = int(m_recording.snapshots().size());
    if (count == 0)
        return;
    if (m_current + 1 < count)
        show(m_current + 1);
    else if (m_options.loop)
        show(0);
}

void FeedReplay::show(int index) {
    const FeedRecording::Snapshot& snapshot = m_recording.snapshots().at(index);
    m_current = index;
    m_reply.status = snapshot.status > 0 ? snapshot.status : 200;
    m_reply.contentType =
        snapshot.contentType.isEmpty() ? QByteArrayLiteral("application/octet-stream") : snapshot.contentType;
    m_reply.body = m_recording.body(snapshot);
    const bool more = scheduleNext();
    Q_EMIT snapshotShown(index);
    if (!more)
        Q_EMIT reachedEnd();
}

bool FeedReplay::scheduleNext() {
    m_timer.stop();
    const auto& snapshots = m_recording.snapshots();
    const bool last = m_current + 1 >= snapshots.size();
    if (last && !m_options.loop)
        return false;
    if (m_options.stepping)
        return true;
    qint64 gap = 0;
    if (!last) {
        gap = snapshots[m_current].fetchedAt.msecsTo(snapshots[m_current + 1].fetchedAt);
    } else if (snapshots.size() > 1) {
        // Around again after the recording's mean interval.
        gap = snapshots.first().fetchedAt.msecsTo(snapshots.last().fetchedAt) / (snapshots.size() - 1);
    } else {
        gap = 1000;
    }
    const double scaled = double(std::max<qint64>(gap, 0)) / m_options.speed;
    m_timer.start(int(std::lround(std::min(scaled, 2.0e9))));
    return true;
}

HandlerHttpServer::Reply FeedReplay::reply() const {
    return m_reply;
}
