#include "support/ArchiveLibrary.h"

#include "platform/SharedLibrary.h"

namespace {

const ArchiveLibrary* load() {
    void* library = platform::SharedLibrary::open("libarchive.so.13");
    if (!library)
        return nullptr;
    auto* loaded = new ArchiveLibrary; // never freed, as the library is never closed
    bool complete = true;
#define GRAFLINK_ARCHIVE_RESOLVE(name)                                                                       \
    complete = platform::SharedLibrary::resolve(library, #name, loaded->name) && complete;
    GRAFLINK_ARCHIVE_FUNCTIONS(GRAFLINK_ARCHIVE_RESOLVE)
#undef GRAFLINK_ARCHIVE_RESOLVE
    if (complete)
        return loaded;
    delete loaded;
    return nullptr;
}

} // namespace

const ArchiveLibrary* ArchiveLibrary::get() {
    static const ArchiveLibrary* const library = load();
    return library;
}
