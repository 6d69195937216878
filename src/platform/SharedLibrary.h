#pragma once

#include <QString>
#include <dlfcn.h>

namespace platform {

/// A library loaded when first needed instead of linked: each of its users keeps a table of the
/// functions it calls, resolved here. Opened libraries are never closed (what they made lives until
/// the process ends).
struct SharedLibrary {
    /// The library by its file name ("libcurl.so.4"), or null when it cannot be loaded.
    static void* open(const char* fileName) { return dlopen(fileName, RTLD_NOW | RTLD_LOCAL); }
    /// The folder this platform library was loaded from, where the project's own modules lie
    /// beside it (installed, and in the build tree).
    static QString folderOfProjectLibraries();
    /// Sets `function` to the library's `name`; false when it has none.
    template <typename Function> static bool resolve(void* library, const char* name, Function& function) {
        function = reinterpret_cast<Function>(dlsym(library, name));
        return function != nullptr;
    }
    /// A new table of the library's functions, filled by `resolveAll(library, table)` (false when
    /// one is missing); null when the library cannot be opened or lacks a function. Never freed,
    /// as the library is never closed.
    template <typename Table, typename ResolveAll>
    static const Table* load(const char* fileName, ResolveAll resolveAll) {
        void* library = open(fileName);
        if (!library)
            return nullptr;
        auto* table = new Table;
        if (resolveAll(library, *table))
            return table;
        delete table;
        return nullptr;
    }
};

} // namespace platform
