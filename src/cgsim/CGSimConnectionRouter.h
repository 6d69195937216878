#pragma once

#include <QTcpServer>
#include <functional>

/// The listening socket of the simulator: reads each new connection's request head without
/// consuming it, then hands web-socket upgrades to `upgrade` and everything else to the HTTP
/// server bound to this listener. One port serves both, as on the real server.
class CGSimConnectionRouter : public QTcpServer {
    Q_OBJECT
  public:
    /// Receives the socket (with its head still unread) and the request target.
    using UpgradeHandler = std::function<void(QTcpSocket* socket, const QByteArray& target)>;

    explicit CGSimConnectionRouter(UpgradeHandler upgrade, QObject* parent = nullptr);

  protected:
    void incomingConnection(qintptr handle) override;

  private:
    void inspect(QTcpSocket* socket);

    UpgradeHandler m_upgrade;
};
