#include "cglink/SynchronousRequests.h"

#include "platform/ConsoleLog.h"
#include "platform/HttpClient.h"
#include "platform/StringFormat.h"

#include <nlohmann/json.hpp>

namespace {

const platform::http::Client& client() {
    // Never destroyed: `perform` uses no worker thread, and a static destructor would run after
    // the application object is gone.
    static const auto* shared = new platform::http::Client(1);
    return *shared;
}

QUrl parseUrlString(const QString& urlString) {
    const QUrl url(urlString, QUrl::StrictMode);
    return url.isValid() && !url.scheme().isEmpty() ? url : QUrl();
}

} // namespace

std::optional<QByteArray>
SynchronousRequests::requestSynchronousData(const platform::http::Request& request,
                                            const platform::http::CancellationToken& cancellation) {
    if (!request.url.isValid() || request.url.isEmpty())
        return std::nullopt;
    const platform::http::Response response = client().perform(request, cancellation);
    if (cancellation.isCancelled())
        return std::nullopt; // the owner is going away: nothing to report
    return answerBody(response);
}

std::optional<QByteArray> SynchronousRequests::answerBody(const platform::http::Response& response) {
    if (response.error) {
        platform::ConsoleLog::write(platform::StringFormat::format(QStringLiteral("Error: %@"),
                                                                   response.error->localizedDescription()));
        return std::nullopt;
    }
    if (response.body.isEmpty())
        return std::nullopt;
    return response.body;
}

std::optional<platform::JsonValue> SynchronousRequests::answerJSON(const platform::http::Response& response) {
    const auto bytes = answerBody(response);
    if (!bytes)
        return std::nullopt;
    return platform::parseJson(*bytes);
}

std::optional<platform::JsonValue>
SynchronousRequests::requestSynchronousJSON(const platform::http::Request& request,
                                            const platform::http::CancellationToken& cancellation) {
    const auto bytes = requestSynchronousData(request, cancellation);
    if (!bytes)
        return std::nullopt;
    return platform::parseJson(*bytes);
}

std::optional<QByteArray> SynchronousRequests::requestSynchronousData(const QString& urlString) {
    const QUrl url = parseUrlString(urlString);
    if (url.isEmpty())
        return std::nullopt;
    return requestSynchronousData(platform::http::Request(url));
}

std::optional<platform::JsonValue> SynchronousRequests::requestSynchronousJSON(const QString& urlString) {
    const QUrl url = parseUrlString(urlString);
    if (url.isEmpty())
        return std::nullopt;
    platform::http::Request request(url);
    request.headers.set("Content-Type", "application/json");
    return requestSynchronousJSON(request);
}
