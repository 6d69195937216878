#pragma once

#include <QByteArray>
#include <QObject>
#include <vector>

class QTcpSocket;
class QWebSocket;
class QWebSocketServer;

/// The control pages' web sockets, on a thread of their own: the main thread, where the documents
/// live, wakes for every refresh, and each wake would otherwise look at every open page's socket
/// too. LiveUpdates drives it by queued calls and hears back by its signals.
///
/// A page proves the token with its first message, {"token":"TOKEN"}; nothing is sent to it
/// before that, and a wrong token (or no message within AuthenticationTimeoutMs) closes it with
/// 1008. Without a configured token any first message opens a read-only view. A page that stops
/// reading (MaximumBacklogBytes unsent) is dropped; it reconnects and starts over.
class LivePages : public QObject {
    Q_OBJECT
  public:
    static constexpr int AuthenticationTimeoutMs = 10000;
    static constexpr qint64 MaximumBacklogBytes = 8 * 1024 * 1024;

    /// `token` empty: read-only pages, no token asked.
    explicit LivePages(QByteArray token);
    ~LivePages() override;

    /// Takes an upgrade request's socket (moved to this object's thread, its head unread, its
    /// path, Host and Origin checked); the handshake follows.
    void accept(QTcpSocket* socket);
    /// Lets in the page `page` (from `authenticated`) with every document, unless it left meanwhile.
    void welcome(quintptr page, const QByteArray& everything);
    /// Sends `message` to every page let in.
    void broadcast(const QByteArray& message);
    /// Closes every socket (before the thread ends).
    void closeAll();

  Q_SIGNALS:
    /// A page proved the token: LiveUpdates answers with welcome().
    void authenticated(quintptr page);
    /// Pages let in, after a page came or went.
    void pageCountChanged(int count);

  private:
    void takeConnections();
    void firstMessage(QWebSocket* socket, const QByteArray& message);
    void drop(QWebSocket* socket);

    QByteArray m_token;
    QWebSocketServer* m_server;         // a child, so it moves with this object
    std::vector<QWebSocket*> m_waiting; // connected, no token yet
    std::vector<QWebSocket*> m_proven;  // token proven, waiting for every document
    std::vector<QWebSocket*> m_pages;   // let in
};
