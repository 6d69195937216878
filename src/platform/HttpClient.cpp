#include "platform/HttpClient.h"

#include "platform/CurlLibrary.h"
#include "platform/HttpTransfer.h"
#include "platform/HttpTransferLoop.h"

#include <QThread>
#include <QThreadPool>
#include <algorithm>
#include <curl/curl.h>

namespace platform::http {

namespace {

// The client whose completion this worker thread is running, to catch a completion destroying
// its own client (which would wait for itself).
thread_local const Client* completingClient = nullptr;

} // namespace

void Client::initializeLibrary() {
    static std::once_flag once;
    std::call_once(once, [] { CurlLibrary::get().globalInit(CURL_GLOBAL_DEFAULT); });
}

Client::Client(int maximumConcurrentTransfers)
    : maximumConcurrentTransfers_(std::max(1, maximumConcurrentTransfers)),
      completions_(std::make_unique<QThreadPool>()), preparations_(std::make_unique<QThreadPool>()) {
    CurlLibrary::preload();
    // Completions parse feeds: as many as there are cores, and never fewer than two so that one
    // slow completion does not hold up the others.
    completions_->setMaxThreadCount(std::max(2, QThread::idealThreadCount()));
    // Preparations wait on other services (the keychain), not on the processor.
    preparations_->setMaxThreadCount(4);
}

Client::~Client() {
    Q_ASSERT_X(completingClient != this, "http::Client", "destroyed from its own completion");
    shutdown_.cancel();
    // Preparations under way hand their transfers to the loop, which ends them as cancelled.
    preparations_->waitForDone();
    // The loop ends every transfer (each handing its completion to the pool) before it returns.
    loop_.reset();
    completions_->waitForDone();
}

TransferLoop& Client::loop() {
    std::call_once(loopStarted_, [this] {
        initializeLibrary();
        loop_ = std::make_unique<TransferLoop>(TransferLoop::Limits{
            maximumConcurrentTransfers_, std::min(maximumConcurrentTransfers_, MaximumConnectionsPerHost)});
    });
    return *loop_;
}

Response Client::perform(const Request& request) const {
    return perform(request, CancellationToken());
}

Response Client::perform(const Request& request, const CancellationToken& cancellation) const {
    initializeLibrary();
    return Transfer(request, cancellation, shutdown_).runBlocking();
}

std::shared_ptr<Task> Client::start(Request request, Completion completion) {
    std::shared_ptr<Task> task(new Task);
    task->wake_ = loop().waker();
    enqueue(task, std::move(request), std::move(completion));
    return task;
}

std::shared_ptr<Task> Client::start(Request request, Preparation prepare, Completion completion) {
    if (!prepare)
        return start(std::move(request), std::move(completion));
    std::shared_ptr<Task> task(new Task);
    task->wake_ = loop().waker();
    preparations_->start([this, task, request = std::move(request), prepare = std::move(prepare),
                          completion = std::move(completion)]() mutable {
        if (!task->isCancelled() && !shutdown_.isCancelled())
            prepare(request);
        enqueue(task, std::move(request), std::move(completion));
    });
    return task;
}

std::shared_ptr<Task> Client::startOnLoop(Request request, Completion completion) {
    std::shared_ptr<Task> task(new Task);
    task->wake_ = loop().waker();
    auto transfer = std::make_unique<Transfer>(std::move(request), task->token_, shutdown_);
    loop().add(std::move(transfer), [task, completion = std::move(completion)](Response response) mutable {
        if (completion)
            completion(std::move(response));
        completion = nullptr;
        task->finished_.store(true, std::memory_order_release);
    });
    return task;
}

void Client::enqueue(const std::shared_ptr<Task>& task, Request request, Completion completion) {
    auto transfer = std::make_unique<Transfer>(std::move(request), task->token_, shutdown_);
    loop().add(std::move(transfer),
               [this, task, completion = std::move(completion)](Response response) mutable {
                   completions_->start([this, task, completion = std::move(completion),
                                        response = std::move(response)]() mutable {
                       if (completion) {
                           completingClient = this;
                           completion(std::move(response));
                           completingClient = nullptr;
                       }
                       // The completion's captures go before the task counts as finished.
                       completion = nullptr;
                       task->finished_.store(true, std::memory_order_release);
                   });
               });
}

} // namespace platform::http
