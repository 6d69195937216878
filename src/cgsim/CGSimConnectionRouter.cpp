#include "cgsim/CGSimConnectionRouter.h"

#include "cgsim/CGSimWire.h"

#include <QTcpSocket>

namespace {
// A head larger than this is no upgrade request worth waiting for: let HTTP answer it.
constexpr qint64 MaximumHeadSize = 16 * 1024;
} // namespace

CGSimConnectionRouter::CGSimConnectionRouter(UpgradeHandler upgrade, QObject* parent)
    : QTcpServer(parent), m_upgrade(std::move(upgrade)) {}

void CGSimConnectionRouter::incomingConnection(qintptr handle) {
    auto* socket = new QTcpSocket(this);
    if (!socket->setSocketDescriptor(handle)) {
        delete socket;
        return;
    }
    connect(socket, &QTcpSocket::readyRead, this, [this, socket] { inspect(socket); });
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
}

void CGSimConnectionRouter::inspect(QTcpSocket* socket) {
    const QByteArray head = socket->peek(MaximumHeadSize);
    if (!head.contains("\r\n\r\n") && head.size() < MaximumHeadSize)
        return; // wait for the rest of the head
    disconnect(socket, nullptr, this, nullptr);
    disconnect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    if (const auto target = CGSimWire::webSocketUpgradeTarget(head)) {
        m_upgrade(socket, *target);
        return;
    }
    // The HTTP server connects to the socket as it takes it; the bytes already here need a nudge.
    addPendingConnection(socket);
    Q_EMIT socket->readyRead();
}
