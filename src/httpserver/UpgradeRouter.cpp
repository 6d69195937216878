#include "httpserver/UpgradeRouter.h"

#include <QTcpSocket>

namespace {
// A head larger than this is no upgrade request worth waiting for: let HTTP answer it.
constexpr qint64 MaximumHeadSize = 16 * 1024;
} // namespace

std::optional<UpgradeRequest> UpgradeRequest::parse(const QByteArray& head) {
    const qsizetype end = head.indexOf("\r\n\r\n");
    if (end < 0)
        return std::nullopt;
    const QList<QByteArray> lines = head.left(end).split('\n');
    const QList<QByteArray> requestLine = lines.first().trimmed().split(' ');
    if (requestLine.size() != 3 || requestLine.at(0) != "GET")
        return std::nullopt;
    UpgradeRequest request{requestLine.at(1), {}, {}};
    bool upgrade = false;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines.at(i).trimmed();
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0)
            continue;
        const QByteArray name = line.left(colon).trimmed().toLower();
        const QByteArray value = line.mid(colon + 1).trimmed();
        if (name == "upgrade")
            upgrade = value.compare("websocket", Qt::CaseInsensitive) == 0;
        else if (name == "host")
            request.host = value;
        else if (name == "origin")
            request.origin = value;
    }
    return upgrade ? std::optional(request) : std::nullopt;
}

UpgradeRouter::UpgradeRouter(UpgradeHandler upgrade, QObject* parent)
    : QTcpServer(parent), m_upgrade(std::move(upgrade)) {}

void UpgradeRouter::incomingConnection(qintptr handle) {
    auto* socket = new QTcpSocket(this);
    if (!socket->setSocketDescriptor(handle)) {
        delete socket;
        return;
    }
    connect(socket, &QTcpSocket::readyRead, this, [this, socket] { inspect(socket); });
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
}

void UpgradeRouter::inspect(QTcpSocket* socket) {
    const QByteArray head = socket->peek(MaximumHeadSize);
    if (!head.contains("\r\n\r\n") && head.size() < MaximumHeadSize)
        return; // wait for the rest of the head
    disconnect(socket, nullptr, this, nullptr);
    disconnect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    if (const auto request = UpgradeRequest::parse(head)) {
        // Handed on after the socket's own read notification has unwound: the handler may move the
        // socket to another thread, and the rest of that notification would touch it from this one.
        QMetaObject::invokeMethod(
            this, [this, socket, request = *request] { m_upgrade(socket, request); }, Qt::QueuedConnection);
        return;
    }
    // The HTTP server connects to the socket as it takes it; the bytes already here need a nudge.
    addPendingConnection(socket);
    Q_EMIT socket->readyRead();
}
