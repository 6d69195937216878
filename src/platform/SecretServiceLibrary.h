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
    decltype(&secret_password_storev_sync) passwordStorev = nullptr;
    decltype(&secret_password_clearv_sync) passwordClearv = nullptr;
    decltype(&secret_password_searchv_sync) passwordSearchv = nullptr;
    decltype(&secret_retrievable_get_attributes) retrievableGetAttributes = nullptr;
    decltype(&secret_retrievable_retrieve_secret_sync) retrievableRetrieveSecretSync = nullptr;
    decltype(&secret_value_get_text) valueGetText = nullptr;
    decltype(&secret_value_unref) valueUnref = nullptr;
    decltype(&secret_error_get_quark) errorGetQuark = nullptr;
    decltype(&g_io_error_quark) ioErrorQuark = nullptr;
    decltype(&g_object_unref) objectUnref = nullptr;

    /// The library, or null when it cannot be loaded (not installed): the keychain is then not
    /// available.
    static const SecretServiceLibrary* get();
};

} // namespace platform
