#pragma once

#include "platform/HttpCancellationToken.h"
#include "platform/HttpRequest.h"
#include "platform/HttpResponse.h"
#include "platform/Json.h"

#include <QByteArray>
#include <optional>

/// Blocking HTTP requests for the CG client: each one on a fresh connection with nothing kept
/// between requests, on the calling thread, without spinning any event loop. The request's own
/// time-outs bound the wait; raising `cancellation` from another thread ends it within a few
/// tens of milliseconds. The status code is not examined: an error page's body is returned
/// like any other. Transport failures write "Error: <description>" to the console.
class SynchronousRequests {
  public:
    /// The body, or nullopt when none arrived.
    static std::optional<QByteArray>
    requestSynchronousData(const platform::http::Request& request,
                           const platform::http::CancellationToken& cancellation = {});
    /// The body parsed as JSON, or nullopt when there was none or it is not JSON.
    static std::optional<platform::JsonValue>
    requestSynchronousJSON(const platform::http::Request& request,
                           const platform::http::CancellationToken& cancellation = {});
    /// How the requests above read a response that arrived another way: its body, or nullopt
    /// (and a console line for a transport failure).
    static std::optional<QByteArray> answerBody(const platform::http::Response& response);
    static std::optional<platform::JsonValue> answerJSON(const platform::http::Response& response);
    /// nullopt when the string is not a URL; otherwise a plain GET of it.
    static std::optional<QByteArray> requestSynchronousData(const QString& urlString);
    /// nullopt when the string is not a URL; otherwise a GET with "Content-Type: application/json".
    static std::optional<platform::JsonValue> requestSynchronousJSON(const QString& urlString);
};
