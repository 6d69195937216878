#include "platform/SecretServiceLibrary.h"

#include <dlfcn.h>
#include <mutex>

namespace platform {

namespace {

template <typename Function> bool resolve(void* library, const char* name, Function& function) {
    function = reinterpret_cast<Function>(dlsym(library, name));
    return function != nullptr;
}

SecretServiceLibrary* load() {
    // Never closed: GObject types registered by the library cannot be unregistered.
    void* library = dlopen("libsecret-1.so.0", RTLD_NOW | RTLD_LOCAL);
    if (!library)
        return nullptr;
    auto* loaded = new SecretServiceLibrary;
    const bool complete =
        resolve(library, "secret_password_storev_sync", loaded->passwordStorev) &&
        resolve(library, "secret_password_clearv_sync", loaded->passwordClearv) &&
        resolve(library, "secret_password_searchv_sync", loaded->passwordSearchv) &&
        resolve(library, "secret_retrievable_get_attributes", loaded->retrievableGetAttributes) &&
        resolve(library, "secret_retrievable_retrieve_secret_sync", loaded->retrievableRetrieveSecretSync) &&
        resolve(library, "secret_value_get_text", loaded->valueGetText) &&
        resolve(library, "secret_value_unref", loaded->valueUnref) &&
        resolve(library, "secret_error_get_quark", loaded->errorGetQuark) &&
        resolve(library, "g_io_error_quark", loaded->ioErrorQuark) &&
        resolve(library, "g_object_unref", loaded->objectUnref);
    if (complete)
        return loaded;
    delete loaded;
    return nullptr;
}

} // namespace

const SecretServiceLibrary* SecretServiceLibrary::get() {
    static const SecretServiceLibrary* const library = load();
    return library;
}

} // namespace platform
