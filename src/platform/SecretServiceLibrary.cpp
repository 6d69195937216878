#include "platform/SecretServiceLibrary.h"

#include "platform/SharedLibrary.h"

namespace platform {

namespace {

const SecretServiceLibrary* load() {
    void* library = SharedLibrary::open("libsecret-1.so.0");
    if (!library)
        return nullptr;
    auto* loaded = new SecretServiceLibrary; // never freed, as the library is never closed
    bool complete = true;
#define GRAFLINK_SECRET_RESOLVE(member, function)                                                            \
    complete = SharedLibrary::resolve(library, #function, loaded->member) && complete;
    GRAFLINK_SECRET_FUNCTIONS(GRAFLINK_SECRET_RESOLVE)
#undef GRAFLINK_SECRET_RESOLVE
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
