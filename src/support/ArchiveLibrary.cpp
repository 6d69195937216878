#include "support/ArchiveLibrary.h"

#include <dlfcn.h>

namespace {

const ArchiveLibrary* load() {
    void* library = dlopen("libarchive.so.13", RTLD_NOW | RTLD_LOCAL);
    if (!library)
        return nullptr;
    auto* loaded = new ArchiveLibrary; // never freed, as the library is never closed
    bool complete = true;
#define GRAFLINK_ARCHIVE_RESOLVE(name)                                                                       \
    loaded->name = reinterpret_cast<decltype(&::name)>(dlsym(library, #name));                               \
    complete = complete && loaded->name;
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
