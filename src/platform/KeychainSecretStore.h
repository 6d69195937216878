#pragma once

#include "platform/SecretStore.h"

/// The secret store of the programs: generic-password items of the Secret Service keychain
/// (NVSKeychain), service and account as given.
class KeychainSecretStore : public platform::SecretStore {
  public:
    Lookup find(const QString& service, const QString& account) override;
    bool store(const QString& service, const QString& account, const QString& label,
               const QString& secret) override;
};
