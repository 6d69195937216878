#include "platform/HttpTransferLoop.h"

#include "platform/CurlLibrary.h"
#include "platform/HttpTransfer.h"

#include <algorithm>
#include <pthread.h>
#include <vector>

namespace platform::http {

TransferLoop::TransferLoop(Limits limits) : multi_(CurlLibrary::get().multiInit()) {
    if (multi_) {
        CurlLibrary::get().multiSetopt(multi_, CURLMOPT_MAX_TOTAL_CONNECTIONS, limits.totalConnections);
        CurlLibrary::get().multiSetopt(multi_, CURLMOPT_MAX_HOST_CONNECTIONS, limits.connectionsPerHost);
    }
    wake_->multi = multi_;
    thread_ = std::thread([this] {
        pthread_setname_np(pthread_self(), "HTTP transfers");
        run();
    });
}

std::function<void()> TransferLoop::waker() const {
    return [wake = wake_] {
        std::lock_guard lock(wake->mutex);
        if (wake->multi)
            CurlLibrary::get().multiWakeup(wake->multi);
    };
}

int TransferLoop::sleepMs() {
    if (active_.empty())
        return IdleSleepMs;
    long curlMs = -1;
    CurlLibrary::get().multiTimeout(multi_, &curlMs);
    return curlMs < 0 ? CheckIntervalMs : int(std::min<long>(curlMs, CheckIntervalMs));
}

TransferLoop::~TransferLoop() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    if (multi_)
        CurlLibrary::get().multiWakeup(multi_);
    thread_.join();
    {
        std::lock_guard lock(wake_->mutex);
        wake_->multi = nullptr;
    }
    if (multi_)
        CurlLibrary::get().multiCleanup(multi_);
}

void TransferLoop::add(std::unique_ptr<Transfer> transfer, Done done) {
    {
        std::lock_guard lock(mutex_);
        incoming_.push_back({std::move(transfer), std::move(done)});
    }
    // A completion running on the loop looks at what arrived before it sleeps again.
    if (multi_ && std::this_thread::get_id() != thread_.get_id())
        CurlLibrary::get().multiWakeup(multi_);
}

void TransferLoop::run() {
    for (;;) {
        const auto passStarted = std::chrono::steady_clock::now();
        admitIncoming();
        if (multi_) {
            int running = 0;
            CurlLibrary::get().multiPerform(multi_, &running);
        }
        collectFinished();
        abortWhereAsked();
        bool arrivedMeanwhile = false; // from completions run in this pass, which wake no one
        {
            std::lock_guard lock(mutex_);
            if (stopping_ && incoming_.empty() && active_.empty())
                return;
            arrivedMeanwhile = !incoming_.empty();
        }
        if (!multi_)
            continue;
        // Every pass costs time in proportion to the transfers under way; with many of them,
        // events that arrive close together are taken in one pass.
        if (active_.size() >= BusyTransfers)
            std::this_thread::sleep_until(passStarted + BusyPassInterval);
        if (!arrivedMeanwhile)
            CurlLibrary::get().multiPoll(multi_, nullptr, 0, sleepMs(), nullptr);
    }
}

void TransferLoop::admitIncoming() {
    std::deque<Pending> arrived;
    {
        std::lock_guard lock(mutex_);
        arrived.swap(incoming_);
    }
    for (Pending& pending : arrived) {
        if (auto failed = pending.transfer->prepare()) {
            pending.done(std::move(*failed));
            continue;
        }
        CURL* easy = pending.transfer->easy();
        if (!multi_ || CurlLibrary::get().multiAddHandle(multi_, easy) != CURLM_OK) {
            pending.done(pending.transfer->finish(CURLE_FAILED_INIT));
            continue;
        }
        active_.emplace(easy, std::move(pending));
    }
}

void TransferLoop::collectFinished() {
    int queued = 0;
    while (CURLMsg* message = CurlLibrary::get().multiInfoRead(multi_, &queued)) {
        if (message->msg == CURLMSG_DONE)
            complete(message->easy_handle, message->data.result);
    }
}

void TransferLoop::abortWhereAsked() {
    // Checked here as well as in the progress callback, which curl may skip while resolving or
    // while a transfer waits for a free connection.
    std::vector<CURL*> aborted;
    const auto now = std::chrono::steady_clock::now();
    for (auto& [easy, pending] : active_)
        if (pending.transfer->shouldAbort(now))
            aborted.push_back(easy);
    for (CURL* easy : aborted)
        complete(easy, CURLE_ABORTED_BY_CALLBACK);
}

void TransferLoop::complete(CURL* easy, CURLcode code) {
    const auto found = active_.find(easy);
    if (found == active_.end())
        return;
    Pending pending = std::move(found->second);
    active_.erase(found);
    CurlLibrary::get().multiRemoveHandle(multi_, easy);
    pending.done(pending.transfer->finish(code));
}

} // namespace platform::http
