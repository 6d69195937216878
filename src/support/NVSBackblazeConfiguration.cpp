#include "support/NVSBackblazeConfiguration.h"

#include "platform/UserDefaults.h"
#include "support/NVSBackblazeAPI.h"

#include <QObject>
#include <QStringList>

namespace {

QString setting(const char* variable, const platform::UserDefaults& defaults, const QString& key) {
    const QString fromEnvironment = qEnvironmentVariable(variable).trimmed();
    if (!fromEnvironment.isEmpty())
        return fromEnvironment;
    return defaults.stringForKey(key).value_or(QString()).trimmed();
}

QString describe(const char* variable, const QString& key) {
    return QObject::tr("%1 (or the user default %2)").arg(QLatin1String(variable), key);
}

} // namespace

NVSBackblazeConfiguration::NVSBackblazeConfiguration(QString keyID, QString applicationKey, QString bucketID,
                                                     QUrl authorizationURL)
    : m_keyID(std::move(keyID)), m_applicationKey(std::move(applicationKey)), m_bucketID(std::move(bucketID)),
      m_authorizationURL(std::move(authorizationURL)) {}

NVSBackblazeConfiguration NVSBackblazeConfiguration::fromEnvironment(const platform::UserDefaults& defaults) {
    const QString address = setting(AuthorizationURLVariable, defaults, AuthorizationURLDefaultsKey);
    return NVSBackblazeConfiguration(setting(KeyIDVariable, defaults, KeyIDDefaultsKey),
                                     setting(ApplicationKeyVariable, defaults, ApplicationKeyDefaultsKey),
                                     setting(BucketIDVariable, defaults, BucketIDDefaultsKey),
                                     QUrl(address.isEmpty() ? DefaultAuthorizationURL : address));
}

NVSBackblazeConfiguration NVSBackblazeConfiguration::standard() {
    return fromEnvironment(platform::UserDefaults::standardUserDefaults());
}

std::optional<platform::Error> NVSBackblazeConfiguration::configurationError() const {
    QStringList missing;
    if (m_keyID.isEmpty())
        missing.append(describe(KeyIDVariable, KeyIDDefaultsKey));
    if (m_applicationKey.isEmpty())
        missing.append(describe(ApplicationKeyVariable, ApplicationKeyDefaultsKey));
    if (m_bucketID.isEmpty())
        missing.append(describe(BucketIDVariable, BucketIDDefaultsKey));
    if (!missing.isEmpty()) {
        return platform::Error::make(NVSBackblazeAPI::ErrorDomain, NVSBackblazeAPI::NotConfigured,
                                     QObject::tr("The support upload is not configured. Set %1.")
                                         .arg(missing.join(QStringLiteral("; "))));
    }
    if (!NVSBackblazeAPI::isAcceptableAddress(m_authorizationURL)) {
        return platform::Error::make(
            NVSBackblazeAPI::ErrorDomain, NVSBackblazeAPI::InsecureAddress,
            QObject::tr("The support upload's authorization address must be an https address. Set %1.")
                .arg(describe(AuthorizationURLVariable, AuthorizationURLDefaultsKey)));
    }
    return std::nullopt;
}
