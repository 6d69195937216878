#pragma once

#include <QString>
#include <QVariantMap>
#include <optional>

/// Generic-password items of the Secret Service (libsecret): service = server, account = login,
/// application = the main bundle's identifier. Results are keychain status codes.
/// Blocking calls; any thread.
class NVSKeychain {
  public:
    static constexpr int Success = 0;
    static constexpr int UserCancelled = -128;
    static constexpr int NotAvailable = -25291;
    static constexpr int DuplicateItem = -25299;
    static constexpr int ItemNotFound = -25300;

    /// Stores or replaces the item.
    static int addOrUpdatePassword(const QString& password, const QString& login, const QString& server,
                                   const QString& label);
    static int deletePassword(const QString& login, const QString& server);
    /// {"user", "password"} each when not empty; nullopt when nothing matches or on failure.
    static std::optional<QVariantMap> loginInfo(const QString& server, const QString& userName, int* status);
};
