#pragma once

#include "datasource/NVSCGDataSourceExport.h"

#include <QByteArray>
#include <QUrl>
#include <functional>

namespace platform::http {
struct Request;
struct Response;
} // namespace platform::http

/// One-shot HTTP fetches without shared state: every request has a fresh connection, no cookies,
/// no cache, no stored credentials (the caller's preparation may add some).
class NVSCGDATASOURCE_EXPORT NVSURLUtilities {
  public:
    /// Called once with the outcome: a transport failure in `response.error`, otherwise the status,
    /// headers and body. Runs on an HTTP worker thread, never on the main thread.
    using Completion = std::function<void(platform::http::Response response)>;
    /// Completes the request on an HTTP worker thread before it starts; it may block.
    using Preparation = std::function<void(platform::http::Request& request)>;

    /// Starts the request and returns at once. `timeoutIntervalForRequest`: seconds without any
    /// byte moving; `timeOutIntervalForRessource`: seconds for the whole transfer.
    static void loadRemoteContentOfURL(const QUrl& url, double timeoutIntervalForRequest,
                                       double timeOutIntervalForRessource, const QByteArray& httpMethod,
                                       Preparation preparation, Completion completionHandler);
};
