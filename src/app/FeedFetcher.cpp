#include "app/FeedFetcher.h"

#include "feed/FeedCredentials.h"
#include "platform/HttpClient.h"

bool FeedFetcher::isUsableAddress(const QString& address, QString* reason) {
    const QString trimmed = address.trimmed();
    const QUrl url(trimmed, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (trimmed.isEmpty()) {
        if (reason)
            *reason = QStringLiteral("The document has no feed address.");
        return false;
    }
    if (!url.isValid() || url.host().isEmpty() ||
        (scheme != QStringLiteral("http") && scheme != QStringLiteral("https"))) {
        if (reason)
            *reason = QStringLiteral("The feed address “%1” is not a valid http or https URL.").arg(trimmed);
        return false;
    }
    return true;
}

std::shared_ptr<platform::http::Task>
FeedFetcher::start(platform::http::Client& client, const QString& address, Limits limits,
                   std::shared_ptr<platform::FeedCredentials> credentials,
                   std::function<void(std::shared_ptr<FeedResponse>)> completion,
                   FeedResponse::WantedPaths wanted) {
    QString reason;
    if (!isUsableAddress(address, &reason)) {
        completion(std::make_shared<FeedResponse>(FeedResponse::failed(reason)));
        return nullptr;
    }
    platform::http::Request request(QUrl(address.trimmed(), QUrl::StrictMode));
    request.requestTimeout = limits.timeouts.request;
    request.resourceTimeout = limits.timeouts.resource;
    request.maximumResponseSize = limits.maximumBodySize;
    request.reusesConnection = true;
    if (wanted.makeAhead)
        request.bodyStarting = [wanted](int statusCode, const platform::http::HeaderList& headers) {
            FeedResponse::bodyStarting(statusCode, headers, wanted);
        };
    platform::http::Client::Preparation prepare;
    if (!credentials || !credentials->settings().isEnabled())
        credentials.reset();
    else if (!credentials->addKnownTo(request))
        // Only a lookup in the keychain goes to a preparation worker: it may block.
        prepare = [credentials](platform::http::Request& feedRequest) { credentials->addTo(feedRequest); };
    return client.start(std::move(request), std::move(prepare),
                        [credentials, completion = std::move(completion),
                         wanted = std::move(wanted)](platform::http::Response response) {
                            if (credentials && response.isComplete())
                                credentials->noteStatus(response.statusCode);
                            completion(
                                std::make_shared<FeedResponse>(FeedResponse::interpret(response, wanted)));
                        });
}
