#include "cgsim/CGSimServerCore.h"

#include "cglink/CGServerAPI.h"
#include "cgsim/CGSimHttpServer.h"
#include "cgsim/CGSimRequestHandler.h"
#include "httpserver/UpgradeRouter.h"

#include <QFile>
#include <QFileSystemWatcher>
#include <QTcpSocket>
#include <QWebSocket>
#include <QWebSocketServer>

namespace {
const QString ProjectsDidChangeMessage = QStringLiteral("{\"event\":\"projectsDidChange\"}");
}

CGSimServerCore::CGSimServerCore(CGSimRequestHandler& handler, std::optional<QString> projectsFile,
                                 std::function<void(const QString&)> diagnostic, QObject* parent)
    : QObject(parent), m_handler(handler), m_projectsFile(std::move(projectsFile)),
      m_diagnostic(std::move(diagnostic)) {
    m_router = new UpgradeRouter(
        [this](QTcpSocket* socket, const UpgradeRequest& request) { acceptUpgrade(socket, request.target); },
        this);
    m_http = new CGSimHttpServer(m_handler, this);
    m_webSockets = new QWebSocketServer(QStringLiteral("CG"), QWebSocketServer::NonSecureMode, this);
    m_webSockets->setSupportedSubprotocols({CGServerAPI::WebSocketProtocol});
    connect(m_webSockets, &QWebSocketServer::newConnection, this, &CGSimServerCore::acceptWebSocket);
    if (m_projectsFile) {
        m_watcher = new QFileSystemWatcher(this);
        m_watcher->addPath(*m_projectsFile);
        connect(m_watcher, &QFileSystemWatcher::fileChanged, this, &CGSimServerCore::reloadProjectsFile);
    }
}

CGSimServerCore::~CGSimServerCore() {
    for (QWebSocket* client : std::as_const(m_clients))
        client->abort();
}

bool CGSimServerCore::listen(const QHostAddress& address, quint16 port, QString* error) {
    if (!m_router->listen(address, port)) {
        if (error)
            *error = m_router->errorString();
        return false;
    }
    m_http->bind(m_router);
    return true;
}

quint16 CGSimServerCore::port() const {
    return m_router->serverPort();
}

void CGSimServerCore::acceptUpgrade(QTcpSocket* socket, const QByteArray& target) {
    const QByteArray path = target.left(target.indexOf('?') < 0 ? target.size() : target.indexOf('?'));
    if (path != m_handler.webSocketPath() || !CGServerAPI::webSocketPath(m_handler.serverType())) {
        socket->write("HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
        socket->disconnectFromHost();
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        return;
    }
    m_webSockets->handleConnection(socket);
    Q_EMIT socket->readyRead();
}

void CGSimServerCore::acceptWebSocket() {
    while (QWebSocket* client = m_webSockets->nextPendingConnection()) {
        client->setParent(this);
        m_clients.append(client);
        m_clientCount = int(m_clients.size());
        // Pings are answered by the socket itself; text from clients is not part of the protocol.
        connect(client, &QWebSocket::disconnected, this, [this, client] {
            m_clients.removeAll(client);
            m_clientCount = int(m_clients.size());
            client->deleteLater();
        });
    }
}

void CGSimServerCore::notifyClients() {
    for (QWebSocket* client : std::as_const(m_clients))
        client->sendTextMessage(ProjectsDidChangeMessage);
}

void CGSimServerCore::closeClients(int closeCode) {
    for (QWebSocket* client : std::as_const(m_clients))
        client->close(QWebSocketProtocol::CloseCode(closeCode));
}

void CGSimServerCore::reloadProjectsFile() {
    // Editors replace files rather than rewrite them: watch the new one.
    if (!m_watcher->files().contains(*m_projectsFile))
        m_watcher->addPath(*m_projectsFile);
    QFile file(*m_projectsFile);
    if (!file.open(QIODevice::ReadOnly))
        return; // mid-replacement; the next change event brings the new file
    QString error;
    auto projects = CGSimProjectFile::parse(file.readAll(), &error);
    if (!projects) {
        if (m_diagnostic)
            m_diagnostic(QStringLiteral("cgsim: %1 not reloaded: %2").arg(*m_projectsFile, error));
        return;
    }
    if (*projects == m_handler.projects())
        return;
    m_handler.setProjects(std::move(*projects));
}
