#pragma once

#include "platform/HttpResponse.h"

#include <chrono>
#include <curl/curl.h>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>

namespace platform::http {

class Transfer;

/// Drives any number of transfers on one thread through a libcurl multi handle, so that a
/// transfer waiting for its server holds a socket, not a thread. Not part of the client's
/// interface.
///
/// `Done` runs on the loop's thread, once per transfer; it must return quickly (hand the
/// response elsewhere). The destructor waits for every transfer to end: raise the transfers'
/// shutdown flag first, or it waits for their time-outs.
class TransferLoop {
  public:
    using Done = std::function<void(Response)>;

    struct Limits {
        /// Connections open at once across all hosts; further transfers wait in curl's queue.
        long totalConnections;
        /// Connections open at once to one host name and port.
        long connectionsPerHost;
    };

    explicit TransferLoop(Limits limits);
    ~TransferLoop();
    TransferLoop(const TransferLoop&) = delete;
    TransferLoop& operator=(const TransferLoop&) = delete;

    /// Hands the transfer to the loop; callable from any thread.
    void add(std::unique_ptr<Transfer> transfer, Done done);
    /// Something that makes the loop look at its transfers now (a cancellation); callable from
    /// any thread, and harmless after the loop has ended.
    std::function<void()> waker() const;

    /// While transfers are under way the loop looks at cancellations and request time-outs at
    /// least this often; idle, it sleeps until a transfer arrives.
    static constexpr int CheckIntervalMs = 100;
    static constexpr int IdleSleepMs = 60 * 1000;
    /// With at least this many transfers under way, passes are at least BusyPassInterval apart.
    static constexpr std::size_t BusyTransfers = 16;
    static constexpr std::chrono::milliseconds BusyPassInterval{10};

  private:
    struct Pending {
        std::unique_ptr<Transfer> transfer;
        Done done;
    };
    void run();
    void admitIncoming();
    void collectFinished();
    void abortWhereAsked();
    void complete(CURL* easy, CURLcode code);

    /// How long the loop may sleep now.
    int sleepMs();

    CURLM* multi_ = nullptr;
    struct Wake {
        std::mutex mutex;
        CURLM* multi = nullptr; // null once the loop has ended
    };
    std::shared_ptr<Wake> wake_ = std::make_shared<Wake>();
    std::mutex mutex_;
    std::deque<Pending> incoming_;              // guarded by mutex_
    bool stopping_ = false;                     // guarded by mutex_
    std::unordered_map<CURL*, Pending> active_; // loop thread only
    std::thread thread_;
};

} // namespace platform::http
