#pragma once

#include <QString>
#include <QtGlobal>

namespace platform {

class UserDefaults;

/// The largest feed body the program takes in, counted after decompression: feeds come from
/// the internet, and a body that would not fit in memory (or a small gzip body that expands to
/// gigabytes) must fail the fetch rather than the process. Generous enough for election feeds.
class FeedSizeLimit {
  public:
    /// User-defaults key: the limit in bytes.
    static inline const QString Key = QStringLiteral("maximumFeedSize");
    static constexpr qint64 DefaultBytes = qint64(128) * 1024 * 1024;

    /// The limit the defaults set; a missing, zero or negative value gives the default.
    static qint64 bytes(const UserDefaults& defaults);
};

} // namespace platform
