#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QUrl>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>

class QThread;

namespace testing_support {

/// The tests' one HTTP server: Qt HTTP Server on 127.0.0.1 (ephemeral port), on its own thread
/// with its own event loop, so the test's thread may block in a synchronous request meanwhile.
/// Qt parses the requests; the replies are written by hand, so they can misbehave on purpose
/// (delay, drip, stall after N body bytes, hang, close; gzip and chunked bodies as the handler
/// encodes them). Web-socket upgrades are hung up on unless acceptWebSockets() was called.
///
/// Handlers are registered per path (exact match on the raw path, without the query) and
/// optionally per method; they run on the server thread and must not block (use the reply's
/// delay and drip knobs instead). Unknown paths answer 404. Connections are kept alive between
/// requests unless the client asks to close, so connection counts reveal connection reuse.
///
/// Every public member may be called from any thread. The destructor closes every connection,
/// including hanging ones, and stops the thread.
class LoopbackHttpServer {
  public:
    using Headers = QList<QPair<QByteArray, QByteArray>>;

    /// What arrived, as a plain value.
    struct Request {
        QByteArray method;
        QByteArray path;  // raw (still percent-encoded), without the query
        QByteArray query; // raw, without '?'
        Headers headers{};
        QByteArray body; // de-chunked
        std::chrono::steady_clock::time_point arrived;

        /// The first header of that name, compared case-insensitively.
        std::optional<QByteArray> header(QByteArrayView name) const;
    };

    /// What to answer, with fault knobs.
    struct Reply {
        enum class Fault {
            None,
            Hang,  // read the request, answer nothing, keep the connection open
            Close, // close the connection without answering
        };

        int status = 200;
        /// Sent in order. Content-Length is added unless given here.
        Headers headers{};
        QByteArray body{};
        /// Wait this long before sending anything.
        std::chrono::milliseconds delay{0};
        /// When non-zero, the head goes out at once and the body one byte per interval.
        std::chrono::milliseconds dripInterval{0};
        /// Send the head and this many body bytes, then fall silent with the connection open.
        std::optional<qsizetype> stallAfterBodyBytes{};
        Fault fault = Fault::None;

        /// Appends a header; returns the reply for chaining.
        Reply& withHeader(const QByteArray& name, const QByteArray& value) {
            headers.append(qMakePair(name, value));
            return *this;
        }

        static Reply text(QByteArray body,
                          QByteArray contentType = QByteArrayLiteral("text/plain; charset=utf-8"),
                          int status = 200) {
            return {.status = status, .headers = {{"Content-Type", contentType}}, .body = std::move(body)};
        }
        static Reply hang() { return {.fault = Fault::Hang}; }
        static Reply close() { return {.fault = Fault::Close}; }
    };

    using Handler = std::function<Reply(const Request&)>;

    enum class AuthScheme { Basic, Digest };

    /// Starts listening; check isListening().
    LoopbackHttpServer();
    ~LoopbackHttpServer();
    LoopbackHttpServer(const LoopbackHttpServer&) = delete;
    LoopbackHttpServer& operator=(const LoopbackHttpServer&) = delete;

    bool isListening() const { return port_ != 0; }
    quint16 port() const { return port_; }
    /// "http://127.0.0.1:<port>" followed by `pathAndQuery` (which starts with '/').
    QUrl url(const QString& pathAndQuery = QStringLiteral("/")) const {
        return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(port_).arg(pathAndQuery));
    }

    /// Answers every method on `path`; replaces an earlier handler for the same path.
    void route(const QByteArray& path, Handler handler) { route({}, path, std::move(handler)); }
    /// Answers `method` on `path`; takes precedence over a handler for every method.
    void route(const QByteArray& method, const QByteArray& path, Handler handler);
    /// Answers `path` with a fixed reply.
    void serve(const QByteArray& path, const Reply& reply) {
        route(path, [reply](const Request&) { return reply; });
    }
    /// Requests for `path` without valid credentials get 401 with a challenge for `scheme`
    /// (Digest: MD5, qop "auth"); they are still recorded.
    void requireCredentials(const QByteArray& path, AuthScheme scheme, const QString& user,
                            const QString& password);

    /// Every complete request received so far, in arrival order.
    QList<Request> requests() const;
    qsizetype requestCount() const { return requests().size(); }
    void clearRequests();
    /// Accepted TCP connections so far.
    int connectionCount() const;

    /// Accepts web-socket upgrades on any path from now on (Qt's own web-socket server, which
    /// answers pings); each upgrade is recorded as a request.
    void acceptWebSockets();
    /// Sends `message` to every accepted web socket: as text, or as binary data when `binary`.
    void sendToWebSockets(const QByteArray& message, bool binary = false);
    /// Closes every accepted web socket with `code`.
    void closeWebSockets(int code);
    /// The close code of each web socket that has ended, in order (1005: the client gave none).
    QList<int> webSocketCloseCodes() const;
    /// The server falls silent, pings included, as a hung server would, until resume().
    void stall();
    void resume();

    static inline const QByteArray Realm = QByteArrayLiteral("graflink-test");

  private:
    class Engine;
    struct Shared;
    std::shared_ptr<Shared> shared_;
    std::unique_ptr<QThread> thread_;
    Engine* engine_ = nullptr;
    quint16 port_ = 0;
    bool stalled_ = false;
};

} // namespace testing_support
