#pragma once

#include "cglink/CGProject.h"
#include "cglink/CGPublishingPass.h"
#include "cglink/NVSAuthenticatedURLSession.h"
#include "cglink/NVSAuthenticatedURLSessionControllerDelegate.h"
#include "platform/HttpCancellationToken.h"
#include "platform/HttpRequest.h"
#include "platform/Json.h"
#include "platform/SerialExecutor.h"

#include <QHash>
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
#include <nlohmann/json.hpp>
#include <optional>

class CGPublishingPassSender;
class CGServerURLs;
class NVSAuthenticatedURLSessionController;
class NVSLogController;
namespace platform {
class NotificationCenter;
namespace http {
class Client;
}
} // namespace platform

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
    /// What carries the updates of publishing passes; null: the process's shared client.
    std::shared_ptr<platform::http::Client> publishingClient;
};

/// A document's connection to one CG server: lists its projects and items, writes text and
/// media into items, and keeps the change-notification socket open, reconnecting after every
/// loss until closeWebSockets().
///
/// Threads: lives on the main thread. Listings and single updates run on the controller's own
/// serial worker, in the order asked for; publishing passes go through the shared HTTP client's
/// transfer loop (CGPublishingPassSender), one update after the other, starting after the
/// listings queued before them. A slow or silent server never holds the caller; each request is
/// still bounded by its time-out. Results reach observers on the main thread
/// (`projectsChanged`, `isConnectedChanged`, "CGProjectItemsDidChange"); the project list itself
/// is replaced on the worker as soon as it arrives, so the requests queued after a listing see
/// it. Socket events arrive on a session thread and are carried out on the main thread.
/// `projects` may be read from any thread. Destroying the controller abandons queued requests and
/// cuts the running one short.
class CGServerHTTPController : public QObject, public NVSAuthenticatedURLSessionControllerDelegate {
    Q_OBJECT
    Q_PROPERTY(CGProjectList projects READ projects NOTIFY projectsChanged)
    Q_PROPERTY(bool isConnected READ isConnected NOTIFY isConnectedChanged)

  public:
    using Options = CGServerHTTPControllerOptions;

    static inline const QString CGProjectItemsDidChangeNotification =
        QStringLiteral("CGProjectItemsDidChange");

    /// Starts fetching the projects (observers follow `projects`) and opens the notification
    /// socket; returns at once.
    CGServerHTTPController(const QString& ipAddress, quint64 portNumber, qint32 serverType,
                           const QString& password, Options options = {}, QObject* parent = nullptr);
    /// Closes the socket if closeWebSockets() was not called, and stops being the session
    /// controller's delegate.
    ~CGServerHTTPController() override;

    /// Queues a listing of the projects and their items; a listing already waiting is not
    /// queued twice.
    void updateProjects();
    /// Queues a listing of the project's items into its item list, then announces it.
    void updateItemsForProject(const std::shared_ptr<CGProject>& project);
    std::shared_ptr<CGProject> projectWithName(const QString& name) const;
    /// Queues writing `value` (any JSON value; the document passes feed values as they are) into
    /// an item.
    void setStringValue(const platform::JsonValue& value, const QString& itemUniqueID,
                        const std::shared_ptr<CGProject>& project, bool isHTML);
    void setStringValue(const QString& value, const QString& itemUniqueID,
                        const std::shared_ptr<CGProject>& project, bool isHTML);
    void setCGMovieItemPath(const QString& path, const QString& itemUniqueID,
                            const std::shared_ptr<CGProject>& project);
    using PassKind = CGPublishingPassKind;
    /// Queues the pass's values, sent in order as setStringValue sends them, after the listings
    /// already queued. While a pass is being sent, a newer pass replaces the one still waiting:
    /// the newest values win and nothing piles up behind a slow server (a full pass replaced this
    /// way makes its replacement full). The values the server accepted are remembered until the
    /// change socket opens again (a restarted server has lost them), so the first pass after that
    /// sends everything.
    void publish(CGPublishingPass pass, PassKind kind = PassKind::Full);

    /// Text updates the server accepted, and those that failed or that it refused, so far.
    quint64 updatesAccepted() const { return m_updatesAccepted.load(); }
    quint64 updatesFailed() const { return m_updatesFailed.load(); }
    /// Whether no request is queued or running.
    bool isIdle() const;
    /// Blocks until no request is queued or running (tests and the command line).
    void waitUntilIdle();

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
    void webSocketSessionDidCompleteWithError(const Session& session,
                                              const std::optional<platform::Error>& error) override;

  Q_SIGNALS:
    /// Every time the list is replaced, also by an equal or empty list.
    void projectsChanged();
    void isConnectedChanged(bool isConnected);
    /// A pass given to publish() has been sent (main thread).
    void publishingPassFinished();

  private:
    friend class CGPublishingPassSender;
    void listProjects();
    void listItems(const std::shared_ptr<CGProject>& project);
    /// Whether the server accepted the value.
    bool sendText(const platform::JsonValue& value, const QString& itemUniqueID,
                  const std::shared_ptr<CGProject>& project, bool isHTML);
    void sendMoviePath(const QString& path, const QString& itemUniqueID,
                       const std::shared_ptr<CGProject>& project);
    void announceItems(const CGProjectList& projects, bool listReplaced);
    std::optional<platform::JsonValue> requestJSON(const platform::http::Request& request) const;
    CGServerURLs urls() const;
    platform::http::Request listingRequest(const QUrl& url) const;
    std::optional<QString> authorize(const QUrl& url);
    /// The requests of an update: a fresh token, then the PUT of the text.
    platform::http::Request authorizationRequest(const QUrl& url) const;
    platform::http::Request textUpdateRequest(const QUrl& url, const platform::JsonValue& value,
                                              bool isHTML) const;
    void setConnected(bool connected);
    void socketEnded();
    bool logUpdate(const std::optional<platform::JsonValue>& answer, const QString& successFormat,
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
    std::atomic<quint64> m_updatesAccepted{0};
    std::atomic<quint64> m_updatesFailed{0};
    QTimer m_reconnectTimer;
    std::unique_ptr<NVSAuthenticatedURLSessionController> m_sessionController;

    // Work of the worker thread
    platform::http::CancellationToken m_shutdown;
    std::atomic<bool> m_listingQueued{false};
    std::unique_ptr<CGPublishingPassSender> m_sender;
    platform::SerialExecutor m_worker;
};
