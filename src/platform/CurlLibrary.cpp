#include "platform/CurlLibrary.h"

#include "platform/FatalErrorHandlers.h"
#include "platform/SharedLibrary.h"

#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>
#include <pthread.h>
#include <thread>

namespace platform::http {

namespace {

constexpr const char* LibraryName = "libcurl.so.4";

const CurlLibrary* load() {
    // Never closed: connections and handles live until the process ends.
    void* library = SharedLibrary::open(LibraryName);
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

// The thread that maps the library ahead of need, joined when the process ends: static
// destructors and the libraries' own clean-up must not run beside a mapping.
struct Preloader {
    std::thread thread;
    ~Preloader() {
        if (thread.joinable())
            thread.join();
    }
};

} // namespace

const CurlLibrary& CurlLibrary::get() {
    static const CurlLibrary* const library = load();
    return *library;
}

void CurlLibrary::preload() {
    static Preloader preloader{std::thread([] {
        pthread_setname_np(pthread_self(), "libcurl preload");
        // The loader's lock is held for the whole mapping: the crash handlers' set-up, which opens
        // the unwinder under that lock, would wait for it.
        FatalErrorHandlers::openUnwinder();
        // Not closed: the library stays mapped for get(), which opens it again without a cost.
        SharedLibrary::open(LibraryName);
    })};
}

} // namespace platform::http
