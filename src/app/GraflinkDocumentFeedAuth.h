#pragma once

#include "feed/FeedAuthentication.h"

#include <QVariantMap>

/// The feed authentication in a Graflink document's file: four keys, written only when a scheme
/// is set, so a document without authentication is stored exactly as before they existed.
class GraflinkDocumentFeedAuth {
  public:
    static inline const QString SchemeKey = QStringLiteral("feedAuthScheme");
    static inline const QString UserKey = QStringLiteral("feedAuthUser");
    static inline const QString HeaderNamesKey = QStringLiteral("feedAuthHeaderNames");
    static inline const QString AccountKey = QStringLiteral("feedAuthAccount");

    /// No authentication when the keys are missing, or the scheme is not one this version knows.
    static platform::FeedAuthentication read(const QVariantMap& dictionary);
    /// Replaces the keys in `dictionary` by those of `settings` (none when it is off).
    static void write(const platform::FeedAuthentication& settings, QVariantMap& dictionary);
};
