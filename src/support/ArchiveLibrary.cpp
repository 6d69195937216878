#include "support/ArchiveLibrary.h"

#include "platform/SharedLibrary.h"

const ArchiveLibrary* ArchiveLibrary::get() {
    static const ArchiveLibrary* const loaded = platform::SharedLibrary::load<ArchiveLibrary>(
        "libarchive.so.13", [](void* library, ArchiveLibrary& table) {
            bool complete = true;
#define GRAFLINK_ARCHIVE_RESOLVE(name)                                                                       \
    complete = platform::SharedLibrary::resolve(library, #name, table.name) && complete;
            GRAFLINK_ARCHIVE_FUNCTIONS(GRAFLINK_ARCHIVE_RESOLVE)
#undef GRAFLINK_ARCHIVE_RESOLVE
            return complete;
        });
    return loaded;
}
