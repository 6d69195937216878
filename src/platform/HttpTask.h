#pragma once

#include "platform/HttpCancellationToken.h"

#include <atomic>
#include <functional>

namespace platform::http {

class Client;

/// The handle of one asynchronous request started by Client::start. Thread-safe. Dropping the
/// handle does not cancel the request.
class Task {
  public:
    Task(const Task&) = delete;
    Task& operator=(const Task&) = delete;

    /// Aborts the transfer within a few tens of milliseconds. The completion still runs exactly
    /// once, with the cancellation error, unless the response was already complete.
    void cancel() {
        token_.cancel();
        if (wake_)
            wake_();
    }
    bool isCancelled() const { return token_.isCancelled(); }
    /// Whether the completion has returned.
    bool isFinished() const { return finished_.load(std::memory_order_acquire); }

  private:
    friend class Client;
    Task() = default;

    CancellationToken token_;
    /// Wakes the transfer loop so that it sees the cancellation at once (set before the task is
    /// handed out, never changed).
    std::function<void()> wake_;
    std::atomic<bool> finished_{false};
};

} // namespace platform::http
