#pragma once

#include <QByteArray>
#include <QHttpServer>
#include <memory>

namespace cli {

/// The demo's feed on loopback: the example scoreboard, advancing one step of the match at every
/// request so each refresh has something new to put on air.
class DemoFeed {
  public:
    /// `feed` is the example scoreboard document.
    explicit DemoFeed(QByteArray feed);
    /// Listens on 127.0.0.1 (ephemeral port); 0 on failure.
    quint16 listen();
    QByteArray current() const;
    int requestCount() const { return m_requests; }

  private:
    QByteArray stateAt(int step) const;

    QByteArray m_feed;
    QHttpServer m_server;
    int m_requests = 0;
};

} // namespace cli
