#include "platform/SecretServiceLibrary.h"

#include "platform/SharedLibrary.h"

namespace platform {

const SecretServiceLibrary* SecretServiceLibrary::get() {
    static const SecretServiceLibrary* const loaded = SharedLibrary::load<SecretServiceLibrary>(
        "libsecret-1.so.0", [](void* library, SecretServiceLibrary& table) {
            bool complete = true;
#define GRAFLINK_SECRET_RESOLVE(member, function)                                                            \
    complete = SharedLibrary::resolve(library, #function, table.member) && complete;
            GRAFLINK_SECRET_FUNCTIONS(GRAFLINK_SECRET_RESOLVE)
#undef GRAFLINK_SECRET_RESOLVE
            return complete;
        });
    return loaded;
}

} // namespace platform
