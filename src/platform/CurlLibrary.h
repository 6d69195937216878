#pragma once

#include <curl/curl.h>

namespace platform::http {

/// libcurl, loaded once an HTTP client is made rather than when the program starts: with the TLS,
/// Kerberos, LDAP, SSH and IDN libraries behind it, it was over a third of the start of every
/// command, also of those that never make a request. The functions the HTTP client calls, resolved
/// from the loaded library; the declarations are libcurl's own.
///
/// Threads: get() may be called from any thread; the library stays loaded for the process's life.
struct CurlLibrary {
#define GRAFLINK_CURL_FUNCTIONS(X)                                                                           \
    X(globalInit, curl_global_init)                                                                          \
    X(easyInit, curl_easy_init)                                                                              \
    X(easyReset, curl_easy_reset)                                                                            \
    X(easyCleanup, curl_easy_cleanup)                                                                        \
    X(easySetopt, curl_easy_setopt)                                                                          \
    X(easyGetinfo, curl_easy_getinfo)                                                                        \
    X(easyStrerror, curl_easy_strerror)                                                                      \
    X(slistAppend, curl_slist_append)                                                                        \
    X(slistFreeAll, curl_slist_free_all)                                                                     \
    X(multiInit, curl_multi_init)                                                                            \
    X(multiCleanup, curl_multi_cleanup)                                                                      \
    X(multiSetopt, curl_multi_setopt)                                                                        \
    X(multiAddHandle, curl_multi_add_handle)                                                                 \
    X(multiRemoveHandle, curl_multi_remove_handle)                                                           \
    X(multiPerform, curl_multi_perform)                                                                      \
    X(multiPoll, curl_multi_poll)                                                                            \
    X(multiWakeup, curl_multi_wakeup)                                                                        \
    X(multiTimeout, curl_multi_timeout)                                                                      \
    X(multiInfoRead, curl_multi_info_read)                                                                   \
    X(multiStrerror, curl_multi_strerror)
#define GRAFLINK_CURL_MEMBER(member, function) decltype(&::function) member = nullptr;
    GRAFLINK_CURL_FUNCTIONS(GRAFLINK_CURL_MEMBER)
#undef GRAFLINK_CURL_MEMBER

    /// The library. A machine without it cannot make requests at all: the program says so on
    /// standard error and ends, as it would have failed to start when the library was linked.
    static const CurlLibrary& get();

    /// Starts mapping the library and the libraries behind it on a thread of its own, once per
    /// process, so that the first get() finds most of the work done: a client calls it when it is
    /// made, and the caller goes on (reading a document, say) meanwhile. Only the mapping: the
    /// library is initialised, and a missing one reported, by the thread that first needs it. The
    /// process's end waits for a mapping under way.
    static void preload();
};

} // namespace platform::http
