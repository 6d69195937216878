#include "rack/LiveUpdates.h"

#include "rack/ControlSnapshot.h"
#include "rack/HandlerHttpServer.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpSocket>
#include <QWebSocket>
#include <algorithm>

namespace {
// The first message is a small JSON object; anything longer is no token.
constexpr quint64 MaximumIncomingMessageBytes = 4096;

void remove(std::vector<QWebSocket*>& list, QWebSocket* socket) {
    list.erase(std::remove(list.begin(), list.end(), socket), list.end());
}
} // namespace

LiveUpdates::LiveUpdates(QByteArray token, ControlSnapshot& snapshot, QObject* parent)
    : QObject(parent), m_token(std::move(token)), m_snapshot(snapshot),
      m_server(QStringLiteral("Graflink"), QWebSocketServer::NonSecureMode) {
    m_server.setHandshakeTimeout(AuthenticationTimeoutMs);
    connect(&m_server, &QWebSocketServer::newConnection, this, &LiveUpdates::takeConnections);
    m_push.setSingleShot(true);
    m_push.setInterval(PushIntervalMs);
    connect(&m_push, &QTimer::timeout, this, &LiveUpdates::push);
    connect(&m_snapshot, &ControlSnapshot::changed, this, &LiveUpdates::changed);
}

LiveUpdates::~LiveUpdates() {
    // Aborting emits disconnected, whose handler would change the lists under this loop.
    std::vector<QWebSocket*> sockets = std::move(m_waiting);
    sockets.insert(sockets.end(), m_pages.begin(), m_pages.end());
    m_pages.clear();
    for (QWebSocket* socket : sockets) {
        disconnect(socket, nullptr, this, nullptr);
        socket->abort();
    }
}

void LiveUpdates::accept(QTcpSocket* socket) {
    m_server.handleConnection(socket);
    Q_EMIT socket->readyRead(); // the head arrived before the server was listening to it
}

void LiveUpdates::takeConnections() {
    while (QWebSocket* socket = m_server.nextPendingConnection()) {
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
            if (std::find(m_waiting.begin(), m_waiting.end(), socket) != m_waiting.end())
                socket->close(QWebSocketProtocol::CloseCodePolicyViolated, QStringLiteral("no token"));
        });
    }
}

void LiveUpdates::firstMessage(QWebSocket* socket, const QByteArray& message) {
    if (std::find(m_waiting.begin(), m_waiting.end(), socket) == m_waiting.end())
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
    // The pages there are learn what changed first, so that all of them, the new one too, go on
    // from the same state.
    push();
    m_pages.push_back(socket);
    socket->sendBinaryMessage(m_snapshot.everything(!m_token.isEmpty()));
}

void LiveUpdates::drop(QWebSocket* socket) {
    remove(m_waiting, socket);
    remove(m_pages, socket);
    socket->deleteLater();
}

void LiveUpdates::changed() {
    if (!m_pages.empty() && !m_push.isActive())
        m_push.start();
}

void LiveUpdates::push() {
    if (m_pages.empty())
        return;
    const QByteArray message = m_snapshot.changes();
    if (message.isEmpty())
        return;
    for (QWebSocket* page : std::vector<QWebSocket*>(m_pages)) {
        if (page->bytesToWrite() > MaximumBacklogBytes) {
            page->abort();
            continue;
        }
        page->sendBinaryMessage(message);
    }
}
