#pragma once

#include <atomic>
#include <memory>

namespace platform::http {

/// A flag one thread raises and a transfer on another thread polls. Copies share one flag, so
/// hand a copy to the thread that may cancel. Thread-safe; cancelling cannot be undone.
class CancellationToken {
  public:
    CancellationToken() : cancelled_(std::make_shared<std::atomic<bool>>(false)) {}

    void cancel() const { cancelled_->store(true, std::memory_order_release); }
    bool isCancelled() const { return cancelled_->load(std::memory_order_acquire); }

  private:
    std::shared_ptr<std::atomic<bool>> cancelled_;
};

} // namespace platform::http
