#pragma once

#include "platform/HttpCancellationToken.h"

#include <atomic>

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
    void cancel() { token_.cancel(); }
    bool isCancelled() const { return token_.isCancelled(); }
    /// Whether the completion has returned.
    bool isFinished() const { return finished_.load(std::memory_order_acquire); }

  private:
    friend class Client;
    Task() = default;

    CancellationToken token_;
    std::atomic<bool> finished_{false};
};

} // namespace platform::http
