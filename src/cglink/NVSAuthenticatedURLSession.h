#pragma once

#include "cglink/WebSocketKeepAlive.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

class NVSAuthenticatedURLSessionDelegate;

/// The keep-alive timings of a session, injectable so tests run in milliseconds.
struct NVSWebSocketKeepAliveSettings {
    std::chrono::milliseconds period{std::chrono::seconds(60)};
    std::chrono::milliseconds silenceThreshold{std::chrono::seconds(30)};
    /// Whether pong failures are only logged; empty: the user default
    /// "ignoreWebSocketsPingPongErrors" (absent = false).
    std::function<bool()> ignorePingPongErrors;
};
class QObject;
class QThread;

/// One session: credentials for Basic/Digest challenges of its HTTP requests, and at most one
/// web socket with its receive loop and keep-alive. Must be owned by a std::shared_ptr.
///
/// Threads: the socket, its events, the keep-alive timer and every delegate call run on the
/// session's own thread, started when the socket is opened. Public members may be called from
/// any thread. The delegate (not owned) is read and called under this object's lock: once
/// setDelegate() returns, the previous delegate is not being called and never will be again.
/// Destroying the last reference aborts the socket without events.
class NVSAuthenticatedURLSession : public std::enable_shared_from_this<NVSAuthenticatedURLSession> {
  public:
    using KeepAliveSettings = NVSWebSocketKeepAliveSettings;

    /// One received message, handed to logWebSocketMessage before it is handled.
    struct WebSocketMessage {
        bool isText = true;
        QString text;
        QByteArray data;
    };

    static inline const QString IgnorePingPongErrorsKey = QStringLiteral("ignoreWebSocketsPingPongErrors");

    explicit NVSAuthenticatedURLSession(KeepAliveSettings keepAlive = {});
    virtual ~NVSAuthenticatedURLSession();
    NVSAuthenticatedURLSession(const NVSAuthenticatedURLSession&) = delete;
    NVSAuthenticatedURLSession& operator=(const NVSAuthenticatedURLSession&) = delete;

    /// Stores the sub-protocols, the URL's path, the task and the delegate, starts connecting,
    /// then starts the receive loop when asked. A session holds one socket in its life.
    void openWebSocketTask(const QUrl& url, const QStringList& protocols,
                           NVSAuthenticatedURLSessionDelegate* delegate, bool startProcessingMessages);
    void startProcessingMessages();
    /// Messages arriving while suspended wait, in order, until processing resumes.
    void suspendProcessingMessages();
    void resumeProcessingMessages();
    void closeWebSocketSession(qint64 closeCode);
    void sendWebSocketMessage(const QByteArray& data);
    void startWebSocketPingPongTimer();
    void stopWebSocketPingPongTimer();
    /// Ends the session's thread and socket now, without events; waits for the thread unless
    /// called on it (then the thread is joined later, at the latest when the application object
    /// goes). The destructor does it too; owners call it when another thread may briefly hold
    /// the last reference.
    void shutDown();

    /// Hook: every received message before it is handled, on the session's thread.
    virtual void logWebSocketMessage(const WebSocketMessage& message);

    /// "<URL> <protocols joined by ', '>" once a socket exists.
    QString description() const;
    /// "<path of the URL>:<protocols joined by '|'>", e.g. "/playback/cg_projects:v1.1.CGUpdates".
    QString pathAndProtocolsDescription() const;
    static QString stringFromWebSocketCloseCode(qint64 closeCode);

    std::optional<QString> user() const;
    void setUser(const std::optional<QString>& user);
    std::optional<QString> password() const;
    void setPassword(const std::optional<QString>& password);
    std::optional<QString> path() const;
    QUrl url() const;
    QStringList webSocketProtocols() const;
    NVSAuthenticatedURLSessionDelegate* delegate() const;
    void setDelegate(NVSAuthenticatedURLSessionDelegate* delegate);
    bool invalidateWhenClosingWebSocket() const { return m_invalidateWhenClosing.load(); }
    void setInvalidateWhenClosingWebSocket(bool value) { m_invalidateWhenClosing = value; }
    bool hasWebSocketTask() const { return m_hasTask.load(); }
    bool isSending() const { return m_isSending.load(); }
    bool hasReceivedPong() const { return m_keepAlive.hasReceivedPong(); }
    bool isWaitingForPingAnswer() const { return m_keepAlive.isWaitingForPingAnswer(); }
    bool isProcessingMessages() const { return m_isProcessing.load(); }
    bool isWebSocketOpen() const { return m_isOpen.load(); }
    /// Seconds of the monotonic clock.
    double lastReceivedMessageTime() const;
    const KeepAliveSettings& keepAliveSettings() const { return m_keepAliveSettings; }

  private:
    struct SocketState;

    void post(std::function<void(NVSAuthenticatedURLSession&)> work);
    void connectSocket();
    void deliverOrQueue(WebSocketMessage message);
    void handleMessage(const WebSocketMessage& message);
    void drainPending();
    void finish();
    void keepAliveFired();
    void pongFailed(const QString& errorDescription);
    bool ignoringPingPongErrors() const;
    void log(const QString& line);
    template <typename Call> void withDelegate(Call&& call);

    KeepAliveSettings m_keepAliveSettings;
    WebSocketKeepAlive m_keepAlive;
    mutable std::mutex m_mutex; // guards the strings below
    std::optional<QString> m_user;
    std::optional<QString> m_password;
    std::optional<QString> m_path;
    QUrl m_url;
    QStringList m_protocols;
    mutable std::recursive_mutex m_delegateMutex;
    NVSAuthenticatedURLSessionDelegate* m_delegate = nullptr;
    std::atomic<bool> m_hasTask{false};
    std::atomic<bool> m_isSending{false};
    std::atomic<bool> m_isProcessing{false};
    std::atomic<bool> m_isOpen{false};
    std::atomic<bool> m_invalidateWhenClosing{true};
    std::atomic<bool> m_invalidating{false};
    std::mutex m_threadMutex; // guards the thread's shut-down
    bool m_isShutDown = false;
    QThread* m_thread = nullptr;
    QObject* m_context = nullptr;         // lives on m_thread; parent of the socket and the timer
    std::unique_ptr<SocketState> m_state; // touched on m_thread only
};
