#pragma once

#include <QTcpServer>
#include <functional>
#include <optional>

/// A web-socket upgrade request as its head says: the request target and the headers the
/// server checks before it takes the socket.
struct UpgradeRequest {
    QByteArray target; // path and query as sent
    QByteArray host;
    QByteArray origin;

    /// The request in `head` (everything up to the blank line) when it is a GET asking to
    /// upgrade to a web socket; none otherwise, or while the head is incomplete.
    static std::optional<UpgradeRequest> parse(const QByteArray& head);
};

/// A listening socket that reads each new connection's request head without consuming it, hands
/// web-socket upgrades to `upgrade` and everything else to the HTTP server bound to it: one port
/// serves both, as on the CG server, and an upgrade can be checked before any handshake (Qt HTTP
/// Server 6.4 takes upgrades itself without asking). Main thread.
class UpgradeRouter : public QTcpServer {
    Q_OBJECT
  public:
    /// Receives the socket (its head still unread; the handler owns it from then on).
    using UpgradeHandler = std::function<void(QTcpSocket* socket, const UpgradeRequest& request)>;

    explicit UpgradeRouter(UpgradeHandler upgrade, QObject* parent = nullptr);

  protected:
    void incomingConnection(qintptr handle) override;

  private:
    void inspect(QTcpSocket* socket);

    UpgradeHandler m_upgrade;
};
