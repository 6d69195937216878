#pragma once

#include <chrono>
#include <functional>

namespace platform {

/// The main queue: closures run on the thread of the Qt main event loop, in the order posted.
/// Callable from any thread. Closures posted before the application object exists, or after it
/// is gone, are dropped.
class MainQueue {
  public:
    static void dispatchAsync(std::function<void()> work);
    /// Runs `work` on the main thread once `delay` has passed.
    static void dispatchAfter(std::chrono::milliseconds delay, std::function<void()> work);
    static bool isMainThread();
};

} // namespace platform
