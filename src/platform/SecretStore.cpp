#include "platform/SecretStore.h"

#include <mutex>

namespace platform {

namespace {

std::mutex sharedMutex;
std::shared_ptr<SecretStore> sharedStore;

} // namespace

SecretStore::~SecretStore() = default;

std::shared_ptr<SecretStore> SecretStore::shared() {
    std::lock_guard lock(sharedMutex);
    return sharedStore;
}

void SecretStore::setShared(std::shared_ptr<SecretStore> store) {
    std::lock_guard lock(sharedMutex);
    sharedStore = std::move(store);
}

} // namespace platform
