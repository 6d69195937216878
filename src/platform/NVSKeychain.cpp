#include "platform/NVSKeychain.h"

#include "platform/BundleInfo.h"
#include "platform/SecretServiceLibrary.h"

#include <libsecret/secret.h>

namespace {

const SecretSchema* schema() {
    static const SecretSchema value = {"com.norvanemedia.GenericPassword",
                                       SECRET_SCHEMA_NONE,
                                       {{"service", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                        {"account", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                        {"application", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                        {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING}},
                                       0,
                                       nullptr,
                                       nullptr,
                                       nullptr,
                                       nullptr,
                                       nullptr,
                                       nullptr,
                                       nullptr};
    return &value;
}

int statusFromError(const platform::SecretServiceLibrary& secrets, GError* error) {
    if (!error)
        return NVSKeychain::Success;
    int status = NVSKeychain::NotAvailable;
    if (g_error_matches(error, secrets.ioErrorQuark(), G_IO_ERROR_CANCELLED))
        status = NVSKeychain::UserCancelled;
    else if (error->domain == secrets.errorGetQuark() && error->code == SECRET_ERROR_NO_SUCH_OBJECT)
        status = NVSKeychain::ItemNotFound;
    g_error_free(error);
    return status;
}

QByteArray application() {
    return platform::BundleInfo::bundleIdentifier().toUtf8();
}

/// The attributes that name an item; the strings must outlive the table. A search leaves out an
/// empty account (any account); storing and clearing name it even when empty.
enum class EmptyAccount { Named, LeftOut };
GHashTable* attributesOf(const QByteArray& service, const QByteArray& account, const QByteArray& app,
                         EmptyAccount empty) {
    GHashTable* attributes = g_hash_table_new(g_str_hash, g_str_equal);
    g_hash_table_insert(attributes, const_cast<char*>("service"), const_cast<char*>(service.constData()));
    g_hash_table_insert(attributes, const_cast<char*>("application"), const_cast<char*>(app.constData()));
    if (!account.isEmpty() || empty == EmptyAccount::Named)
        g_hash_table_insert(attributes, const_cast<char*>("account"), const_cast<char*>(account.constData()));
    return attributes;
}

} // namespace

int NVSKeychain::addOrUpdatePassword(const QString& password, const QString& login, const QString& server,
                                     const QString& label) {
    const platform::SecretServiceLibrary* secrets = platform::SecretServiceLibrary::get();
    if (!secrets)
        return NotAvailable;
    GError* error = nullptr;
    const QByteArray service = server.toUtf8(), account = login.toUtf8(), app = application();
    GHashTable* attributes = attributesOf(service, account, app, EmptyAccount::Named);
    // Storing under the same attributes replaces the item: the "duplicate, update it" path.
    secrets->passwordStorev(schema(), attributes, SECRET_COLLECTION_DEFAULT, label.toUtf8().constData(),
                            password.toUtf8().constData(), nullptr, &error);
    g_hash_table_unref(attributes);
    return statusFromError(*secrets, error);
}

int NVSKeychain::deletePassword(const QString& login, const QString& server) {
    const platform::SecretServiceLibrary* secrets = platform::SecretServiceLibrary::get();
    if (!secrets)
        return NotAvailable;
    GError* error = nullptr;
    const QByteArray service = server.toUtf8(), account = login.toUtf8(), app = application();
    GHashTable* attributes = attributesOf(service, account, app, EmptyAccount::Named);
    const gboolean removed = secrets->passwordClearv(schema(), attributes, nullptr, &error);
    g_hash_table_unref(attributes);
    if (error)
        return statusFromError(*secrets, error);
    return removed ? Success : ItemNotFound;
}

std::optional<QVariantMap> NVSKeychain::loginInfo(const QString& server, const QString& userName,
                                                  int* status) {
    const platform::SecretServiceLibrary* secrets = platform::SecretServiceLibrary::get();
    if (!secrets) {
        if (status)
            *status = NotAvailable;
        return std::nullopt;
    }
    const QByteArray service = server.toUtf8(), account = userName.toUtf8(), app = application();
    GHashTable* attributes = attributesOf(service, account, app, EmptyAccount::LeftOut);
    GError* error = nullptr;
    GList* found = secrets->passwordSearchv(
        schema(), attributes, SecretSearchFlags(SECRET_SEARCH_LOAD_SECRETS | SECRET_SEARCH_UNLOCK), nullptr,
        &error);
    g_hash_table_unref(attributes);
    std::optional<QVariantMap> result;
    int code = error ? statusFromError(*secrets, error) : ItemNotFound;
    if (found) {
        auto* item = static_cast<SecretRetrievable*>(found->data);
        QVariantMap info;
        GHashTable* itemAttributes = secrets->retrievableGetAttributes(item);
        if (const auto* login = static_cast<const char*>(g_hash_table_lookup(itemAttributes, "account"));
            login && *login)
            info.insert(QStringLiteral("user"), QString::fromUtf8(login));
        g_hash_table_unref(itemAttributes);
        GError* secretError = nullptr;
        if (SecretValue* secret = secrets->retrievableRetrieveSecretSync(item, nullptr, &secretError)) {
            const QString password = QString::fromUtf8(secrets->valueGetText(secret));
            if (!password.isEmpty())
                info.insert(QStringLiteral("password"), password);
            secrets->valueUnref(secret);
            code = Success;
            result = info;
        } else {
            code = statusFromError(*secrets, secretError);
        }
        g_list_free_full(found, secrets->objectUnref);
    }
    if (status)
        *status = code;
    return result;
}
