#include "platform/CurlLibrary.h"

#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>

namespace platform::http {

namespace {

const CurlLibrary* load() {
    // Never closed: connections and handles live until the process ends.
    void* library = dlopen("libcurl.so.4", RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        std::fprintf(stderr, "libcurl (libcurl4) cannot be loaded: %s\n", dlerror());
        std::_Exit(127); // as when a linked library is missing
    }
    auto* loaded = new CurlLibrary;
    bool complete = true;
#define GRAFLINK_CURL_RESOLVE(member, function)                                                              \
    loaded->member = reinterpret_cast<decltype(&::function)>(dlsym(library, #function));                     \
    complete = complete && loaded->member;
    GRAFLINK_CURL_FUNCTIONS(GRAFLINK_CURL_RESOLVE)
#undef GRAFLINK_CURL_RESOLVE
    if (!complete) {
        std::fprintf(stderr, "libcurl (libcurl4) is too old: a function is missing\n");
        std::_Exit(127); // as when a linked library is missing
    }
    return loaded;
}

} // namespace

const CurlLibrary& CurlLibrary::get() {
    static const CurlLibrary* const library = load();
    return *library;
}

} // namespace platform::http
