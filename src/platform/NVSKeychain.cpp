#include "platform/NVSKeychain.h"

#include "platform/BundleInfo.h"

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

int statusFromError(GError* error) {
    if (!error)
        return NVSKeychain::Success;
    int status = NVSKeychain::NotAvailable;
    if (g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED))
        status = NVSKeychain::UserCancelled;
    else if (error->domain == SECRET_ERROR && error->code == SECRET_ERROR_NO_SUCH_OBJECT)
        status = NVSKeychain::ItemNotFound;
    g_error_free(error);
    return status;
}

QByteArray application() {
    return platform::BundleInfo::bundleIdentifier().toUtf8();
}

} // namespace

int NVSKeychain::addOrUpdatePassword(const QString& password, const QString& login, const QString& server,
                                     const QString& label) {
    GError* error = nullptr;
    const QByteArray service = server.toUtf8(), account = login.toUtf8(), app = application();
    // Storing under the same attributes replaces the item: the "duplicate, update it" path.
    secret_password_store_sync(schema(), SECRET_COLLECTION_DEFAULT, label.toUtf8().constData(),
                               password.toUtf8().constData(), nullptr, &error, "service", service.constData(),
                               "account", account.constData(), "application", app.constData(), nullptr);
    return statusFromError(error);
}

int NVSKeychain::deletePassword(const QString& login, const QString& server) {
    GError* error = nullptr;
    const QByteArray service = server.toUtf8(), account = login.toUtf8(), app = application();
    const gboolean removed =
        secret_password_clear_sync(schema(), nullptr, &error, "service", service.constData(), "account",
                                   account.constData(), "application", app.constData(), nullptr);
    if (error)
        return statusFromError(error);
    return removed ? Success : ItemNotFound;
}

std::optional<QVariantMap> NVSKeychain::loginInfo(const QString& server, const QString& userName,
                                                  int* status) {
    GHashTable* attributes = g_hash_table_new(g_str_hash, g_str_equal);
    const QByteArray service = server.toUtf8(), account = userName.toUtf8(), app = application();
    g_hash_table_insert(attributes, const_cast<char*>("service"), const_cast<char*>(service.constData()));
    g_hash_table_insert(attributes, const_cast<char*>("application"), const_cast<char*>(app.constData()));
    if (!userName.isEmpty())
        g_hash_table_insert(attributes, const_cast<char*>("account"), const_cast<char*>(account.constData()));
    GError* error = nullptr;
    GList* found = secret_password_searchv_sync(
        schema(), attributes, SecretSearchFlags(SECRET_SEARCH_LOAD_SECRETS | SECRET_SEARCH_UNLOCK), nullptr,
        &error);
    g_hash_table_unref(attributes);
    std::optional<QVariantMap> result;
    int code = error ? statusFromError(error) : ItemNotFound;
    if (found) {
        auto* item = static_cast<SecretRetrievable*>(found->data);
        QVariantMap info;
        GHashTable* itemAttributes = secret_retrievable_get_attributes(item);
        if (const auto* login = static_cast<const char*>(g_hash_table_lookup(itemAttributes, "account"));
            login && *login)
            info.insert(QStringLiteral("user"), QString::fromUtf8(login));
        g_hash_table_unref(itemAttributes);
        GError* secretError = nullptr;
        if (SecretValue* secret = secret_retrievable_retrieve_secret_sync(item, nullptr, &secretError)) {
            const QString password = QString::fromUtf8(secret_value_get_text(secret));
            if (!password.isEmpty())
                info.insert(QStringLiteral("password"), password);
            secret_value_unref(secret);
            code = Success;
            result = info;
        } else {
            code = statusFromError(secretError);
        }
        g_list_free_full(found, g_object_unref);
    }
    if (status)
        *status = code;
    return result;
}
