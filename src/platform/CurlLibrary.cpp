#include "platform/CurlLibrary.h"

#include "platform/SharedLibrary.h"

#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>

namespace platform::http {

namespace {

const CurlLibrary* load() {
    // Never closed: connections and handles live until the process ends.
    void* library = SharedLibrary::open("libcurl.so.4");
    if (!library) {
        std::fprintf(stderr, "libcurl (libcurl4) cannot be loaded: %s\n", dlerror());
        std::_Exit(127); // as when a linked library is missing
    }
    auto* loaded = new CurlLibrary;
    bool complete = true;
#define GRAFLINK_CURL_RESOLVE(member, function)                                                              \
    complete = SharedLibrary::resolve(library, #function, loaded->member) && complete;
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
