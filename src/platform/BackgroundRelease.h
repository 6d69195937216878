#pragma once

#include <functional>
#include <memory>

namespace platform {

/// Frees large structures (parsed feeds of hundreds of thousands of blocks) on a thread of its
/// own, so that the thread letting go of one, usually the main thread after a refresh, does not
/// spend tens of milliseconds in free().
///
/// Releases run one at a time, in the order they were handed over. At process exit the release
/// under way finishes (libraries it calls into are still there) and those still waiting are
/// skipped: the system takes the memory back at once.
///
/// Threads: every member may be called from any thread. A release must not need the thread that
/// handed it over (no QObject with thread affinity, no lock that thread holds).
class BackgroundRelease {
  public:
    /// A shared pointer owning `object` whose last owner hands it over to the release thread.
    template <typename T> static std::shared_ptr<T> share(std::unique_ptr<T> object) {
        return std::shared_ptr<T>(object.release(), [](T* released) {
            if (released)
                post([released] { delete released; });
        });
    }

    /// Runs `release` on the release thread.
    static void post(std::function<void()> release);

    /// Returns when everything handed over before the call has been released (tests, and
    /// measurements of memory).
    static void drain();
};

} // namespace platform
