#include "platform/MonotonicClock.h"

#include <algorithm>

namespace platform {

namespace {

MonotonicClock::Source& source() {
    static MonotonicClock::Source installed;
    return installed;
}

} // namespace

MonotonicClock::TimePoint MonotonicClock::now() {
    const Source& installed = source();
    return installed ? installed() : std::chrono::steady_clock::now();
}

qint64 MonotonicClock::secondsBetween(TimePoint earlier, TimePoint later) {
    return std::max<qint64>(0, std::chrono::duration_cast<std::chrono::seconds>(later - earlier).count());
}

void MonotonicClock::setSourceForTesting(Source replacement) {
    source() = std::move(replacement);
}

} // namespace platform
