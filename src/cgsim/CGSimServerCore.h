#pragma once

#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QString>
#include <atomic>
#include <functional>
#include <optional>

class UpgradeRouter;
class CGSimHttpServer;
class CGSimRequestHandler;
class QFileSystemWatcher;
class QTcpSocket;
class QWebSocket;
class QWebSocketServer;

/// The simulator's sockets on its own thread: one listener for HTTP and the notification web
/// socket, the connected notification clients, and the watch on the projects file.
/// Everything here runs on the thread the object lives on.
class CGSimServerCore : public QObject {
    Q_OBJECT
  public:
    CGSimServerCore(CGSimRequestHandler& handler, std::optional<QString> projectsFile,
                    std::function<void(const QString&)> diagnostic, QObject* parent = nullptr);
    ~CGSimServerCore() override;

    bool listen(const QHostAddress& address, quint16 port, QString* error);
    quint16 port() const;
    /// Sends a text message to every notification client.
    void notifyClients();
    void closeClients(int closeCode);
    int clientCount() const { return m_clientCount.load(); }

  private:
    void acceptUpgrade(QTcpSocket* socket, const QByteArray& target);
    void acceptWebSocket();
    void reloadProjectsFile();

    CGSimRequestHandler& m_handler;
    std::optional<QString> m_projectsFile;
    std::function<void(const QString&)> m_diagnostic;
    UpgradeRouter* m_router = nullptr;
    CGSimHttpServer* m_http = nullptr;
    QWebSocketServer* m_webSockets = nullptr;
    QFileSystemWatcher* m_watcher = nullptr;
    QList<QWebSocket*> m_clients;
    std::atomic<int> m_clientCount{0};
};
