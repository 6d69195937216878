#include "cglink/NVSAuthenticatedURLSessionController.h"

#include "cglink/NVSAuthenticatedURLSessionControllerDelegate.h"
#include "platform/HttpClient.h"
#include "platform/StringFormat.h"

#include <semaphore>

using platform::StringFormat;

NVSAuthenticatedURLSessionController::NVSAuthenticatedURLSessionController()
    : m_http(std::make_unique<platform::http::Client>()) {}

NVSAuthenticatedURLSessionController::~NVSAuthenticatedURLSessionController() {
    m_http.reset();
    // Detach outside the list lock: a relay in progress may be waiting for that lock. A session
    // thread may hold the last reference for a moment, so end the threads here, where they can
    // be waited for.
    for (const auto& session : openSessions()) {
        session->setDelegate(nullptr);
        session->shutDown();
    }
    std::lock_guard lock(m_sessionsMutex);
    m_openSessions.clear();
}

template <typename Call> void NVSAuthenticatedURLSessionController::withDelegate(Call&& call) {
    std::lock_guard lock(m_delegateMutex);
    if (m_delegate)
        call(*m_delegate);
}

NVSAuthenticatedURLSessionControllerDelegate* NVSAuthenticatedURLSessionController::delegate() const {
    std::lock_guard lock(m_delegateMutex);
    return m_delegate;
}

void NVSAuthenticatedURLSessionController::setDelegate(
    NVSAuthenticatedURLSessionControllerDelegate* delegate) {
    std::lock_guard lock(m_delegateMutex);
    m_delegate = delegate;
}

QList<std::shared_ptr<NVSAuthenticatedURLSession>>
NVSAuthenticatedURLSessionController::openSessions() const {
    std::lock_guard lock(m_sessionsMutex);
    return m_openSessions;
}

void NVSAuthenticatedURLSessionController::addSession(const Session& session) {
    std::lock_guard lock(m_sessionsMutex);
    m_openSessions.append(session);
}

void NVSAuthenticatedURLSessionController::removeSession(const Session& session) {
    std::lock_guard lock(m_sessionsMutex);
    m_openSessions.removeAll(session);
}

void NVSAuthenticatedURLSessionController::setKeepAliveSettings(
    NVSAuthenticatedURLSession::KeepAliveSettings settings) {
    std::lock_guard lock(m_settingsMutex);
    m_keepAlive = std::move(settings);
}

std::shared_ptr<NVSAuthenticatedURLSession>
NVSAuthenticatedURLSessionController::openWebSocketAtURL(const QUrl& url, const QStringList& protocols,
                                                         bool startProcessing) {
    NVSAuthenticatedURLSession::KeepAliveSettings settings;
    {
        std::lock_guard lock(m_settingsMutex);
        settings = m_keepAlive;
    }
    auto session = std::make_shared<NVSAuthenticatedURLSession>(std::move(settings));
    addSession(session);
    session->openWebSocketTask(url, protocols, this, startProcessing);
    return session;
}

void NVSAuthenticatedURLSessionController::startProcessingMessages() {
    std::lock_guard lock(m_sessionsMutex);
    for (const auto& session : std::as_const(m_openSessions))
        session->startProcessingMessages();
}

void NVSAuthenticatedURLSessionController::suspendProcessingMessages() {
    std::lock_guard lock(m_sessionsMutex);
    for (const auto& session : std::as_const(m_openSessions))
        session->suspendProcessingMessages();
}

void NVSAuthenticatedURLSessionController::resumeProcessingMessages() {
    std::lock_guard lock(m_sessionsMutex);
    for (const auto& session : std::as_const(m_openSessions))
        session->resumeProcessingMessages();
}

void NVSAuthenticatedURLSessionController::closeWebSocketSessions() {
    std::lock_guard lock(m_sessionsMutex);
    for (const auto& session : std::as_const(m_openSessions))
        session->closeWebSocketSession(1000);
}

bool NVSAuthenticatedURLSessionController::logSimpleMessage(const QString&) {
    return true;
}

std::optional<QString> NVSAuthenticatedURLSessionController::serverName() {
    std::optional<QString> result;
    withDelegate([&](NVSAuthenticatedURLSessionControllerDelegate& d) { result = d.serverName(); });
    return result;
}

std::optional<QString> NVSAuthenticatedURLSessionController::instanceName() {
    std::optional<QString> result;
    withDelegate([&](NVSAuthenticatedURLSessionControllerDelegate& d) { result = d.instanceName(); });
    return result;
}

std::optional<QString> NVSAuthenticatedURLSessionController::hostNameAndPortNumber(const QString& separator) {
    std::optional<QString> result;
    withDelegate([&](NVSAuthenticatedURLSessionControllerDelegate& d) {
        result = d.hostNameAndPortNumber(separator);
    });
    return result;
}

void NVSAuthenticatedURLSessionController::webSocketSessionDidOpen(const Session& session) {
    logSimpleMessage(StringFormat::format(QStringLiteral("WS Connection did OPEN (%@)"),
                                          session->pathAndProtocolsDescription()));
    withDelegate(
        [&](NVSAuthenticatedURLSessionControllerDelegate& d) { d.webSocketSessionDidOpen(session); });
    session->startWebSocketPingPongTimer();
}

void NVSAuthenticatedURLSessionController::webSocketSessionDidClose(const Session& session,
                                                                    qint64 closeCode) {
    logSimpleMessage(StringFormat::format(QStringLiteral("WS Connection did CLOSE with code: %ld (%@)"),
                                          closeCode, session->pathAndProtocolsDescription()));
    session->stopWebSocketPingPongTimer();
    withDelegate([&](NVSAuthenticatedURLSessionControllerDelegate& d) {
        d.webSocketSessionDidClose(session, closeCode);
    });
    session->setDelegate(nullptr);
    removeSession(session);
}

void NVSAuthenticatedURLSessionController::webSocketSessionDidCompleteWithError(
    const Session& session, const std::optional<platform::Error>& error) {
    logSimpleMessage(StringFormat::format(QStringLiteral("WS Connection did COMPLETE with error: %@ (%@)"),
                                          error ? error->localizedDescription() : QStringLiteral("(null)"),
                                          session->pathAndProtocolsDescription()));
    session->stopWebSocketPingPongTimer();
    withDelegate([&](NVSAuthenticatedURLSessionControllerDelegate& d) {
        d.webSocketSessionDidCompleteWithError(session, error);
    });
    session->setDelegate(nullptr);
    removeSession(session);
}

void NVSAuthenticatedURLSessionController::webSocketSessionDidReceiveDataMessage(const Session& session,
                                                                                 const QByteArray& data) {
    withDelegate([&](NVSAuthenticatedURLSessionControllerDelegate& d) {
        d.webSocketSessionDidReceiveDataMessage(session, data);
    });
}

void NVSAuthenticatedURLSessionController::webSocketSessionDidReceiveStringMessage(const Session& session,
                                                                                   const QString& message) {
    withDelegate([&](NVSAuthenticatedURLSessionControllerDelegate& d) {
        d.webSocketSessionDidReceiveStringMessage(session, message);
    });
}

// HTTP requests

void NVSAuthenticatedURLSessionController::start(platform::http::Request request,
                                                 const std::optional<QString>& user,
                                                 const std::optional<QString>& password,
                                                 DataCompletion completion) {
    auto session = std::make_shared<NVSAuthenticatedURLSession>();
    session->setUser(user);
    session->setPassword(password);
    session->setDelegate(this);
    addSession(session);
    request.requestTimeout = HTTPRequestTimeout;
    request.resourceTimeout = HTTPRequestTimeout;
    // A missing user name or password answers no challenge: the server's refusal comes back.
    if (user && password)
        request.credentials = platform::http::Request::Credentials{*user, *password};
    m_http->start(std::move(request),
                  [this, session, completion = std::move(completion)](platform::http::Response response) {
                      // The session has ended before anyone hears of it: a waiter woken by the completion
                      // finds it gone.
                      removeSession(session);
                      if (completion) {
                          if (response.error)
                              completion(std::nullopt, std::nullopt, response.error);
                          else
                              completion(response.body, response, std::nullopt);
                      }
                  });
}

void NVSAuthenticatedURLSessionController::requestDataAtURL(const QUrl& url,
                                                            const std::optional<QString>& user,
                                                            const std::optional<QString>& password,
                                                            DataCompletion completion) {
    start(platform::http::Request(url), user, password, std::move(completion));
}

void NVSAuthenticatedURLSessionController::requestData(const platform::http::Request& request,
                                                       const std::optional<QString>& user,
                                                       const std::optional<QString>& password,
                                                       DataCompletion completion) {
    start(request, user, password, std::move(completion));
}

std::optional<QByteArray> NVSAuthenticatedURLSessionController::synchronouslyRequestData(
    const platform::http::Request& request, const std::optional<QString>& user,
    const std::optional<QString>& password, std::optional<platform::http::Response>* response,
    std::optional<platform::Error>* error) {
    std::binary_semaphore done(0);
    std::optional<QByteArray> body;
    start(request, user, password,
          [&](const std::optional<QByteArray>& b, const std::optional<platform::http::Response>& r,
              const std::optional<platform::Error>& e) {
              body = b;
              if (response)
                  *response = r;
              if (error)
                  *error = e;
              done.release();
          });
    done.acquire();
    return body;
}

std::optional<QByteArray> NVSAuthenticatedURLSessionController::synchronouslyRequestDataAtURL(
    const QUrl& url, const std::optional<QString>& user, const std::optional<QString>& password,
    std::optional<platform::http::Response>* response, std::optional<platform::Error>* error) {
    return synchronouslyRequestData(platform::http::Request(url), user, password, response, error);
}

namespace {
platform::http::Request putRequest(const QByteArray& data, const QUrl& url, const QString& contentType) {
    platform::http::Request request(url, QByteArrayLiteral("PUT"));
    request.body = data;
    request.headers.set("Content-Type", contentType.toUtf8());
    return request;
}
} // namespace

void NVSAuthenticatedURLSessionController::putData(const QByteArray& data, const QUrl& url,
                                                   const QString& contentType,
                                                   const std::optional<QString>& user,
                                                   const std::optional<QString>& password,
                                                   DataCompletion completion) {
    start(putRequest(data, url, contentType), user, password, std::move(completion));
}

std::optional<QByteArray> NVSAuthenticatedURLSessionController::synchronouslyPutData(
    const QByteArray& data, const QUrl& url, const QString& contentType, const std::optional<QString>& user,
    const std::optional<QString>& password, std::optional<platform::http::Response>* response,
    std::optional<platform::Error>* error) {
    return synchronouslyRequestData(putRequest(data, url, contentType), user, password, response, error);
}

bool NVSAuthenticatedURLSessionController::synchronouslyDeleteItemAtURL(
    const QUrl& url, const std::optional<QString>& user, const std::optional<QString>& password,
    std::optional<platform::http::Response>* response, std::optional<platform::Error>* error) {
    std::optional<platform::http::Response> answer;
    synchronouslyRequestData(platform::http::Request(url, QByteArrayLiteral("DELETE")), user, password,
                             &answer, error);
    if (response)
        *response = answer;
    return answer && answer->statusCode == 200;
}
