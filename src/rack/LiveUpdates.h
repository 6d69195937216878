#pragma once

#include <QByteArray>
#include <QObject>
#include <QTimer>
#include <QWebSocketServer>
#include <vector>

class ControlSnapshot;
class QTcpSocket;
class QWebSocket;

/// The control page's web socket. A browser cannot put headers on a web socket, so a page proves
/// the token with its first message, {"token":"TOKEN"}; nothing is sent to it before that, and a
/// wrong token (or no message within AuthenticationTimeoutMs) closes it with 1008. Without a
/// configured token any first message opens a read-only view.
///
/// A page that got in receives every document at once, then what changed: at most one message
/// every PushIntervalMs and only when something changed (of each document only the members that
/// differ), each serialised once and sent to every page as one binary frame of UTF-8 JSON. Without a page
/// nothing is built. A page that stops reading is dropped (it reconnects and starts over). Main thread.
class LiveUpdates : public QObject {
    Q_OBJECT
  public:
    static constexpr int PushIntervalMs = 300;
    static constexpr int AuthenticationTimeoutMs = 10000;
    /// A page with this much still unsent is dropped.
    static constexpr qint64 MaximumBacklogBytes = 8 * 1024 * 1024;

    /// `token` empty: read-only pages, no token asked.
    LiveUpdates(QByteArray token, ControlSnapshot& snapshot, QObject* parent = nullptr);
    ~LiveUpdates() override;

    /// Takes an upgrade request's socket, its head unread, whose path, Host and Origin were
    /// checked; the handshake follows.
    void accept(QTcpSocket* socket);
    /// Pages that proved the token.
    int pageCount() const { return int(m_pages.size()); }

  private:
    void takeConnections();
    void firstMessage(QWebSocket* socket, const QByteArray& message);
    void drop(QWebSocket* socket);
    void changed();
    void push();

    QByteArray m_token;
    ControlSnapshot& m_snapshot;
    QWebSocketServer m_server;
    std::vector<QWebSocket*> m_waiting; // connected, no token yet
    std::vector<QWebSocket*> m_pages;
    QTimer m_push;
};
