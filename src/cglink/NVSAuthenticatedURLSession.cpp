#include "cglink/NVSAuthenticatedURLSession.h"

#include "cglink/NVSAuthenticatedURLSessionDelegate.h"
#include "platform/RedactedText.h"
#include "platform/StringFormat.h"
#include "platform/UserDefaults.h"

#include <QCoreApplication>
#include <QHash>
#include <QList>
#include <QNetworkRequest>
#include <QThread>
#include <QTimer>
#include <QWebSocket>
#include <QWebSocketHandshakeOptions>
#include <mutex>

namespace {
// A close frame the server never answers must not keep a socket half-open.
constexpr std::chrono::milliseconds CloseHandshakeLimit{2000};
const QString SocketErrorDomain = QStringLiteral("QAbstractSocket");
} // namespace

struct NVSAuthenticatedURLSession::SocketState {
    QWebSocket* socket = nullptr;
    QTimer* pingTimer = nullptr;
    QList<WebSocketMessage> pending;
    std::optional<platform::Error> error;
    bool finished = false;
};

NVSAuthenticatedURLSession::NVSAuthenticatedURLSession(KeepAliveSettings keepAlive)
    : m_keepAliveSettings(std::move(keepAlive)), m_keepAlive(m_keepAliveSettings.silenceThreshold),
      m_state(std::make_unique<SocketState>()) {}

NVSAuthenticatedURLSession::~NVSAuthenticatedURLSession() {
    shutDown();
}

namespace {

// Session threads that ended themselves (the session was released on its own thread) and that
// nobody waited for: joined when the main loop deletes them, or at the latest when the
// application object is destroyed, so that no session thread outlives it.
std::mutex orphanMutex;
QList<QThread*> orphanThreads;

void joinOrphanThreads() {
    QList<QThread*> threads;
    {
        std::lock_guard lock(orphanMutex);
        threads.swap(orphanThreads);
    }
    for (QThread* thread : std::as_const(threads)) {
        thread->wait();
        delete thread;
    }
}

void adoptOrphan(QThread* thread) {
    static std::once_flag installed;
    std::call_once(installed, [] { qAddPostRoutine(joinOrphanThreads); });
    {
        std::lock_guard lock(orphanMutex);
        orphanThreads.append(thread);
    }
    QObject::connect(
        thread, &QThread::finished, thread,
        [thread] {
            {
                std::lock_guard lock(orphanMutex);
                if (!orphanThreads.removeOne(thread))
                    return;
            }
            thread->deleteLater();
        },
        Qt::QueuedConnection);
}

} // namespace

void NVSAuthenticatedURLSession::shutDown() {
    QThread* thread = nullptr;
    {
        std::lock_guard lock(m_threadMutex);
        if (!m_thread || m_isShutDown)
            return;
        m_isShutDown = true;
        thread = m_thread;
    }
    m_context->deleteLater(); // the socket and timer go with it, on their own thread
    thread->quit();
    if (QThread::currentThread() == thread) {
        adoptOrphan(thread); // a thread cannot wait for itself
        return;
    }
    thread->wait();
    delete thread;
}

void NVSAuthenticatedURLSession::post(std::function<void(NVSAuthenticatedURLSession&)> work) {
    QMetaObject::invokeMethod(
        m_context,
        [weak = weak_from_this(), work = std::move(work)] {
            if (auto self = weak.lock())
                work(*self);
        },
        Qt::QueuedConnection);
}

template <typename Call> void NVSAuthenticatedURLSession::withDelegate(Call&& call) {
    std::lock_guard lock(m_delegateMutex);
    if (m_delegate)
        call(*m_delegate);
}

void NVSAuthenticatedURLSession::openWebSocketTask(const QUrl& url, const QStringList& protocols,
                                                   NVSAuthenticatedURLSessionDelegate* delegate,
                                                   bool startProcessing) {
    if (m_hasTask.exchange(true))
        return;
    {
        std::lock_guard lock(m_mutex);
        m_protocols = protocols;
        QString relative = url.path();
        while (relative.startsWith(QLatin1Char('/')))
            relative.remove(0, 1);
        m_path = relative;
        m_url = url;
    }
    setDelegate(delegate);

    m_thread = new QThread;
    m_thread->setObjectName(QStringLiteral("NVSAuthenticatedURLSession"));
    if (QCoreApplication* app = QCoreApplication::instance())
        m_thread->moveToThread(app->thread());
    m_context = new QObject;
    m_context->moveToThread(m_thread);
    m_thread->start();
    post([](NVSAuthenticatedURLSession& self) { self.connectSocket(); });
    if (startProcessing)
        startProcessingMessages();
}

void NVSAuthenticatedURLSession::connectSocket() {
    auto* socket = new QWebSocket(QString(), QWebSocketProtocol::VersionLatest, m_context);
    m_state->socket = socket;
    const auto weak = weak_from_this();
    QObject::connect(socket, &QWebSocket::connected, m_context, [weak] {
        if (auto self = weak.lock()) {
            self->m_isOpen = true;
            self->withDelegate(
                [&](NVSAuthenticatedURLSessionDelegate& d) { d.webSocketSessionDidOpen(self); });
        }
    });
    // A refused connection reports `disconnected` before `error`: decide after both arrived.
    QObject::connect(socket, &QWebSocket::disconnected, m_context, [weak] {
        if (auto self = weak.lock())
            self->post([](NVSAuthenticatedURLSession& s) { s.finish(); });
    });
    QObject::connect(socket, qOverload<QAbstractSocket::SocketError>(&QWebSocket::error), m_context,
                     [weak, socket](QAbstractSocket::SocketError code) {
                         auto self = weak.lock();
                         if (!self)
                             return;
                         if (!self->m_state->error)
                             self->m_state->error =
                                 platform::Error::make(SocketErrorDomain, int(code), socket->errorString());
                         if (socket->state() == QAbstractSocket::UnconnectedState)
                             self->post([](NVSAuthenticatedURLSession& s) { s.finish(); });
                     });
    QObject::connect(socket, &QWebSocket::textMessageReceived, m_context, [weak](const QString& text) {
        if (auto self = weak.lock())
            self->deliverOrQueue({true, text, {}});
    });
    QObject::connect(socket, &QWebSocket::binaryMessageReceived, m_context, [weak](const QByteArray& data) {
        if (auto self = weak.lock())
            self->deliverOrQueue({false, {}, data});
    });
    QObject::connect(socket, &QWebSocket::pong, m_context, [weak](quint64, const QByteArray&) {
        if (auto self = weak.lock())
            self->m_keepAlive.pongReceived();
    });

    QWebSocketHandshakeOptions options;
    options.setSubprotocols(webSocketProtocols());
    socket->open(QNetworkRequest(url()), options);
}

void NVSAuthenticatedURLSession::deliverOrQueue(WebSocketMessage message) {
    if (!m_isProcessing.load() || !m_state->pending.isEmpty()) {
        m_state->pending.append(std::move(message));
        drainPending();
        return;
    }
    handleMessage(message);
}

void NVSAuthenticatedURLSession::drainPending() {
    while (m_isProcessing.load() && !m_state->pending.isEmpty())
        handleMessage(m_state->pending.takeFirst());
}

void NVSAuthenticatedURLSession::handleMessage(const WebSocketMessage& message) {
    logWebSocketMessage(message);
    m_keepAlive.messageReceived();
    // Empty messages count as traffic above but are nobody's business.
    auto self = shared_from_this();
    if (message.isText && !message.text.isEmpty())
        withDelegate([&](NVSAuthenticatedURLSessionDelegate& d) {
            d.webSocketSessionDidReceiveStringMessage(self, message.text);
        });
    else if (!message.isText && !message.data.isEmpty())
        withDelegate([&](NVSAuthenticatedURLSessionDelegate& d) {
            d.webSocketSessionDidReceiveDataMessage(self, message.data);
        });
}

void NVSAuthenticatedURLSession::finish() {
    if (m_state->finished)
        return;
    m_state->finished = true;
    m_isOpen = false;
    m_isProcessing = false;
    delete m_state->pingTimer;
    m_state->pingTimer = nullptr;
    auto self = shared_from_this();
    // The platform reports an end several ways; the controller relays only the first.
    if (m_state->error) {
        const auto error = m_state->error;
        withDelegate([&](NVSAuthenticatedURLSessionDelegate& d) {
            d.webSocketSessionDidCompleteWithError(self, error);
        });
    } else {
        const qint64 code = m_state->socket ? qint64(m_state->socket->closeCode()) : 0;
        withDelegate([&](NVSAuthenticatedURLSessionDelegate& d) { d.webSocketSessionDidClose(self, code); });
        withDelegate([&](NVSAuthenticatedURLSessionDelegate& d) {
            d.webSocketSessionDidCompleteWithError(self, std::nullopt);
        });
    }
    if (m_invalidating.load())
        withDelegate([&](NVSAuthenticatedURLSessionDelegate& d) { d.webSocketSessionDidClose(self, 0); });
}

void NVSAuthenticatedURLSession::startProcessingMessages() {
    if (!m_hasTask.load() || m_isProcessing.exchange(true))
        return;
    post([](NVSAuthenticatedURLSession& self) { self.drainPending(); });
}

void NVSAuthenticatedURLSession::suspendProcessingMessages() {
    if (m_hasTask.load())
        m_isProcessing = false;
}

void NVSAuthenticatedURLSession::resumeProcessingMessages() {
    startProcessingMessages();
}

void NVSAuthenticatedURLSession::closeWebSocketSession(qint64 closeCode) {
    if (!m_hasTask.load())
        return;
    if (m_invalidateWhenClosing.load()) {
        m_invalidating = true;
    } else {
        m_isOpen = false;
        m_isProcessing = false;
    }
    post([closeCode](NVSAuthenticatedURLSession& self) {
        QWebSocket* socket = self.m_state->socket;
        if (!socket || self.m_state->finished)
            return;
        if (socket->state() != QAbstractSocket::ConnectedState) {
            socket->abort();
            return;
        }
        socket->close(QWebSocketProtocol::CloseCode(closeCode));
        QTimer::singleShot(CloseHandshakeLimit, socket, [socket] {
            if (socket->state() != QAbstractSocket::UnconnectedState)
                socket->abort();
        });
    });
}

void NVSAuthenticatedURLSession::sendWebSocketMessage(const QByteArray& data) {
    if (!m_hasTask.load())
        return;
    m_isSending = true;
    post([data](NVSAuthenticatedURLSession& self) {
        if (self.m_state->socket)
            self.m_state->socket->sendBinaryMessage(data);
        self.m_isSending = false;
    });
}

void NVSAuthenticatedURLSession::startWebSocketPingPongTimer() {
    if (!m_hasTask.load())
        return;
    post([](NVSAuthenticatedURLSession& self) {
        if (self.m_state->pingTimer || self.m_state->finished)
            return;
        auto* timer = new QTimer(self.m_context);
        timer->setInterval(self.m_keepAliveSettings.period);
        timer->setTimerType(self.m_keepAliveSettings.period < std::chrono::seconds(2) ? Qt::PreciseTimer
                                                                                      : Qt::CoarseTimer);
        QObject::connect(timer, &QTimer::timeout, self.m_context, [weak = self.weak_from_this()] {
            if (auto s = weak.lock())
                s->keepAliveFired();
        });
        self.m_state->pingTimer = timer;
        timer->start();
        self.keepAliveFired(); // the first firing is immediate
    });
}

void NVSAuthenticatedURLSession::stopWebSocketPingPongTimer() {
    if (!m_hasTask.load())
        return;
    post([](NVSAuthenticatedURLSession& self) {
        delete self.m_state->pingTimer;
        self.m_state->pingTimer = nullptr;
    });
}

bool NVSAuthenticatedURLSession::ignoringPingPongErrors() const {
    if (m_keepAliveSettings.ignorePingPongErrors)
        return m_keepAliveSettings.ignorePingPongErrors();
    return platform::UserDefaults::standardUserDefaults().boolForKey(IgnorePingPongErrorsKey);
}

void NVSAuthenticatedURLSession::keepAliveFired() {
    const bool ignore = ignoringPingPongErrors();
    switch (m_keepAlive.timerFired(m_isSending.load(), ignore)) {
    case WebSocketKeepAlive::Action::None:
        break;
    case WebSocketKeepAlive::Action::SendPing:
        if (m_state->socket && m_state->socket->state() == QAbstractSocket::ConnectedState)
            m_state->socket->ping();
        else
            pongFailed(QStringLiteral("The socket is not connected."));
        break;
    case WebSocketKeepAlive::Action::ReportNoAnswer:
        log(platform::StringFormat::format(QStringLiteral("The server did not respond to our ping. (%@)"),
                                           pathAndProtocolsDescription()));
        break;
    case WebSocketKeepAlive::Action::CloseUnresponsive:
        log(platform::StringFormat::format(
            QStringLiteral("Closing WS Connection - The server does not respond anymore. (%@)"),
            pathAndProtocolsDescription()));
        closeWebSocketSession(1005);
        break;
    }
}

void NVSAuthenticatedURLSession::pongFailed(const QString& errorDescription) {
    const bool ignore = ignoringPingPongErrors();
    if (!m_keepAlive.pongFailed(ignore)) {
        log(platform::StringFormat::format(QStringLiteral("Pong received with error: %@ (%@)"),
                                           errorDescription, pathAndProtocolsDescription()));
        return;
    }
    log(platform::StringFormat::format(
        QStringLiteral("Closing WS Connection - Pong received with error: %@ (%@)"), errorDescription,
        pathAndProtocolsDescription()));
    closeWebSocketSession(1005);
}

void NVSAuthenticatedURLSession::log(const QString& line) {
    withDelegate([&](NVSAuthenticatedURLSessionDelegate& d) { d.logSimpleMessage(line); });
}

void NVSAuthenticatedURLSession::logWebSocketMessage(const WebSocketMessage&) {}

QString NVSAuthenticatedURLSession::description() const {
    if (!m_hasTask.load())
        return platform::StringFormat::format(QStringLiteral("<NVSAuthenticatedURLSession: %@>"),
                                              QString::number(quintptr(this), 16));
    return platform::StringFormat::format(QStringLiteral("%@ %@"), platform::RedactedText::fromUrl(url()),
                                          webSocketProtocols().join(QStringLiteral(", ")));
}

QString NVSAuthenticatedURLSession::pathAndProtocolsDescription() const {
    return platform::StringFormat::format(QStringLiteral("%@:%@"), url().path(),
                                          webSocketProtocols().join(QLatin1Char('|')));
}

QString NVSAuthenticatedURLSession::stringFromWebSocketCloseCode(qint64 closeCode) {
    static const QHash<qint64, QString> descriptions = {{0, QStringLiteral("Invalid")},
                                                        {1000, QStringLiteral("Normal Closure")},
                                                        {1001, QStringLiteral("Going Away")},
                                                        {1002, QStringLiteral("Protocol Error")},
                                                        {1003, QStringLiteral("Unsupported Data")},
                                                        {1005, QStringLiteral("No Status Received")},
                                                        {1006, QStringLiteral("Abnormal Closure")},
                                                        {1007, QStringLiteral("Invalid Frame Payload Data")},
                                                        {1008, QStringLiteral("Policy Violation")},
                                                        {1009, QStringLiteral("Message Too Big")},
                                                        {1010, QStringLiteral("Mandatory Extension Missing")},
                                                        {1011, QStringLiteral("Internal Server Error")},
                                                        {1015, QStringLiteral("TLS Handshake Failure")}};
    return descriptions.value(closeCode, QStringLiteral("Unknown Error Code Description"));
}

std::optional<QString> NVSAuthenticatedURLSession::user() const {
    std::lock_guard lock(m_mutex);
    return m_user;
}

void NVSAuthenticatedURLSession::setUser(const std::optional<QString>& user) {
    std::lock_guard lock(m_mutex);
    m_user = user;
}

std::optional<QString> NVSAuthenticatedURLSession::password() const {
    std::lock_guard lock(m_mutex);
    return m_password;
}

void NVSAuthenticatedURLSession::setPassword(const std::optional<QString>& password) {
    std::lock_guard lock(m_mutex);
    m_password = password;
}

std::optional<QString> NVSAuthenticatedURLSession::path() const {
    std::lock_guard lock(m_mutex);
    return m_path;
}

QUrl NVSAuthenticatedURLSession::url() const {
    std::lock_guard lock(m_mutex);
    return m_url;
}

QStringList NVSAuthenticatedURLSession::webSocketProtocols() const {
    std::lock_guard lock(m_mutex);
    return m_protocols;
}

NVSAuthenticatedURLSessionDelegate* NVSAuthenticatedURLSession::delegate() const {
    std::lock_guard lock(m_delegateMutex);
    return m_delegate;
}

void NVSAuthenticatedURLSession::setDelegate(NVSAuthenticatedURLSessionDelegate* delegate) {
    std::lock_guard lock(m_delegateMutex);
    m_delegate = delegate;
}

double NVSAuthenticatedURLSession::lastReceivedMessageTime() const {
    return std::chrono::duration<double>(m_keepAlive.lastReceivedMessageTime().time_since_epoch()).count();
}
