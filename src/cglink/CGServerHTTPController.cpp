#include "cglink/CGServerHTTPController.h"

#include "appbase/NVSLogController.h"
#include "cglink/CGPublishingPassSender.h"
#include "cglink/CGServerAPI.h"
#include "cglink/CGServerURLs.h"
#include "cglink/CGServerWire.h"
#include "cglink/NVSAuthenticatedURLSessionController.h"
#include "cglink/NVSSideFileURLSessionController.h"
#include "cglink/SynchronousRequests.h"
#include "platform/ConsoleLog.h"
#include "platform/NotificationCenter.h"
#include "platform/SharedHttpClient.h"
#include "platform/StringFormat.h"

#include <nlohmann/json.hpp>

using platform::StringFormat;

CGServerHTTPController::CGServerHTTPController(const QString& ipAddress, quint64 portNumber,
                                               qint32 serverType, const QString& password, Options options,
                                               QObject* parent)
    : QObject(parent), m_ipAddress(ipAddress), m_port(qint32(portNumber)), m_serverType(serverType),
      m_password(password), m_options(std::move(options)),
      m_sessionController(
          m_options.webSocketLogFileName
              ? std::make_unique<NVSSideFileURLSessionController>(logger(), *m_options.webSocketLogFileName)
              : std::make_unique<NVSAuthenticatedURLSessionController>()),
      m_sender(std::make_unique<CGPublishingPassSender>(
          *this, m_options.publishingClient ? m_options.publishingClient : platform::http::sharedClient())),
      m_worker(QStringLiteral("CG ") + ipAddress) {
    m_reconnectTimer.setSingleShot(true);
    connect(&m_reconnectTimer, &QTimer::timeout, this, [this] {
        if (!m_socketsClosed.load())
            openWebSockets();
    });
    m_sessionController->setKeepAliveSettings(m_options.keepAlive);
    m_sessionController->setDelegate(this);
    updateProjects();
    openWebSockets();
}

CGServerHTTPController::~CGServerHTTPController() {
    m_socketsClosed = true;
    m_sessionController->setDelegate(nullptr);
    m_sessionController->closeWebSocketSessions();
    // Queued requests are dropped and the running one is cut short, so a silent server cannot
    // hold the owner; nothing the worker posts reaches this object once it is gone.
    m_shutdown.cancel();
    m_sender->stop();
    m_worker.cancelAll();
    m_worker.waitUntilIdle();
}

bool CGServerHTTPController::isIdle() const {
    return m_worker.pendingCount() == 0 && m_sender->isIdle();
}

void CGServerHTTPController::waitUntilIdle() {
    // A pass may wait on the worker for the listings before it, and a listing may be queued while
    // a pass is sent.
    do {
        m_worker.waitUntilIdle();
        m_sender->waitUntilIdle();
    } while (!isIdle());
}

NVSLogController& CGServerHTTPController::logger() const {
    return m_options.logger ? *m_options.logger : NVSLogController::sharedLogController();
}

CGServerURLs CGServerHTTPController::urls() const {
    return CGServerURLs(m_ipAddress, m_port, m_serverType);
}

QString CGServerHTTPController::projectsURLPath() const {
    return CGServerAPI::projectsURLPath(m_serverType);
}

QString CGServerHTTPController::authorizationRequestVerb() const {
    return CGServerAPI::authorizationRequestVerb(m_serverType);
}

QUrl CGServerHTTPController::webSocketURL() const {
    return urls().webSocketBase();
}

platform::http::Request CGServerHTTPController::listingRequest(const QUrl& url) const {
    platform::http::Request request(url);
    request.reusesConnection = true; // one connection to the CG server, kept open between requests
    request.requestTimeout = m_options.requestTimeout;
    return request;
}

CGProjectList CGServerHTTPController::projects() const {
    std::lock_guard lock(m_mutex);
    return m_projects;
}

std::optional<QString> CGServerHTTPController::authorizationToken() const {
    std::lock_guard lock(m_mutex);
    return m_authorizationToken;
}

std::shared_ptr<CGProject> CGServerHTTPController::projectWithName(const QString& name) const {
    std::lock_guard lock(m_mutex);
    for (const auto& project : m_projects)
        if (project->name() == name)
            return project;
    return nullptr;
}

std::optional<platform::JsonValue>
CGServerHTTPController::requestJSON(const platform::http::Request& request) const {
    return SynchronousRequests::requestSynchronousJSON(request, m_shutdown);
}

void CGServerHTTPController::updateProjects() {
    if (m_listingQueued.exchange(true))
        return; // the listing still waiting will see the server as it is then
    m_worker.async([this] {
        m_listingQueued = false;
        listProjects();
    });
}

void CGServerHTTPController::listProjects() {
    const auto answer = requestJSON(listingRequest(urls().projects()));
    if (m_shutdown.isCancelled())
        return;
    CGProjectList fresh;
    if (answer && answer->is_array()) {
        for (const platform::JsonValue& record : *answer) {
            auto project = CGProject::fromDictionary(record, m_serverType);
            if (!project)
                continue;
            fresh.append(project);
            listItems(project);
        }
    }
    {
        std::lock_guard lock(m_mutex);
        m_projects = fresh;
    }
    announceItems(fresh, true);
}

void CGServerHTTPController::updateItemsForProject(const std::shared_ptr<CGProject>& project) {
    if (!project)
        return;
    m_worker.async([this, project] {
        const QString projectID = project->uniqueID().value_or(QString());
        if (projectID.size() < 2)
            return;
        listItems(project);
        announceItems({project}, false);
    });
}

void CGServerHTTPController::listItems(const std::shared_ptr<CGProject>& project) {
    const QString projectID = project->uniqueID().value_or(QString());
    if (projectID.size() < 2)
        return;
    const auto answer = requestJSON(listingRequest(urls().items(projectID)));
    const auto list = project->itemList();
    for (auto& item : CGServerWire::decodeItems(answer, m_serverType))
        list->append(std::move(item));
}

void CGServerHTTPController::announceItems(const CGProjectList& projects, bool listReplaced) {
    if (m_shutdown.isCancelled())
        return;
    QMetaObject::invokeMethod(
        this,
        [this, projects, listReplaced] {
            platform::NotificationCenter& center = m_options.notificationCenter
                                                       ? *m_options.notificationCenter
                                                       : platform::NotificationCenter::defaultCenter();
            for (const auto& project : projects)
                if (project->uniqueID().value_or(QString()).size() >= 2)
                    center.post(CGProjectItemsDidChangeNotification, project.get());
            if (listReplaced)
                Q_EMIT projectsChanged();
        },
        Qt::QueuedConnection);
}

platform::http::Request CGServerHTTPController::authorizationRequest(const QUrl& url) const {
    platform::http::Request request(url);
    request.reusesConnection = true;
    request.requestTimeout = m_options.authorizationTimeout;
    return request;
}

platform::http::Request CGServerHTTPController::textUpdateRequest(const QUrl& url,
                                                                  const platform::JsonValue& value,
                                                                  bool isHTML) const {
    platform::http::Request request(url, QByteArrayLiteral("PUT"));
    request.reusesConnection = true;
    request.headers.set("Content-Type", "application/json");
    request.body = CGServerWire::textUpdateBody(value, isHTML);
    request.requestTimeout = m_options.requestTimeout;
    return request;
}

std::optional<QString> CGServerHTTPController::authorize(const QUrl& url) {
    if (url.isEmpty())
        return std::nullopt;
    return CGServerWire::authorizationToken(requestJSON(authorizationRequest(url)));
}

void CGServerHTTPController::setStringValue(const QString& value, const QString& itemUniqueID,
                                            const std::shared_ptr<CGProject>& project, bool isHTML) {
    setStringValue(platform::JsonValue(value.toStdString()), itemUniqueID, project, isHTML);
}

void CGServerHTTPController::setStringValue(const platform::JsonValue& value, const QString& itemUniqueID,
                                            const std::shared_ptr<CGProject>& project, bool isHTML) {
    m_worker.async(
        [this, value, itemUniqueID, project, isHTML] { sendText(value, itemUniqueID, project, isHTML); });
}

void CGServerHTTPController::setCGMovieItemPath(const QString& path, const QString& itemUniqueID,
                                                const std::shared_ptr<CGProject>& project) {
    m_worker.async([this, path, itemUniqueID, project] { sendMoviePath(path, itemUniqueID, project); });
}

void CGServerHTTPController::publish(CGPublishingPass pass, PassKind kind) {
    if (!m_sender->queue(std::move(pass), kind))
        return; // the pass under way goes on with it
    // Listings queued before the pass come first: the pass looks its items up in their result.
    if (m_worker.pendingCount() == 0)
        m_sender->start();
    else
        m_worker.async([this] { m_sender->start(); });
}

bool CGServerHTTPController::sendText(const platform::JsonValue& value, const QString& itemUniqueID,
                                      const std::shared_ptr<CGProject>& project, bool isHTML) {
    const QString projectID = project ? project->uniqueID().value_or(QString()) : QString();
    if (projectID.size() < 2 || itemUniqueID.size() < 2)
        return false;
    // Until the server confirms the new value, what it shows is unknown.
    m_sender->forget(projectID, itemUniqueID);
    std::optional<QString> token;
    if (!m_password.isEmpty()) {
        // A fresh token for every update; a refused authorization drops the update quietly.
        token = authorize(urls().authorization(m_password));
        if (!token)
            return false;
        std::lock_guard lock(m_mutex);
        m_authorizationToken = token;
    }
    const QUrl url = urls().update(projectID, itemUniqueID, token);
    if (url.isEmpty())
        return false;
    const bool accepted =
        logUpdate(requestJSON(textUpdateRequest(url, value, isHTML)),
                  QStringLiteral("Successfully updated the CG Text Item: %@"),
                  QStringLiteral("Error updating the CG Text Item (%@)"), CGServerWire::displayText(value));
    if (accepted)
        m_sender->remember(projectID, itemUniqueID, value, isHTML);
    ++(accepted ? m_updatesAccepted : m_updatesFailed);
    return accepted;
}

void CGServerHTTPController::sendMoviePath(const QString& path, const QString& itemUniqueID,
                                           const std::shared_ptr<CGProject>& project) {
    const QString projectID = project ? project->uniqueID().value_or(QString()) : QString();
    if (projectID.size() < 2 || itemUniqueID.size() < 2)
        return;
    const auto token = authorize(urls().mediaAuthorization(m_password));
    if (!token)
        return;
    const QUrl url = urls().update(projectID, itemUniqueID, token);
    if (url.isEmpty())
        return;
    m_sender->forget(projectID, itemUniqueID);
    platform::http::Request request(url, QByteArrayLiteral("PUT"));
    request.reusesConnection = true;
    request.body = CGServerWire::mediaUpdateBody(path, m_serverType);
    request.requestTimeout = m_options.requestTimeout;
    logUpdate(requestJSON(request), QStringLiteral("Successfully updated the CG Movie Item: %@"),
              QStringLiteral("Error updating the CG Movie Item (%@)"), path);
}

bool CGServerHTTPController::logUpdate(const std::optional<platform::JsonValue>& answer,
                                       const QString& successFormat, const QString& errorFormat,
                                       const QString& sent) {
    const CGServerWire::UpdateOutcome outcome = CGServerWire::updateOutcome(answer);
    const bool accepted = outcome.kind == CGServerWire::UpdateOutcome::Kind::Success;
    switch (outcome.kind) {
    case CGServerWire::UpdateOutcome::Kind::NotAnObject:
        break;
    case CGServerWire::UpdateOutcome::Kind::Success:
        logger().logMessageWithLevel(2, false, successFormat, sent);
        break;
    case CGServerWire::UpdateOutcome::Kind::Failure:
        logger().logMessageWithLevel(2, false, errorFormat, outcome.error);
        break;
    }
    return accepted;
}

// Notification socket

void CGServerHTTPController::openWebSockets() {
    const auto path = CGServerAPI::webSocketPath(m_serverType);
    if (!path)
        return;
    m_socketsClosed = false;
    openWebSocketAtPath(*path, CGServerAPI::webSocketProtocols(m_serverType));
}

void CGServerHTTPController::openWebSocketAtPath(const QString& path, const QStringList& protocols) {
    const QUrl url = urls().webSocket(path);
    if (url.isEmpty())
        return;
    m_sessionController->openWebSocketAtURL(url, protocols);
}

void CGServerHTTPController::closeWebSockets() {
    m_socketsClosed = true;
    m_reconnectTimer.stop();
    m_sessionController->closeWebSocketSessions();
    setConnected(false);
}

void CGServerHTTPController::setConnected(bool connected) {
    if (m_isConnected.exchange(connected) != connected)
        Q_EMIT isConnectedChanged(connected);
}

void CGServerHTTPController::socketEnded() {
    if (m_socketsClosed.load())
        return;
    setConnected(false);
    // No limit and no back-off: a server that stays away is tried again every period.
    m_reconnectTimer.start(m_options.reconnectDelay);
}

void CGServerHTTPController::webSocketSessionDidOpen(const Session&) {
    if (m_socketsClosed.load())
        return;
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (m_socketsClosed.load())
                return;
            setConnected(true);
            // A server that comes back may have restarted and lost what it showed: the next pass
            // sends every field.
            m_sender->forgetAll();
            updateProjects();
        },
        Qt::QueuedConnection);
}

void CGServerHTTPController::webSocketSessionDidClose(const Session&, qint64) {
    if (m_socketsClosed.load())
        return;
    QMetaObject::invokeMethod(
        this, [this] { socketEnded(); }, Qt::QueuedConnection);
}

void CGServerHTTPController::webSocketSessionDidCompleteWithError(const Session&,
                                                                  const std::optional<platform::Error>&) {
    if (m_socketsClosed.load())
        return;
    QMetaObject::invokeMethod(
        this, [this] { socketEnded(); }, Qt::QueuedConnection);
}

void CGServerHTTPController::webSocketSessionDidReceiveStringMessage(const Session&, const QString&) {
    if (m_socketsClosed.load())
        return;
    logger().logMessage(QStringLiteral("Received notification that CG Projects did change"), 2, false);
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (!m_socketsClosed.load())
                updateProjects();
        },
        Qt::QueuedConnection);
}

void CGServerHTTPController::webSocketSessionDidReceiveDataMessage(const Session&, const QByteArray& data) {
    if (m_socketsClosed.load())
        return;
    const QString description =
        StringFormat::format(QStringLiteral("{length = %@, bytes = 0x%@}"), QString::number(data.size()),
                             QString::fromLatin1(data.left(32).toHex()));
    platform::ConsoleLog::write(
        StringFormat::format(QStringLiteral("WS: received DATA message: %@"), description));
}
