#include "testkit/LoopbackHttpServer.h"

#include <QAbstractHttpServer>
#include <QCryptographicHash>
#include <QHash>
#include <QHostAddress>
#include <QHttpServerRequest>
#include <QPointer>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSet>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>
#include <QWebSocket>
#include <QWebSocketServer>
#include <atomic>
#include <mutex>
#include <semaphore>
#include <utility>

using namespace Qt::StringLiterals;

namespace testing_support {

namespace {

using Request = LoopbackHttpServer::Request;
using Reply = LoopbackHttpServer::Reply;
using Headers = LoopbackHttpServer::Headers;

std::optional<QByteArray> headerValue(const Headers& headers, QByteArrayView name) {
    for (const auto& [key, value] : headers) {
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    }
    return std::nullopt;
}

// Splits `Digest a=b, c="d, e"` into its parameters (the tests' values hold no escaped quotes).
QHash<QByteArray, QByteArray> parseAuthParameters(const QByteArray& text) {
    static const QRegularExpression parameter(uR"re((\w+)=(?:"([^"]*)"|([^,\s]*)))re"_s);
    QHash<QByteArray, QByteArray> parameters;
    for (const QRegularExpressionMatch& match : parameter.globalMatch(QString::fromUtf8(text)))
        parameters.insert(match.captured(1).toLower().toUtf8(),
                          (match.hasCaptured(2) ? match.captured(2) : match.captured(3)).toUtf8());
    return parameters;
}

QByteArray md5Hex(const QByteArray& bytes) {
    return QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex();
}

/// Counts the connections it accepts, keeps them for the server's stop, answers "Expect: 100-continue"
/// (which Qt HTTP Server leaves unanswered, so a client would wait a second before it sends a large body)
/// and, once told to, hands web-socket upgrades to a web-socket server (Qt HTTP Server 6.4 would
/// answer them itself). A connection reaches Qt HTTP Server only once its first request's head has
/// been seen and is not an upgrade: what Qt made for a connection it never finishes would be left.
class CountingTcpServer : public QTcpServer {
  public:
    CountingTcpServer(std::atomic<int>& counter, QObject* parent) : QTcpServer(parent), m_counter(counter) {}

    QWebSocketServer* webSockets = nullptr;

    void abortConnections() {
        for (const QPointer<QTcpSocket>& socket : std::exchange(m_sockets, {})) {
            if (socket)
                socket->abort();
        }
    }

  protected:
    void incomingConnection(qintptr descriptor) override {
        auto* socket = new QTcpSocket(this);
        if (!socket->setSocketDescriptor(descriptor)) {
            delete socket;
            return;
        }
        ++m_counter;
        m_sockets.removeIf([](const QPointer<QTcpSocket>& known) { return known.isNull(); });
        m_sockets.append(socket);
        // Connected before Qt HTTP Server's own handler, so this sees each request's head before
        // Qt reads it: the method as sent (Qt knows only the standard ones) and the expectation.
        QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
            const QByteArray pending = socket->peek(socket->bytesAvailable());
            const qsizetype headEnd = pending.indexOf("\r\n\r\n");
            if (socket->property("headSeen").toBool() || headEnd < 0)
                return;
            socket->setProperty("headSeen", true);
            socket->setProperty("method", pending.first(pending.indexOf(' ')));
            const QByteArray head = pending.first(headEnd).toLower();
            if (head.contains("\r\nexpect: 100-continue"))
                socket->write("HTTP/1.1 100 Continue\r\n\r\n");
            if (webSockets && head.contains("\r\nupgrade: websocket")) {
                socket->disconnect();
                webSockets->handleConnection(socket);
            } else {
                addPendingConnection(socket);
            }
            // The head is still unread: its new reader reads it now.
            Q_EMIT socket->readyRead();
        });
    }

  private:
    std::atomic<int>& m_counter;
    QList<QPointer<QTcpSocket>> m_sockets;
};

} // namespace

// ---- State shared between the owning thread and the server thread ------------------------------

struct LoopbackHttpServer::Shared {
    struct AuthRule {
        AuthScheme scheme;
        QByteArray user;
        QByteArray password;
    };

    mutable std::mutex mutex;
    QHash<QByteArray, Handler> handlers; // key: "METHOD path" or " path" for any method
    QHash<QByteArray, AuthRule> authRules;
    QList<Request> requests;
    QList<int> webSocketCloseCodes;
    std::atomic<int> connections{0};
    std::binary_semaphore resumed{0};
};

// ---- Answering, on the server thread -----------------------------------------------------------

class LoopbackHttpServer::Engine : public QAbstractHttpServer {
  public:
    explicit Engine(std::shared_ptr<Shared> shared) : shared_(std::move(shared)) {}

    quint16 start() {
        listener_ = new CountingTcpServer(shared_->connections, this);
        if (!listener_->listen(QHostAddress::LocalHost, 0))
            return 0;
        bind(listener_);
        return listener_->serverPort();
    }

    void stop() {
        listener_->close();
        listener_->abortConnections();
        webSockets_.clear();
    }

    void acceptWebSockets() {
        listener_->webSockets =
            new QWebSocketServer(u"LoopbackHttpServer"_s, QWebSocketServer::NonSecureMode, this);
        connect(listener_->webSockets, &QWebSocketServer::newConnection, this, [this] {
            while (QWebSocket* socket = listener_->webSockets->nextPendingConnection()) {
                // The upgrade is recorded as a request, with the headers of the handshake.
                Request request{"GET", socket->requestUrl().path().toUtf8(), {}, {},
                                {},    std::chrono::steady_clock::now()};
                for (const QByteArray& name : socket->request().rawHeaderList())
                    request.headers.append({name, socket->request().rawHeader(name)});
                connect(socket, &QWebSocket::disconnected, this, [this, socket] {
                    std::lock_guard lock(shared_->mutex);
                    shared_->webSocketCloseCodes.append(socket->closeCode());
                });
                std::lock_guard lock(shared_->mutex);
                shared_->requests.append(request);
                webSockets_.emplace_back(socket);
            }
        });
    }

    void sendToWebSockets(const QByteArray& message, bool binary) {
        for (const std::unique_ptr<QWebSocket>& socket : webSockets_) {
            if (binary)
                socket->sendBinaryMessage(message);
            else
                socket->sendTextMessage(QString::fromUtf8(message));
        }
    }

    void closeWebSockets(int code) {
        for (const std::unique_ptr<QWebSocket>& socket : webSockets_)
            socket->close(QWebSocketProtocol::CloseCode(code));
    }

  protected:
    bool handleRequest(const QHttpServerRequest& received, QTcpSocket* socket) override {
        const Request request{socket->property("method").toByteArray(),
                              received.url().path(QUrl::FullyEncoded).toUtf8(),
                              received.url().query(QUrl::FullyEncoded).toUtf8(),
                              received.headers(),
                              received.body(),
                              std::chrono::steady_clock::now()};
        socket->setProperty("headSeen", false);
        {
            std::lock_guard lock(shared_->mutex);
            shared_->requests.append(request);
        }
        const bool keepAlive = request.header("Connection").value_or(QByteArray()).toLower() != "close";
        const Reply reply = replyFor(request);
        const QPointer<QTcpSocket> guard(socket);
        const auto send = [this, guard, request, reply, keepAlive] {
            if (guard)
                sendReply(guard, request, reply, keepAlive);
        };
        if (reply.delay.count() > 0)
            QTimer::singleShot(reply.delay, socket, send);
        else
            send();
        return true;
    }
    void missingHandler(const QHttpServerRequest&, QTcpSocket*) override {}

  private:
    Reply replyFor(const Request& request) {
        std::optional<Shared::AuthRule> rule;
        Handler handler;
        {
            std::lock_guard lock(shared_->mutex);
            if (shared_->authRules.contains(request.path))
                rule = shared_->authRules.value(request.path);
            handler = shared_->handlers.value(request.method + ' ' + request.path,
                                              shared_->handlers.value(' ' + request.path));
        }
        if (rule && !isAuthorized(*rule, request))
            return challenge(*rule);
        return handler ? handler(request) : Reply::text("Not Found"_ba, "text/plain"_ba, 404);
    }

    Reply challenge(const Shared::AuthRule& rule) {
        Reply reply = Reply::text("Unauthorized"_ba, "text/plain"_ba, 401);
        if (rule.scheme == AuthScheme::Basic) {
            reply.headers.append({"WWW-Authenticate", "Basic realm=\"" + Realm + '"'});
        } else {
            const QByteArray nonce = QByteArray::number(QRandomGenerator::global()->generate64(), 16);
            nonces_.insert(nonce);
            reply.headers.append({"WWW-Authenticate", "Digest realm=\"" + Realm +
                                                          "\", qop=\"auth\", nonce=\"" + nonce +
                                                          "\", opaque=\"0a1b2c\", algorithm=MD5"});
        }
        return reply;
    }

    bool isAuthorized(const Shared::AuthRule& rule, const Request& request) const {
        const QByteArray authorization = headerValue(request.headers, "Authorization").value_or(QByteArray());
        const qsizetype space = authorization.indexOf(' ');
        if (space < 0)
            return false;
        const QByteArray scheme = authorization.first(space).toLower();
        const QByteArray credentials = authorization.sliced(space + 1).trimmed();
        if (rule.scheme == AuthScheme::Basic)
            return scheme == "basic" &&
                   QByteArray::fromBase64(credentials) == rule.user + ':' + rule.password;
        if (scheme != "digest")
            return false;
        const auto p = parseAuthParameters(credentials);
        const QByteArray target = request.query.isEmpty() ? request.path : request.path + '?' + request.query;
        if (p.value("username") != rule.user || p.value("realm") != Realm ||
            !nonces_.contains(p.value("nonce")) || p.value("uri") != target)
            return false;
        const QByteArray ha1 = md5Hex(rule.user + ':' + Realm + ':' + rule.password);
        const QByteArray ha2 = md5Hex(request.method + ':' + p.value("uri"));
        const QByteArray expected = p.contains("qop")
                                        ? md5Hex(ha1 + ':' + p.value("nonce") + ':' + p.value("nc") + ':' +
                                                 p.value("cnonce") + ':' + p.value("qop") + ':' + ha2)
                                        : md5Hex(ha1 + ':' + p.value("nonce") + ':' + ha2);
        return p.value("response").toLower() == expected;
    }

    void sendReply(QTcpSocket* socket, const Request& request, const Reply& reply, bool keepAlive) {
        if (reply.fault == Reply::Fault::Hang)
            return; // nothing more is answered on this connection
        if (reply.fault == Reply::Fault::Close) {
            socket->disconnectFromHost();
            return;
        }
        // Clients read the status code only: every reason phrase is the same.
        QByteArray head = "HTTP/1.1 " + QByteArray::number(reply.status) + " Reply\r\n";
        for (const auto& [name, value] : reply.headers)
            head += name + ": " + value + "\r\n";
        if (!headerValue(reply.headers, "Content-Length") && !headerValue(reply.headers, "Transfer-Encoding"))
            head += "Content-Length: " + QByteArray::number(reply.body.size()) + "\r\n";
        if (!keepAlive)
            head += "Connection: close\r\n";
        socket->write(head + "\r\n");

        const QByteArray body = request.method == "HEAD" ? QByteArray() : reply.body;
        if (reply.stallAfterBodyBytes) {
            socket->write(body.first(std::min(body.size(), *reply.stallAfterBodyBytes)));
            return; // silent from here on, the connection open
        }
        if (reply.dripInterval.count() <= 0 || body.isEmpty()) {
            socket->write(body);
            if (!keepAlive)
                socket->disconnectFromHost();
            return;
        }
        auto* timer = new QTimer(socket);
        auto offset = std::make_shared<qsizetype>(0);
        QObject::connect(timer, &QTimer::timeout, socket, [socket, timer, offset, body, keepAlive] {
            socket->write(body.sliced((*offset)++, 1));
            if (*offset >= body.size()) {
                timer->deleteLater();
                if (!keepAlive)
                    socket->disconnectFromHost();
            }
        });
        timer->start(reply.dripInterval);
    }

    std::shared_ptr<Shared> shared_;
    CountingTcpServer* listener_ = nullptr;
    QSet<QByteArray> nonces_;
    std::vector<std::unique_ptr<QWebSocket>> webSockets_;
};

// ---- Owner's side -------------------------------------------------------------------------------

std::optional<QByteArray> LoopbackHttpServer::Request::header(QByteArrayView name) const {
    return headerValue(headers, name);
}

LoopbackHttpServer::LoopbackHttpServer()
    : shared_(std::make_shared<Shared>()), thread_(std::make_unique<QThread>()) {
    thread_->setObjectName(u"LoopbackHttpServer"_s);
    engine_ = new Engine(shared_);
    engine_->moveToThread(thread_.get());
    thread_->start();
    QMetaObject::invokeMethod(
        engine_, [this] { port_ = engine_->start(); }, Qt::BlockingQueuedConnection);
}

LoopbackHttpServer::~LoopbackHttpServer() {
    if (stalled_)
        resume();
    QMetaObject::invokeMethod(
        engine_, [this] { engine_->stop(); }, Qt::BlockingQueuedConnection);
    thread_->quit();
    thread_->wait();
    delete engine_;
}

void LoopbackHttpServer::route(const QByteArray& method, const QByteArray& path, Handler handler) {
    std::lock_guard lock(shared_->mutex);
    shared_->handlers.insert(method + ' ' + path, std::move(handler));
}

void LoopbackHttpServer::requireCredentials(const QByteArray& path, AuthScheme scheme, const QString& user,
                                            const QString& password) {
    std::lock_guard lock(shared_->mutex);
    shared_->authRules.insert(path, {scheme, user.toUtf8(), password.toUtf8()});
}

QList<LoopbackHttpServer::Request> LoopbackHttpServer::requests() const {
    std::lock_guard lock(shared_->mutex);
    return shared_->requests;
}

void LoopbackHttpServer::clearRequests() {
    std::lock_guard lock(shared_->mutex);
    shared_->requests.clear();
}

int LoopbackHttpServer::connectionCount() const {
    return shared_->connections.load();
}

void LoopbackHttpServer::acceptWebSockets() {
    QMetaObject::invokeMethod(
        engine_, [this] { engine_->acceptWebSockets(); }, Qt::BlockingQueuedConnection);
}

void LoopbackHttpServer::sendToWebSockets(const QByteArray& message, bool binary) {
    QMetaObject::invokeMethod(
        engine_, [this, message, binary] { engine_->sendToWebSockets(message, binary); },
        Qt::BlockingQueuedConnection);
}

void LoopbackHttpServer::closeWebSockets(int code) {
    QMetaObject::invokeMethod(
        engine_, [this, code] { engine_->closeWebSockets(code); }, Qt::BlockingQueuedConnection);
}

QList<int> LoopbackHttpServer::webSocketCloseCodes() const {
    std::lock_guard lock(shared_->mutex);
    return shared_->webSocketCloseCodes;
}

void LoopbackHttpServer::stall() {
    stalled_ = true;
    QMetaObject::invokeMethod(engine_, [this] { shared_->resumed.acquire(); });
}

void LoopbackHttpServer::resume() {
    stalled_ = false;
    shared_->resumed.release();
}

} // namespace testing_support
