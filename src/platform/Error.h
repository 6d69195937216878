#pragma once

#include <QString>
#include <QVariantMap>

namespace platform {

/// An error as a value: domain, integer code and user information. Operations that can fail
/// return an empty result and fill an optional `Error*` out-parameter; nothing throws across
/// a public interface.
struct Error {
    QString domain;
    int code = 0;
    QVariantMap userInfo;

    static inline const QString LocalizedDescriptionKey = QStringLiteral("NSLocalizedDescription");
    static inline const QString LocalizedFailureReasonKey = QStringLiteral("NSLocalizedFailureReason");

    /// Domains used by the platform layer itself.
    static inline const QString CurlDomain = QStringLiteral("libcurl");
    static inline const QString XmlDomain = QStringLiteral("libxml2");
    static inline const QString JsonDomain = QStringLiteral("json");
    static inline const QString PropertyListDomain = QStringLiteral("propertylist");
    static inline const QString FileDomain = QStringLiteral("file");

    Error() = default;
    Error(QString errorDomain, int errorCode, QVariantMap info = {})
        : domain(std::move(errorDomain)), code(errorCode), userInfo(std::move(info)) {}

    /// An error whose only user information is a description.
    static Error make(const QString& errorDomain, int errorCode, const QString& description);

    /// The description when one was given, else a generic text naming domain and code.
    QString localizedDescription() const;
    /// The failure reason, or an empty string.
    QString localizedFailureReason() const;
};

/// Fills `out` when the caller asked for the error.
inline void setError(Error* out, Error value) {
    if (out)
        *out = std::move(value);
}

} // namespace platform
