#pragma once

#include "platform/Error.h"
#include "platform/HttpHeaderList.h"

#include <QByteArray>
#include <QString>
#include <QUrl>
#include <optional>

namespace platform::http {

/// The outcome of one request as a plain value. When `error` is set the transfer failed and
/// only `url` and `error` are meaningful (status 0, no headers, no body); otherwise `statusCode`,
/// `headers` and `body` are those of the final response, after redirects and authentication.
struct Response {
    int statusCode = 0;
    HeaderList headers;
    QByteArray body;
    /// The body went to the request's BodyConsumer as it arrived; `body` is empty.
    bool bodyConsumed = false;
    /// The URL of the final response (after redirects); the requested URL when nothing arrived.
    QUrl url;
    /// From Content-Type: lower case, without parameters; empty when the server sent none.
    QString mimeType;
    /// A transport failure: domain Error::CurlDomain, code the CURLcode.
    std::optional<Error> error;

    /// Whether a complete HTTP response arrived (whatever its status).
    bool isComplete() const { return !error.has_value(); }
    /// The first response header of that name, compared case-insensitively.
    std::optional<QByteArray> header(QByteArrayView name) const { return headers.value(name); }
};

} // namespace platform::http
