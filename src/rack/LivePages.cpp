#include "rack/LivePages.h"

#include "httpserver/HandlerHttpServer.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpSocket>
#include <QTimer>
#include <QWebSocket>
#include <QWebSocketServer>
#include <algorithm>

namespace {
// The first message is a small JSON object; anything longer is no token.
constexpr quint64 MaximumIncomingMessageBytes = 4096;

bool contains(const std::vector<QWebSocket*>& list, QWebSocket* socket) {
    return std::find(list.begin(), list.end(), socket) != list.end();
}

void remove(std::vector<QWebSocket*>& list, QWebSocket* socket) {
    list.erase(std::remove(list.begin(), list.end(), socket), list.end());
}
} // namespace

LivePages::LivePages(QByteArray token)
    : m_token(std::move(token)),
      m_server(new QWebSocketServer(QStringLiteral("Graflink"), QWebSocketServer::NonSecureMode, this)) {
    m_server->setHandshakeTimeout(AuthenticationTimeoutMs);
    connect(m_server, &QWebSocketServer::newConnection, this, &LivePages::takeConnections);
}

LivePages::~LivePages() {
    closeAll();
}

void LivePages::closeAll() {
    // Aborting emits disconnected, whose handler would change the lists under this loop.
    std::vector<QWebSocket*> sockets = std::move(m_waiting);
    sockets.insert(sockets.end(), m_proven.begin(), m_proven.end());
    sockets.insert(sockets.end(), m_pages.begin(), m_pages.end());
    m_proven.clear();
    m_pages.clear();
    for (QWebSocket* socket : sockets) {
        disconnect(socket, nullptr, this, nullptr);
        socket->abort();
        delete socket;
    }
}

void LivePages::accept(QTcpSocket* socket) {
    m_server->handleConnection(socket);
    Q_EMIT socket->readyRead(); // the head arrived before the server was listening to it
}

void LivePages::takeConnections() {
    while (QWebSocket* socket = m_server->nextPendingConnection()) {
        socket->setParent(this);
        socket->setMaxAllowedIncomingMessageSize(MaximumIncomingMessageBytes);
        socket->setMaxAllowedIncomingFrameSize(MaximumIncomingMessageBytes);
        m_waiting.push_back(socket);
        connect(socket, &QWebSocket::textMessageReceived, this,
                [this, socket](const QString& message) { firstMessage(socket, message.toUtf8()); });
        connect(socket, &QWebSocket::binaryMessageReceived, this,
                [this, socket](const QByteArray& message) { firstMessage(socket, message); });
        connect(socket, &QWebSocket::disconnected, this, [this, socket] { drop(socket); });
        QTimer::singleShot(AuthenticationTimeoutMs, socket, [this, socket] {
            if (contains(m_waiting, socket))
                socket->close(QWebSocketProtocol::CloseCodePolicyViolated, QStringLiteral("no token"));
        });
    }
}

void LivePages::firstMessage(QWebSocket* socket, const QByteArray& message) {
    if (!contains(m_waiting, socket))
        return; // pages have nothing more to say
    remove(m_waiting, socket);
    if (!m_token.isEmpty()) {
        const QByteArray token =
            QJsonDocument::fromJson(message).object().value(u"token").toString().toUtf8();
        if (!HandlerHttpServer::carriesBearerToken("Bearer " + token, m_token)) {
            socket->close(QWebSocketProtocol::CloseCodePolicyViolated, QStringLiteral("wrong token"));
            return;
        }
    }
    m_proven.push_back(socket);
    Q_EMIT authenticated(quintptr(socket));
}

void LivePages::welcome(quintptr page, const QByteArray& everything) {
    auto* socket = reinterpret_cast<QWebSocket*>(page);
    if (!contains(m_proven, socket))
        return; // it left meanwhile (only compared, never used then)
    remove(m_proven, socket);
    m_pages.push_back(socket);
    socket->sendBinaryMessage(everything);
    Q_EMIT pageCountChanged(int(m_pages.size()));
}

void LivePages::broadcast(const QByteArray& message) {
    for (QWebSocket* page : std::vector<QWebSocket*>(m_pages)) {
        if (page->bytesToWrite() > MaximumBacklogBytes) {
            page->abort();
            continue;
        }
        page->sendBinaryMessage(message);
    }
}

void LivePages::drop(QWebSocket* socket) {
    remove(m_waiting, socket);
    remove(m_proven, socket);
    const bool wasPage = contains(m_pages, socket);
    remove(m_pages, socket);
    socket->deleteLater();
    if (wasPage)
        Q_EMIT pageCountChanged(int(m_pages.size()));
}
