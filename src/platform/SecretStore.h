#pragma once

#include <QString>
#include <memory>

namespace platform {

/// Where secrets are kept, each item found by a service and an account name: the Secret Service
/// keychain in the programs (installed at start), a store of their own in tests. Implementations
/// block and may be called from any thread; never call them on a thread a user waits on.
class SecretStore {
  public:
    enum class Status { Found, NotFound, Unavailable };
    struct Lookup {
        Status status = Status::Unavailable;
        QString secret;
    };

    virtual ~SecretStore();

    virtual Lookup find(const QString& service, const QString& account) = 0;
    /// Stores or replaces the item; false when the store could not take it.
    virtual bool store(const QString& service, const QString& account, const QString& label,
                       const QString& secret) = 0;

    /// The process's store; none until one is installed. Thread-safe.
    static std::shared_ptr<SecretStore> shared();
    static void setShared(std::shared_ptr<SecretStore> store);
};

} // namespace platform
