#include "feed/FeedSizeLimit.h"

#include "platform/UserDefaults.h"

namespace platform {

qint64 FeedSizeLimit::bytes(const UserDefaults& defaults) {
    const qint64 configured = defaults.integerForKey(Key);
    return configured > 0 ? configured : DefaultBytes;
}

} // namespace platform
