#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QTcpServer>
#include <QUrl>
#include <atomic>

class QTcpSocket;

/// A deliberately bare web-socket server for tests, written from the protocol (RFC 6455) so
/// that it can misbehave where Qt's own server cannot: it answers pings only while
/// `answerPings` is set, and otherwise does nothing it is not told to. Runs on the thread that
/// creates it.
class RawWebSocketPeer : public QObject {
    Q_OBJECT
  public:
    RawWebSocketPeer();
    ~RawWebSocketPeer() override;
    quint16 port() const { return m_server.serverPort(); }
    QUrl url(const QString& path) const;

    void sendText(const QByteArray& text) { broadcast(frame(0x1, text)); }
    void sendBinary(const QByteArray& data) { broadcast(frame(0x2, data)); }
    /// A close frame with `code`, then the connection ends.
    void sendClose(quint16 code);

    std::atomic<bool> answerPings{true};
    std::atomic<int> pingsReceived{0};
    QList<int> closeCodesReceived;
    QByteArray lastHandshake;

  private:
    struct Connection {
        QTcpSocket* socket;
        QByteArray buffer;
        bool upgraded = false;
    };
    void accept();
    void readFrom(Connection& connection);
    void handshake(Connection& connection, const QByteArray& head);
    void readFrames(Connection& connection);
    static QByteArray frame(quint8 opcode, const QByteArray& payload);
    void broadcast(const QByteArray& bytes);

    QTcpServer m_server;
    QList<Connection*> m_connections;
};
