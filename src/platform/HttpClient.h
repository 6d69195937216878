#pragma once

#include "platform/HttpCancellationToken.h"
#include "platform/HttpRequest.h"
#include "platform/HttpResponse.h"
#include "platform/HttpTask.h"

#include <QString>
#include <functional>
#include <memory>
#include <mutex>

class QThreadPool;

namespace platform::http {

class TransferLoop;

/// HTTP client over libcurl with "ephemeral session" semantics: every request opens a fresh
/// connection and closes it afterwards; nothing (cookies, credentials, connections) is shared
/// between requests.
///
/// Failures are values in Response::error (domain Error::CurlDomain, code the CURLcode):
///  - CURLE_OPERATION_TIMEDOUT: Request::requestTimeout ("The request timed out.") or
///    Request::resourceTimeout ("The resource timed out."); TimeoutKindKey tells which;
///  - CURLE_ABORTED_BY_CALLBACK: cancelled ("cancelled");
///  - CURLE_FILESIZE_EXCEEDED: the body exceeded Request::maximumResponseSize;
///  - anything else: curl's own message.
///
/// Threads: `perform` may be called from any thread, concurrently, and runs on that thread.
/// `start` hands the request to the client's transfer loop: one thread drives every started
/// transfer with libcurl's multi interface, so a transfer that waits for its server ties up no
/// thread. At most `maximumConcurrentTransfers` connections are open at once (and at most
/// `MaximumConnectionsPerHost` to one host and port); further requests wait in FIFO order. The
/// completion runs on one of the client's completion workers, never on the caller's thread.
///
/// Shutdown: destroying the client cancels every request in flight or waiting and blocks until
/// their completions have returned; each completion runs exactly once, with the cancellation
/// error. Completions must therefore not destroy their own client, and whatever they touch must
/// outlive the client.
class Client {
  public:
    using Completion = std::function<void(Response)>;
    /// Completes a request just before it starts (adds credentials from the keychain, say).
    using Preparation = std::function<void(Request&)>;

    /// Enough for a rack machine running a thousand documents whose feeds take half their period
    /// to answer, with room for the moments when their timers fire together.
    static constexpr int DefaultMaximumConcurrentTransfers = 2048;
    /// Many documents may poll one feed host; beyond this they queue rather than open more.
    static constexpr int MaximumConnectionsPerHost = 128;
    /// Error::userInfo key on time-out errors: TimeoutKindRequest or TimeoutKindResource.
    static inline const QString TimeoutKindKey = QStringLiteral("GraflinkHTTPTimeoutKind");
    static inline const QString TimeoutKindRequest = QStringLiteral("request");
    static inline const QString TimeoutKindResource = QStringLiteral("resource");

    explicit Client(int maximumConcurrentTransfers = DefaultMaximumConcurrentTransfers);
    ~Client();
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    /// Runs the request on the calling thread and blocks until it ends. Spins no event loop.
    Response perform(const Request& request) const;
    /// As above; raising `cancellation` from another thread aborts the transfer promptly.
    Response perform(const Request& request, const CancellationToken& cancellation) const;

    /// Queues the request for the transfer loop and returns at once. `completion` (may be empty)
    /// runs exactly once on a completion worker; post to other threads from there.
    std::shared_ptr<Task> start(Request request, Completion completion);
    /// As above, `prepare` first running on one of the client's preparation workers (neither the
    /// caller's thread nor the transfer loop), so it may block. A request cancelled before its
    /// turn is not prepared; destroying the client waits for preparations under way.
    std::shared_ptr<Task> start(Request request, Preparation prepare, Completion completion);
    /// As start(), but `completion` runs on the transfer loop's own thread, with no hand-over to
    /// a worker: for small answers whose handling takes microseconds (a chain of short requests
    /// to one server, each started from the previous one's completion). The completion must not
    /// block or wait for anything; it may start further requests.
    std::shared_ptr<Task> startOnLoop(Request request, Completion completion);

    /// Loads and initialises libcurl once per process, or waits while another thread does;
    /// thread-safe. Every request does it first; a Client only starts the loading when it is
    /// made. Call it early only to take the cost off the first request. libcurl is never cleaned
    /// up.
    static void initializeLibrary();

  private:
    TransferLoop& loop();
    void enqueue(const std::shared_ptr<Task>& task, Request request, Completion completion);

    const int maximumConcurrentTransfers_;
    CancellationToken shutdown_;
    std::unique_ptr<QThreadPool> completions_;
    std::unique_ptr<QThreadPool> preparations_;
    std::once_flag loopStarted_;
    // Started with the first asynchronous request: clients used only for `perform` keep no thread.
    std::unique_ptr<TransferLoop> loop_;
};

} // namespace platform::http
