#pragma once

#include "cglink/CGProject.h"
#include "cglink/NVSAuthenticatedURLSession.h"
#include "cglink/NVSAuthenticatedURLSessionControllerDelegate.h"
#include "platform/HttpRequest.h"
#include "platform/Json.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QUrl>
#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <optional>

class CGServerURLs;
class NVSAuthenticatedURLSessionController;
class NVSLogController;
namespace platform {
class NotificationCenter;
}

using CGProjectList = QList<std::shared_ptr<CGProject>>;
Q_DECLARE_METATYPE(CGProjectList)

/// Seams of CGServerHTTPController for tests and tools; the defaults are the product's values.
struct CGServerHTTPControllerOptions {
    /// Time-out of listings and updates: seconds without traffic.
    double requestTimeout = 5.0;
    /// Time-out of the authorization requests (the platform's default request time-out).
    double authorizationTimeout = 60.0;
    std::chrono::milliseconds reconnectDelay{std::chrono::seconds(10)};
    NVSAuthenticatedURLSession::KeepAliveSettings keepAlive;
    /// The technical log; null: the shared one.
    NVSLogController* logger = nullptr;
    /// When set, the notification socket's log lines go to this side file of the technical log;
    /// otherwise they are not recorded.
    std::optional<QString> webSocketLogFileName;
    /// Where "CGProjectItemsDidChange" is posted; null: the default centre.
    platform::NotificationCenter* notificationCenter = nullptr;
};


/// A document's connection to one CG server: lists its projects and items, writes text and
/// media into items, and keeps the change-notification socket open, reconnecting after every
/// loss until closeWebSockets().
///
/// Threads: lives on the main thread. HTTP operations block the caller until the answer or
/// their time-out and never spin an event loop. Socket events arrive on a session thread and
/// are carried out on the main thread. `projects` may be read from any thread.
class CGServerHTTPController : public QObject, public NVSAuthenticatedURLSessionControllerDelegate {
    Q_OBJECT
    Q_PROPERTY(CGProjectList projects READ projects NOTIFY projectsChanged)
    Q_PROPERTY(bool isConnected READ isConnected NOTIFY isConnectedChanged)

public:
    using Options = CGServerHTTPControllerOptions;

    static inline const QString CGProjectItemsDidChangeNotification = QStringLiteral("CGProjectItemsDidChange");

    /// Fetches the projects (before returning) and opens the notification socket.
    CGServerHTTPController(const QString& ipAddress, quint64 portNumber, qint32 serverType, const QString& password,
                           Options options = {}, QObject* parent = nullptr);
    /// Closes the socket if closeWebSockets() was not called, and stops being the session
    /// controller's delegate.
    ~CGServerHTTPController() override;

    void updateProjects();
    void updateItemsForProject(const std::shared_ptr<CGProject>& project);
    std::shared_ptr<CGProject> projectWithName(const QString& name) const;
    /// Writes `value` (any JSON value; the document passes feed values as they are) into an item.
    void setStringValue(const platform::JsonValue& value, const QString& itemUniqueID,
                        const std::shared_ptr<CGProject>& project, bool isHTML);
    void setStringValue(const QString& value, const QString& itemUniqueID, const std::shared_ptr<CGProject>& project,
                        bool isHTML);
    void setCGMovieItemPath(const QString& path, const QString& itemUniqueID, const std::shared_ptr<CGProject>& project);

    QString projectsURLPath() const;
    QString authorizationRequestVerb() const;
    QUrl webSocketURL() const;
    void openWebSockets();
    void openWebSocketAtPath(const QString& path, const QStringList& protocols);
    void closeWebSockets();

    QString CGServerIPAddress() const { return m_ipAddress; }
    qint32 CGServerPortNumber() const { return m_port; }
    QString CGServerPassword() const { return m_password; }
    qint32 CGServerType() const { return m_serverType; }
    std::optional<QString> authorizationToken() const;
    CGProjectList projects() const;
    bool isConnected() const { return m_isConnected.load(); }
    NVSAuthenticatedURLSessionController& sessionController() const { return *m_sessionController; }

    // Relayed socket events (session thread)
    void webSocketSessionDidOpen(const Session& session) override;
    void webSocketSessionDidClose(const Session& session, qint64 closeCode) override;
    void webSocketSessionDidReceiveDataMessage(const Session& session, const QByteArray& data) override;
    void webSocketSessionDidReceiveStringMessage(const Session& session, const QString& message) override;
    void webSocketSessionDidCompleteWithError(const Session& session, const std::optional<platform::Error>& error) override;

Q_SIGNALS:
    /// Every time the list is replaced, also by an equal or empty list.
    void projectsChanged();
    void isConnectedChanged(bool isConnected);

private:
    CGServerURLs urls() const;
    platform::http::Request listingRequest(const QUrl& url) const;
    std::optional<QString> authorize(const QUrl& url);
    void setConnected(bool connected);
    void socketEnded();
    void logUpdate(const std::optional<platform::JsonValue>& answer, const QString& successFormat,
                   const QString& errorFormat, const QString& sent);
    NVSLogController& logger() const;

    const QString m_ipAddress;
    const qint32 m_port;
    const qint32 m_serverType;
    const QString m_password;
    const Options m_options;
    mutable std::mutex m_mutex; // guards the project list and the token
    CGProjectList m_projects;
    std::optional<QString> m_authorizationToken;
    std::atomic<bool> m_isConnected{false};
    std::atomic<bool> m_socketsClosed{false};
    QTimer m_reconnectTimer;
    std::unique_ptr<NVSAuthenticatedURLSessionController> m_sessionController;
};
