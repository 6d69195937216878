#pragma once

#include "platform/SecretStore.h"

#include <QMap>
#include <QPair>
#include <atomic>
#include <mutex>

namespace testing_support {

/// A secret store in memory, for tests that need no keychain; `available` false answers as a
/// keychain that cannot be reached.
class MemorySecretStore : public platform::SecretStore {
  public:
    Lookup find(const QString& service, const QString& account) override {
        std::lock_guard lock(m_mutex);
        if (!available)
            return {};
        const auto found = m_items.constFind({service, account});
        if (found == m_items.cend())
            return {Status::NotFound, QString()};
        return {Status::Found, *found};
    }
    bool store(const QString& service, const QString& account, const QString& /*label*/,
               const QString& secret) override {
        std::lock_guard lock(m_mutex);
        if (!available)
            return false;
        m_items.insert({service, account}, secret);
        return true;
    }
    /// Every stored secret, for checks that one did (or did not) arrive.
    QList<QString> secrets() const {
        std::lock_guard lock(m_mutex);
        return m_items.values();
    }

    std::atomic<bool> available{true};

  private:
    mutable std::mutex m_mutex;
    QMap<QPair<QString, QString>, QString> m_items;
};

/// A MemorySecretStore that is the shared secret store while this lives; the previous one comes back.
struct SharedMemorySecretStore {
    SharedMemorySecretStore() { platform::SecretStore::setShared(store); }
    ~SharedMemorySecretStore() { platform::SecretStore::setShared(previous); }
    const std::shared_ptr<MemorySecretStore> store = std::make_shared<MemorySecretStore>();
    const std::shared_ptr<platform::SecretStore> previous = platform::SecretStore::shared();
};

} // namespace testing_support
