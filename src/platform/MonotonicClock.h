#pragma once

#include <QtGlobal>
#include <chrono>
#include <functional>

namespace platform {

/// The clock every interval is measured with (stale alarms, full-pass periods, value ages,
/// time-outs): it never jumps when the wall clock is set. The wall clock is only displayed.
/// Tests replace it for the whole process with `setSourceForTesting`.
class MonotonicClock {
  public:
    using TimePoint = std::chrono::steady_clock::time_point;
    using Source = std::function<TimePoint()>;

    static TimePoint now();
    /// Whole seconds from `earlier` to `later`, never negative.
    static qint64 secondsBetween(TimePoint earlier, TimePoint later);
    /// Replaces the clock (an empty source: the system's steady clock again). Set it before the
    /// objects under test exist and reset it after; not synchronised with readers.
    static void setSourceForTesting(Source source);
};

} // namespace platform
