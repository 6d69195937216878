#pragma once

#include <libsecret/secret.h>

namespace platform {

/// libsecret, loaded the first time the keychain is used rather than when the program starts:
/// with GIO and GObject behind it, it is a tenth of the start of a command that never touches a
/// secret. The functions the keychain calls, resolved from the loaded library; the declarations
/// come from libsecret's own header.
///
/// Threads: get() may be called from any thread; the library stays loaded for the process's life.
struct SecretServiceLibrary {
#define GRAFLINK_SECRET_FUNCTIONS(X)                                                                         \
    X(passwordStorev, secret_password_storev_sync)                                                           \
    X(passwordClearv, secret_password_clearv_sync)                                                           \
    X(passwordSearchv, secret_password_searchv_sync)                                                         \
    X(retrievableGetAttributes, secret_retrievable_get_attributes)                                           \
    X(retrievableRetrieveSecretSync, secret_retrievable_retrieve_secret_sync)                                \
    X(valueGetText, secret_value_get_text)                                                                   \
    X(valueUnref, secret_value_unref)                                                                        \
    X(errorGetQuark, secret_error_get_quark)                                                                 \
    X(ioErrorQuark, g_io_error_quark)                                                                        \
    X(objectUnref, g_object_unref)
#define GRAFLINK_SECRET_MEMBER(member, function) decltype(&::function) member = nullptr;
    GRAFLINK_SECRET_FUNCTIONS(GRAFLINK_SECRET_MEMBER)
#undef GRAFLINK_SECRET_MEMBER

    /// The library, or null when it cannot be loaded (not installed): the keychain is then not
    /// available.
    static const SecretServiceLibrary* get();
};

} // namespace platform
