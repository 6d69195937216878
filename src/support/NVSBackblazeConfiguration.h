#pragma once

#include "platform/Error.h"

#include <QString>
#include <QUrl>
#include <optional>

namespace platform {
class UserDefaults;
}

/// Where support archives go: the storage account's application key and the bucket.
///
/// Nothing of it is built in. Each value comes from its environment variable when that is set
/// and not empty, else from its user default; the authorization address falls back to the
/// service's public one. The application key is a secret: it never goes into a log line, the
/// console or an error text (see configurationError()).
class NVSBackblazeConfiguration {
  public:
    static inline const QString KeyIDDefaultsKey = QStringLiteral("SupportUploadKeyID");
    static inline const QString ApplicationKeyDefaultsKey = QStringLiteral("SupportUploadApplicationKey");
    static inline const QString BucketIDDefaultsKey = QStringLiteral("SupportUploadBucketID");
    static inline const QString AuthorizationURLDefaultsKey = QStringLiteral("SupportUploadAuthorizationURL");

    static constexpr const char* KeyIDVariable = "GRAFLINK_SUPPORT_B2_KEY_ID";
    static constexpr const char* ApplicationKeyVariable = "GRAFLINK_SUPPORT_B2_APPLICATION_KEY";
    static constexpr const char* BucketIDVariable = "GRAFLINK_SUPPORT_B2_BUCKET_ID";
    static constexpr const char* AuthorizationURLVariable = "GRAFLINK_SUPPORT_B2_AUTHORIZATION_URL";

    static inline const QString DefaultAuthorizationURL = QStringLiteral("https://api.backblazeb2.com");

    NVSBackblazeConfiguration() = default;
    NVSBackblazeConfiguration(QString keyID, QString applicationKey, QString bucketID,
                              QUrl authorizationURL = QUrl(DefaultAuthorizationURL));

    /// From the process environment and `defaults`.
    static NVSBackblazeConfiguration fromEnvironment(const platform::UserDefaults& defaults);
    /// From the process environment and the standard user defaults.
    static NVSBackblazeConfiguration standard();

    const QString& keyID() const { return m_keyID; }
    const QString& applicationKey() const { return m_applicationKey; }
    const QString& bucketID() const { return m_bucketID; }
    const QUrl& authorizationURL() const { return m_authorizationURL; }

    /// Nothing when an upload can be attempted; otherwise an error whose description names every
    /// environment variable or user default still to set. It names settings, never their values.
    std::optional<platform::Error> configurationError() const;

  private:
    QString m_keyID;
    QString m_applicationKey;
    QString m_bucketID;
    QUrl m_authorizationURL{DefaultAuthorizationURL};
};
