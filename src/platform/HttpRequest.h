#pragma once

#include "platform/HttpBodyConsumer.h"
#include "platform/HttpHeaderList.h"

#include <QByteArray>
#include <QString>
#include <QUrl>
#include <functional>
#include <memory>
#include <optional>

namespace platform::http {

/// One HTTP request as a plain value. Copy it freely; a Client never keeps a reference to it
/// beyond the transfer.
struct Request {
    /// User name and password, by default offered when the server asks (Basic or Digest, whichever
    /// it challenges with). Offered once: a wrong password ends with the server's 401.
    struct Credentials {
        enum class Offer {
            WhenChallenged,
            /// As Basic with the first request, without waiting for a challenge.
            BasicAtOnce,
        };
        QString user;
        QString password;
        Offer offer = Offer::WhenChallenged;
    };

    /// Called on the transferring thread with the bytes of the body sent so far and the total
    /// expected. After an authentication challenge the count may start again from zero.
    using UploadProgress = std::function<void(qint64 bytesSent, qint64 totalBytesExpected)>;
    /// Called on the transferring thread when the final response's body starts to arrive (after
    /// redirects and authentication), before its first bytes are taken: what the body will need
    /// can be made ready meanwhile. It must return at once; it is not called for an empty body.
    using BodyStarting = std::function<void(int statusCode, const HeaderList& headers)>;

    static constexpr qint64 DefaultMaximumResponseSize = qint64(512) * 1024 * 1024;
    static constexpr double DefaultRequestTimeout = 60.0;

    Request() = default;
    explicit Request(QUrl requestUrl, QByteArray requestMethod = QByteArrayLiteral("GET"))
        : method(std::move(requestMethod)), url(std::move(requestUrl)) {}

    /// Any verb; sent as given (upper case by convention).
    QByteArray method = QByteArrayLiteral("GET");
    /// http or https only.
    QUrl url;
    /// Sent in this order. A Content-Type is sent only when given here.
    HeaderList headers;
    /// Sent whenever non-empty, and as an empty body (Content-Length: 0) for POST, PUT and PATCH.
    QByteArray body;
    /// Seconds without any byte moving in either direction before the transfer fails; 0 = none.
    double requestTimeout = DefaultRequestTimeout;
    /// Seconds the whole transfer (redirects and authentication included) may take; 0 = none.
    double resourceTimeout = 0.0;
    /// Whether a blocking request (Client::perform) may go over a connection an earlier one on
    /// the same thread left open, and leave its own open for the next. Off: a fresh connection,
    /// closed at the end (the ephemeral session). A server that talks to us all day (the CG
    /// server) is spared a new connection per update.
    bool reusesConnection = false;
    /// `credentials` and `bearerToken` go to the request's own scheme, host and port only: after a
    /// redirect anywhere else they are left out.
    std::optional<Credentials> credentials;
    /// Sent as "Authorization: Bearer <token>" with the first request; not with `credentials`.
    std::optional<QString> bearerToken;
    /// Headers whose values are secrets, sent after `headers`. A redirect would carry them to
    /// whatever host it names, so a request with any follows no redirect: the redirect response
    /// is its result.
    HeaderList secretHeaders;
    UploadProgress uploadProgress;
    /// A larger (decoded) response body fails the request; 0 = no limit.
    qint64 maximumResponseSize = DefaultMaximumResponseSize;
    /// Offered the final response's body as it arrives (see BodyConsumer); shared by copies.
    std::shared_ptr<BodyConsumer> bodyConsumer;
    BodyStarting bodyStarting;
};

} // namespace platform::http
