#include "RawWebSocketPeer.h"

#include <QCryptographicHash>
#include <QPointer>
#include <QTcpSocket>
#include <QTimer>
#include <QtEndian>

using namespace Qt::StringLiterals;

RawWebSocketPeer::RawWebSocketPeer() {
    connect(&m_server, &QTcpServer::newConnection, this, &RawWebSocketPeer::accept);
    m_server.listen(QHostAddress::LocalHost);
}

RawWebSocketPeer::~RawWebSocketPeer() {
    for (Connection* connection : std::as_const(m_connections)) {
        connection->socket->disconnect(this);
        connection->socket->abort();
        delete connection;
    }
    m_connections.clear();
}

QUrl RawWebSocketPeer::url(const QString& path) const {
    return QUrl(u"ws://127.0.0.1:%1%2"_s.arg(port()).arg(path));
}

void RawWebSocketPeer::accept() {
    while (QTcpSocket* socket = m_server.nextPendingConnection()) {
        auto* connection = new Connection{socket, {}, false};
        m_connections.append(connection);
        connect(socket, &QTcpSocket::readyRead, this, [this, connection] { readFrom(*connection); });
        connect(socket, &QTcpSocket::disconnected, this, [this, connection] {
            m_connections.removeAll(connection);
            connection->socket->deleteLater();
            delete connection;
        });
    }
}

void RawWebSocketPeer::readFrom(Connection& connection) {
    connection.buffer += connection.socket->readAll();
    if (!connection.upgraded) {
        const qsizetype end = connection.buffer.indexOf("\r\n\r\n");
        if (end < 0)
            return;
        handshake(connection, connection.buffer.left(end + 4));
        connection.buffer.remove(0, end + 4);
    }
    readFrames(connection);
}

void RawWebSocketPeer::handshake(Connection& connection, const QByteArray& head) {
    lastHandshake = head;
    QByteArray key;
    QByteArray protocols;
    for (const QByteArray& line : head.split('\n')) {
        const qsizetype colon = line.indexOf(':');
        if (colon < 0)
            continue;
        const QByteArray name = line.left(colon).trimmed().toLower();
        if (name == "sec-websocket-key")
            key = line.mid(colon + 1).trimmed();
        else if (name == "sec-websocket-protocol")
            protocols = line.mid(colon + 1).trimmed();
    }
    const QByteArray accept =
        QCryptographicHash::hash(QByteArray(key + "258EAFA5-E914-47DA-95CA-C5AB0DC85B11"),
                                 QCryptographicHash::Sha1)
            .toBase64();
    QByteArray response = "HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                          "Sec-WebSocket-Accept: " +
                          accept + "\r\n";
    if (!protocols.isEmpty())
        response += "Sec-WebSocket-Protocol: " + protocols.split(',').first().trimmed() + "\r\n";
    connection.socket->write(response + "\r\n");
    connection.upgraded = true;
}

void RawWebSocketPeer::readFrames(Connection& connection) {
    QByteArray& b = connection.buffer;
    while (b.size() >= 2) {
        // Clients send only control frames here, whose payloads fit the one length byte.
        const quint8 opcode = quint8(b[0]) & 0x0F;
        const bool masked = quint8(b[1]) & 0x80;
        const qsizetype length = quint8(b[1]) & 0x7F;
        const qsizetype offset = masked ? 6 : 2;
        if (b.size() < offset + length)
            return;
        QByteArray payload = b.mid(offset, length);
        if (masked)
            for (qsizetype i = 0; i < payload.size(); ++i)
                payload[i] = char(payload[i] ^ b[2 + (i % 4)]);
        b.remove(0, offset + length);
        if (opcode == 0x9) {
            ++pingsReceived;
            if (answerPings)
                connection.socket->write(frame(0xA, payload));
        } else if (opcode == 0x8) {
            closeCodesReceived.append(payload.size() >= 2 ? qFromBigEndian<quint16>(payload.constData())
                                                          : 1005);
            connection.socket->write(frame(0x8, payload.left(2)));
            connection.socket->disconnectFromHost();
            return;
        }
    }
}

// The tests send short payloads only: one length byte.
QByteArray RawWebSocketPeer::frame(quint8 opcode, const QByteArray& payload) {
    Q_ASSERT(payload.size() < 126);
    return char(0x80 | opcode) + (char(payload.size()) + payload);
}

void RawWebSocketPeer::broadcast(const QByteArray& bytes) {
    for (Connection* connection : std::as_const(m_connections))
        if (connection->upgraded)
            connection->socket->write(bytes);
}

void RawWebSocketPeer::sendClose(quint16 code) {
    const quint16 big = qToBigEndian(code);
    broadcast(frame(0x8, QByteArray(reinterpret_cast<const char*>(&big), 2)));
    // A server gives the client a moment to read the close frame and answer it before the
    // connection goes: dropping it at once raced the frame against the disconnect on a slow
    // (sanitizer) build, and the close could surface as an error.
    for (Connection* connection : std::as_const(m_connections)) {
        if (connection->upgraded) {
            QTimer::singleShot(100, connection->socket, [socket = QPointer<QTcpSocket>(connection->socket)] {
                if (socket)
                    socket->disconnectFromHost();
            });
        }
    }
}
