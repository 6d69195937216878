#include "testkit/LoopbackHttpServer.h"

#include <QCryptographicHash>
#include <QHash>
#include <QHostAddress>
#include <QPointer>
#include <QRandomGenerator>
#include <QSet>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <mutex>
#include <utility>

namespace testing_support {

namespace {

using Request = LoopbackHttpServer::Request;
using Reply = LoopbackHttpServer::Reply;
using Headers = LoopbackHttpServer::Headers;

bool sameName(QByteArrayView a, QByteArrayView b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

std::optional<QByteArray> headerValue(const Headers& headers, QByteArrayView name) {
    for (const auto& [key, value] : headers) {
        if (sameName(key, name))
            return value;
    }
    return std::nullopt;
}

// ---- Parsing: pure functions over the bytes received so far ----------------------------------

constexpr qsizetype MaximumHeadSize = 64 * 1024;

struct RequestParse {
    enum class Status { Incomplete, Complete, Malformed };
    Status status = Status::Incomplete;
    /// The head has arrived (the body may still be missing).
    bool headComplete = false;
    bool expectsContinue = false;
    bool keepAlive = true;
    /// Bytes of the buffer the complete request occupies.
    qsizetype consumed = 0;
    Request request;
};

enum class ChunkedStatus { Incomplete, Complete, Malformed };

// Decodes a chunked body starting at `from`; on completion `end` is just past the trailers.
ChunkedStatus decodeChunked(QByteArrayView buffer, qsizetype from, QByteArray& body, qsizetype& end) {
    body.clear();
    qsizetype position = from;
    for (;;) {
        const qsizetype lineEnd = buffer.indexOf("\r\n", position);
        if (lineEnd < 0)
            return ChunkedStatus::Incomplete;
        QByteArrayView sizeText = buffer.sliced(position, lineEnd - position);
        if (const qsizetype semicolon = sizeText.indexOf(';'); semicolon >= 0)
            sizeText = sizeText.first(semicolon);
        bool ok = false;
        const qlonglong size = sizeText.trimmed().toLongLong(&ok, 16);
        if (!ok || size < 0)
            return ChunkedStatus::Malformed;
        position = lineEnd + 2;
        if (size == 0) {
            // Trailers, then an empty line.
            for (;;) {
                const qsizetype trailerEnd = buffer.indexOf("\r\n", position);
                if (trailerEnd < 0)
                    return ChunkedStatus::Incomplete;
                const bool last = trailerEnd == position;
                position = trailerEnd + 2;
                if (last) {
                    end = position;
                    return ChunkedStatus::Complete;
                }
            }
        }
        if (buffer.size() < position + size + 2)
            return ChunkedStatus::Incomplete;
        body.append(buffer.sliced(position, size));
        if (buffer.sliced(position + size, 2) != "\r\n")
            return ChunkedStatus::Malformed;
        position += size + 2;
    }
}

RequestParse parseRequest(QByteArrayView buffer) {
    RequestParse result;
    const qsizetype headEnd = buffer.indexOf("\r\n\r\n");
    if (headEnd < 0) {
        if (buffer.size() > MaximumHeadSize)
            result.status = RequestParse::Status::Malformed;
        return result;
    }
    const QList<QByteArray> lines = buffer.first(headEnd).toByteArray().split('\n');
    const QList<QByteArray> requestLine = lines.front().trimmed().split(' ');
    if (requestLine.size() != 3 || !requestLine[2].startsWith("HTTP/1.")) {
        result.status = RequestParse::Status::Malformed;
        return result;
    }
    Request& request = result.request;
    request.method = requestLine[0];
    const QByteArray& target = requestLine[1];
    const qsizetype question = target.indexOf('?');
    request.path = question < 0 ? target : target.first(question);
    request.query = question < 0 ? QByteArray() : target.sliced(question + 1);
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines[i].trimmed();
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0) {
            result.status = RequestParse::Status::Malformed;
            return result;
        }
        request.headers.append({line.first(colon).trimmed(), line.sliced(colon + 1).trimmed()});
    }
    result.headComplete = true;

    const QByteArray connection = headerValue(request.headers, "Connection").value_or(QByteArray()).toLower();
    result.keepAlive =
        requestLine[2] == "HTTP/1.1" ? !connection.contains("close") : connection.contains("keep-alive");
    result.expectsContinue =
        sameName(headerValue(request.headers, "Expect").value_or(QByteArray()), "100-continue");

    const qsizetype bodyStart = headEnd + 4;
    const auto transferEncoding = headerValue(request.headers, "Transfer-Encoding");
    if (transferEncoding && transferEncoding->toLower().contains("chunked")) {
        qsizetype end = 0;
        switch (decodeChunked(buffer, bodyStart, request.body, end)) {
        case ChunkedStatus::Incomplete:
            return result;
        case ChunkedStatus::Malformed:
            result.status = RequestParse::Status::Malformed;
            return result;
        case ChunkedStatus::Complete:
            result.consumed = end;
            result.status = RequestParse::Status::Complete;
            return result;
        }
    }
    qlonglong length = 0;
    if (const auto contentLength = headerValue(request.headers, "Content-Length")) {
        bool ok = false;
        length = contentLength->toLongLong(&ok);
        if (!ok || length < 0) {
            result.status = RequestParse::Status::Malformed;
            return result;
        }
    }
    if (buffer.size() - bodyStart < length)
        return result;
    request.body = buffer.sliced(bodyStart, length).toByteArray();
    result.consumed = bodyStart + length;
    result.status = RequestParse::Status::Complete;
    return result;
}

// Splits `Digest a=b, c="d, e"` into its parameters.
QHash<QByteArray, QByteArray> parseAuthParameters(QByteArrayView text) {
    QHash<QByteArray, QByteArray> parameters;
    qsizetype i = 0;
    const auto skipSpaceAndCommas = [&] {
        while (i < text.size() && (text[i] == ' ' || text[i] == ',' || text[i] == '\t'))
            ++i;
    };
    for (skipSpaceAndCommas(); i < text.size(); skipSpaceAndCommas()) {
        const qsizetype equals = text.indexOf('=', i);
        if (equals < 0)
            break;
        const QByteArray key = text.sliced(i, equals - i).trimmed().toByteArray().toLower();
        i = equals + 1;
        QByteArray value;
        if (i < text.size() && text[i] == '"') {
            for (++i; i < text.size() && text[i] != '"'; ++i) {
                if (text[i] == '\\' && i + 1 < text.size())
                    ++i;
                value += text[i];
            }
            ++i; // closing quote
        } else {
            while (i < text.size() && text[i] != ',')
                value += text[i++];
            value = value.trimmed();
        }
        parameters.insert(key, value);
    }
    return parameters;
}

QByteArray md5Hex(const QByteArray& bytes) {
    return QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex();
}

QByteArray reasonPhrase(int status) {
    switch (status) {
    case 100:
        return QByteArrayLiteral("Continue");
    case 200:
        return QByteArrayLiteral("OK");
    case 201:
        return QByteArrayLiteral("Created");
    case 204:
        return QByteArrayLiteral("No Content");
    case 301:
        return QByteArrayLiteral("Moved Permanently");
    case 302:
        return QByteArrayLiteral("Found");
    case 303:
        return QByteArrayLiteral("See Other");
    case 304:
        return QByteArrayLiteral("Not Modified");
    case 307:
        return QByteArrayLiteral("Temporary Redirect");
    case 400:
        return QByteArrayLiteral("Bad Request");
    case 401:
        return QByteArrayLiteral("Unauthorized");
    case 403:
        return QByteArrayLiteral("Forbidden");
    case 404:
        return QByteArrayLiteral("Not Found");
    case 500:
        return QByteArrayLiteral("Internal Server Error");
    case 503:
        return QByteArrayLiteral("Service Unavailable");
    default:
        return QByteArrayLiteral("Status");
    }
}

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
    std::atomic<int> connections{0};

    std::optional<Handler> handlerFor(const Request& request) const {
        std::lock_guard lock(mutex);
        auto it = handlers.constFind(request.method + ' ' + request.path);
        if (it == handlers.cend())
            it = handlers.constFind(' ' + request.path);
        if (it == handlers.cend())
            return std::nullopt;
        return *it;
    }
    std::optional<AuthRule> authRuleFor(const QByteArray& path) const {
        std::lock_guard lock(mutex);
        const auto it = authRules.constFind(path);
        if (it == authRules.cend())
            return std::nullopt;
        return *it;
    }
};

// ---- Socket handling, on the server thread -----------------------------------------------------

class LoopbackHttpServer::Engine : public QObject {
  public:
    explicit Engine(std::shared_ptr<Shared> shared) : shared_(std::move(shared)) {}

    quint16 start() {
        server_ = new QTcpServer(this);
        QObject::connect(server_, &QTcpServer::newConnection, this, [this] { acceptConnections(); });
        if (!server_->listen(QHostAddress::LocalHost, 0))
            return 0;
        return server_->serverPort();
    }

    void stop() {
        delete server_;
        server_ = nullptr;
        const auto connections = std::exchange(connections_, {});
        for (const QPointer<Connection>& connection : connections) {
            if (connection) {
                connection->socket->abort();
                delete connection.data();
            }
        }
    }

  private:
    struct Connection : QObject {
        QTcpSocket* socket = nullptr;
        int index = 0;
        QByteArray buffer;
        bool busy = false;         // a reply is under way (or the connection hangs)
        bool continueSent = false; // for the request now arriving
    };

    void acceptConnections() {
        while (QTcpSocket* socket = server_->nextPendingConnection()) {
            auto* connection = new Connection;
            connection->setParent(this);
            connection->socket = socket;
            socket->setParent(connection);
            connection->index = ++shared_->connections;
            connections_.removeIf([](const QPointer<Connection>& known) { return known.isNull(); });
            connections_.append(connection);
            QPointer<Connection> guard(connection);
            QObject::connect(socket, &QTcpSocket::readyRead, connection, [this, guard] {
                if (guard) {
                    guard->buffer += guard->socket->readAll();
                    process(guard);
                }
            });
            QObject::connect(socket, &QTcpSocket::disconnected, connection,
                             [connection] { connection->deleteLater(); });
            if (socket->bytesAvailable() > 0) {
                connection->buffer += socket->readAll();
                process(connection);
            }
        }
    }

    void process(Connection* connection) {
        while (!connection->busy) {
            RequestParse parsed = parseRequest(connection->buffer);
            if (parsed.status == RequestParse::Status::Malformed) {
                connection->busy = true;
                connection->socket->write(
                    "HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
                connection->socket->disconnectFromHost();
                return;
            }
            if (parsed.status == RequestParse::Status::Incomplete) {
                if (parsed.headComplete && parsed.expectsContinue && !connection->continueSent) {
                    connection->continueSent = true;
                    connection->socket->write("HTTP/1.1 100 Continue\r\n\r\n");
                }
                return;
            }
            connection->buffer.remove(0, parsed.consumed);
            connection->continueSent = false;
            parsed.request.connection = connection->index;
            {
                std::lock_guard lock(shared_->mutex);
                shared_->requests.append(parsed.request);
            }
            connection->busy = true;
            answer(connection, parsed.request, replyFor(parsed.request), parsed.keepAlive);
        }
    }

    Reply replyFor(const Request& request) {
        if (const auto rule = shared_->authRuleFor(request.path); rule && !isAuthorized(*rule, request))
            return challenge(*rule);
        if (const auto handler = shared_->handlerFor(request))
            return (*handler)(request);
        return Reply::text(QByteArrayLiteral("Not Found"), QByteArrayLiteral("text/plain"), 404);
    }

    Reply challenge(const Shared::AuthRule& rule) {
        Reply reply = Reply::text(QByteArrayLiteral("Unauthorized"), QByteArrayLiteral("text/plain"), 401);
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

    void answer(Connection* connection, const Request& request, const Reply& reply, bool keepAlive) {
        const QPointer<Connection> guard(connection);
        const auto send = [this, guard, request, reply, keepAlive] {
            if (guard)
                sendReply(guard, request, reply, keepAlive);
        };
        if (reply.delay.count() > 0)
            QTimer::singleShot(reply.delay, connection, send);
        else
            send();
    }

    void sendReply(Connection* connection, const Request& request, const Reply& reply, bool keepAlive) {
        QTcpSocket* socket = connection->socket;
        if (reply.fault == Reply::Fault::Hang)
            return; // stays busy: nothing more is read or answered on this connection
        if (reply.fault == Reply::Fault::Close) {
            socket->disconnectFromHost();
            return;
        }
        QByteArray head =
            "HTTP/1.1 " + QByteArray::number(reply.status) + ' ' + reasonPhrase(reply.status) + "\r\n";
        for (const auto& [name, value] : reply.headers)
            head += name + ": " + value + "\r\n";
        if (!headerValue(reply.headers, "Content-Length") && !headerValue(reply.headers, "Transfer-Encoding"))
            head += "Content-Length: " + QByteArray::number(reply.body.size()) + "\r\n";
        if (!keepAlive)
            head += "Connection: close\r\n";
        head += "\r\n";
        socket->write(head);

        const QByteArray body = request.method == "HEAD" ? QByteArray() : reply.body;
        if (reply.stallAfterBodyBytes) {
            socket->write(body.first(std::min(body.size(), *reply.stallAfterBodyBytes)));
            return; // stays busy and silent
        }
        if (reply.dripInterval.count() <= 0 || body.isEmpty()) {
            socket->write(body);
            finishReply(connection, keepAlive);
            return;
        }
        auto* timer = new QTimer(connection);
        auto offset = std::make_shared<qsizetype>(0);
        const qsizetype chunk = std::max<qsizetype>(1, reply.dripChunkSize);
        QObject::connect(
            timer, &QTimer::timeout, connection, [this, connection, timer, offset, body, chunk, keepAlive] {
                connection->socket->write(body.sliced(*offset, std::min(chunk, body.size() - *offset)));
                *offset += chunk;
                if (*offset >= body.size()) {
                    timer->deleteLater();
                    finishReply(connection, keepAlive);
                }
            });
        timer->start(reply.dripInterval);
    }

    void finishReply(Connection* connection, bool keepAlive) {
        if (!keepAlive) {
            connection->socket->disconnectFromHost();
            return;
        }
        connection->busy = false;
        process(connection);
    }

    std::shared_ptr<Shared> shared_;
    QTcpServer* server_ = nullptr;
    QList<QPointer<Connection>> connections_;
    QSet<QByteArray> nonces_;
};

// ---- Owner's side -------------------------------------------------------------------------------

std::optional<QByteArray> LoopbackHttpServer::Request::header(QByteArrayView name) const {
    return headerValue(headers, name);
}

LoopbackHttpServer::Reply LoopbackHttpServer::Reply::text(QByteArray body, QByteArray contentType,
                                                          int status) {
    Reply reply;
    reply.status = status;
    reply.headers.append({QByteArrayLiteral("Content-Type"), std::move(contentType)});
    reply.body = std::move(body);
    return reply;
}

LoopbackHttpServer::Reply LoopbackHttpServer::Reply::hang() {
    Reply reply;
    reply.fault = Fault::Hang;
    return reply;
}

LoopbackHttpServer::Reply LoopbackHttpServer::Reply::close() {
    Reply reply;
    reply.fault = Fault::Close;
    return reply;
}

LoopbackHttpServer::LoopbackHttpServer()
    : shared_(std::make_shared<Shared>()), thread_(std::make_unique<QThread>()) {
    thread_->setObjectName(QStringLiteral("LoopbackHttpServer"));
    engine_ = new Engine(shared_);
    engine_->moveToThread(thread_.get());
    thread_->start();
    QMetaObject::invokeMethod(
        engine_, [this] { port_ = engine_->start(); }, Qt::BlockingQueuedConnection);
}

LoopbackHttpServer::~LoopbackHttpServer() {
    QMetaObject::invokeMethod(
        engine_, [this] { engine_->stop(); }, Qt::BlockingQueuedConnection);
    thread_->quit();
    thread_->wait();
    delete engine_;
}

bool LoopbackHttpServer::isListening() const {
    return port_ != 0;
}

quint16 LoopbackHttpServer::port() const {
    return port_;
}

QUrl LoopbackHttpServer::url(const QString& pathAndQuery) const {
    return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(port_).arg(pathAndQuery));
}

void LoopbackHttpServer::route(const QByteArray& path, Handler handler) {
    std::lock_guard lock(shared_->mutex);
    shared_->handlers.insert(' ' + path, std::move(handler));
}

void LoopbackHttpServer::route(const QByteArray& method, const QByteArray& path, Handler handler) {
    std::lock_guard lock(shared_->mutex);
    shared_->handlers.insert(method + ' ' + path, std::move(handler));
}

void LoopbackHttpServer::serve(const QByteArray& path, const Reply& reply) {
    route(path, [reply](const Request&) { return reply; });
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

qsizetype LoopbackHttpServer::requestCount() const {
    std::lock_guard lock(shared_->mutex);
    return shared_->requests.size();
}

void LoopbackHttpServer::clearRequests() {
    std::lock_guard lock(shared_->mutex);
    shared_->requests.clear();
}

int LoopbackHttpServer::connectionCount() const {
    return shared_->connections.load();
}

} // namespace testing_support
