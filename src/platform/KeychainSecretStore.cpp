#include "platform/KeychainSecretStore.h"

#include "platform/NVSKeychain.h"

platform::SecretStore::Lookup KeychainSecretStore::find(const QString& service, const QString& account) {
    int status = NVSKeychain::NotAvailable;
    const std::optional<QVariantMap> info = NVSKeychain::loginInfo(service, account, &status);
    if (info && status == NVSKeychain::Success)
        return {Status::Found, info->value(QStringLiteral("password")).toString()};
    return {status == NVSKeychain::ItemNotFound ? Status::NotFound : Status::Unavailable, QString()};
}

bool KeychainSecretStore::store(const QString& service, const QString& account, const QString& label,
                                const QString& secret) {
    return NVSKeychain::addOrUpdatePassword(secret, account, service, label) == NVSKeychain::Success;
}
