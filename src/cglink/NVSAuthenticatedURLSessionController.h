#pragma once

#include "cglink/NVSAuthenticatedURLSession.h"
#include "cglink/NVSAuthenticatedURLSessionDelegate.h"
#include "platform/HttpRequest.h"
#include "platform/HttpResponse.h"

#include <QList>
#include <QVariantMap>
#include <functional>
#include <memory>
#include <mutex>

class NVSAuthenticatedURLSessionControllerDelegate;
namespace platform::http {
class Client;
}

/// Creates sessions, keeps the ones in use, relays their web-socket events to its own delegate
/// (a socket's end exactly once), and runs authenticated HTTP requests.
///
/// Threads: relays run on the sessions' threads; HTTP completions on the HTTP client's worker
/// threads. `openSessions` is guarded by its own lock; the delegate (not owned) is read and
/// called under the controller's lock, so once setDelegate() returns the previous delegate is
/// not being called. Destroying the controller detaches it from its sessions and ends their
/// threads: a detached socket could reach nobody, and its thread must not outlive the process.
class NVSAuthenticatedURLSessionController : public NVSAuthenticatedURLSessionDelegate {
  public:
    using DataCompletion = std::function<void(const std::optional<QByteArray>& body,
                                              const std::optional<platform::http::Response>& response,
                                              const std::optional<platform::Error>& error)>;

    /// Time-out of the HTTP request operations, both without traffic and in total.
    static constexpr double HTTPRequestTimeout = 10.0;

    NVSAuthenticatedURLSessionController();
    ~NVSAuthenticatedURLSessionController() override;

    // Web sockets
    std::shared_ptr<NVSAuthenticatedURLSession>
    openWebSocketAtURL(const QUrl& url, const QStringList& protocols, bool startProcessingMessages = true);
    void startProcessingMessages();
    void suspendProcessingMessages();
    void resumeProcessingMessages();
    /// Closes every session with 1000; sessions leave the list when their end is relayed.
    void closeWebSocketSessions();
    /// Timings for the sockets opened from now on.
    void setKeepAliveSettings(NVSAuthenticatedURLSession::KeepAliveSettings settings);

    /// Hook receiving every log line of the controller and its sessions; records nothing here.
    bool logSimpleMessage(const QString& message) override;
    std::optional<QString> serverName() override;
    std::optional<QString> instanceName() override;
    std::optional<QString> hostNameAndPortNumber(const QString& separator) override;

    // HTTP requests (credentials answer Basic or Digest challenges, tried once)
    void requestDataAtURL(const QUrl& url, const std::optional<QString>& user,
                          const std::optional<QString>& password, DataCompletion completion);
    void requestData(const platform::http::Request& request, const std::optional<QString>& user,
                     const std::optional<QString>& password, DataCompletion completion);
    std::optional<QByteArray>
    synchronouslyRequestDataAtURL(const QUrl& url, const std::optional<QString>& user,
                                  const std::optional<QString>& password,
                                  std::optional<platform::http::Response>* response = nullptr,
                                  std::optional<platform::Error>* error = nullptr);
    std::optional<QByteArray>
    synchronouslyRequestData(const platform::http::Request& request, const std::optional<QString>& user,
                             const std::optional<QString>& password,
                             std::optional<platform::http::Response>* response = nullptr,
                             std::optional<platform::Error>* error = nullptr);
    void putData(const QByteArray& data, const QUrl& url, const QString& contentType,
                 const std::optional<QString>& user, const std::optional<QString>& password,
                 DataCompletion completion);
    std::optional<QByteArray>
    synchronouslyPutData(const QByteArray& data, const QUrl& url, const QString& contentType,
                         const std::optional<QString>& user, const std::optional<QString>& password,
                         std::optional<platform::http::Response>* response = nullptr,
                         std::optional<platform::Error>* error = nullptr);
    /// True exactly for an HTTP 200 answer (204 included among the failures).
    bool synchronouslyDeleteItemAtURL(const QUrl& url, const std::optional<QString>& user,
                                      const std::optional<QString>& password,
                                      std::optional<platform::http::Response>* response = nullptr,
                                      std::optional<platform::Error>* error = nullptr);

    NVSAuthenticatedURLSessionControllerDelegate* delegate() const;
    void setDelegate(NVSAuthenticatedURLSessionControllerDelegate* delegate);
    QList<std::shared_ptr<NVSAuthenticatedURLSession>> openSessions() const;

    // Relays from the sessions
    void webSocketSessionDidOpen(const Session& session) override;
    void webSocketSessionDidClose(const Session& session, qint64 closeCode) override;
    void webSocketSessionDidReceiveDataMessage(const Session& session, const QByteArray& data) override;
    void webSocketSessionDidReceiveStringMessage(const Session& session, const QString& message) override;
    void webSocketSessionDidCompleteWithError(const Session& session,
                                              const std::optional<platform::Error>& error) override;

  private:
    void addSession(const Session& session);
    void removeSession(const Session& session);
    void start(platform::http::Request request, const std::optional<QString>& user,
               const std::optional<QString>& password, DataCompletion completion);
    template <typename Call> void withDelegate(Call&& call);

    mutable std::recursive_mutex m_sessionsMutex;
    QList<std::shared_ptr<NVSAuthenticatedURLSession>> m_openSessions;
    mutable std::recursive_mutex m_delegateMutex;
    NVSAuthenticatedURLSessionControllerDelegate* m_delegate = nullptr;
    std::mutex m_settingsMutex;
    NVSAuthenticatedURLSession::KeepAliveSettings m_keepAlive;
    // Last, so that it is destroyed first: its shutdown runs pending completions, which use the list.
    std::unique_ptr<platform::http::Client> m_http;
};
