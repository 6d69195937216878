#include "datasource/NVSURLUtilities.h"

#include "feed/FeedSizeLimit.h"
#include "platform/HttpClient.h"
#include "platform/UserDefaults.h"

namespace {

// One client for the process: its requests share nothing but the worker threads (each opens its
// own connection), and a completion may outlive any data source that started it.
platform::http::Client& sharedClient() {
    static platform::http::Client client;
    return client;
}

} // namespace

void NVSURLUtilities::loadRemoteContentOfURL(const QUrl& url, double timeoutIntervalForRequest,
                                             double timeOutIntervalForRessource, const QByteArray& httpMethod,
                                             Preparation preparation, Completion completionHandler) {
    platform::http::Request request(url, httpMethod);
    request.requestTimeout = timeoutIntervalForRequest;
    request.resourceTimeout = timeOutIntervalForRessource;
    request.maximumResponseSize =
        platform::FeedSizeLimit::bytes(platform::UserDefaults::standardUserDefaults());
    sharedClient().start(
        std::move(request), std::move(preparation),
        [completionHandler = std::move(completionHandler)](platform::http::Response response) {
            if (completionHandler)
                completionHandler(std::move(response));
        });
}
