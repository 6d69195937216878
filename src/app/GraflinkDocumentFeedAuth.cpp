#include "app/GraflinkDocumentFeedAuth.h"

using platform::FeedAuthentication;

FeedAuthentication GraflinkDocumentFeedAuth::read(const QVariantMap& dictionary) {
    const auto text = [&](const QString& key) {
        const QVariant value = dictionary.value(key);
        return value.typeId() == QMetaType::QString ? value.toString() : QString();
    };
    FeedAuthentication settings;
    settings.scheme =
        FeedAuthentication::schemeNamed(text(SchemeKey)).value_or(FeedAuthentication::Scheme::None);
    settings.user = text(UserKey);
    settings.account = text(AccountKey);
    if (dictionary.value(HeaderNamesKey).typeId() == QMetaType::QVariantList) {
        for (const QVariant& name : dictionary.value(HeaderNamesKey).toList()) {
            if (name.typeId() == QMetaType::QString && FeedAuthentication::isValidHeaderName(name.toString()))
                settings.headerNames.append(name.toString());
        }
    }
    return settings.normalized();
}

void GraflinkDocumentFeedAuth::write(const FeedAuthentication& settings, QVariantMap& dictionary) {
    for (const QString& key : {SchemeKey, UserKey, HeaderNamesKey, AccountKey})
        dictionary.remove(key);
    if (!settings.isEnabled())
        return;
    dictionary.insert(SchemeKey, FeedAuthentication::schemeName(settings.scheme));
    dictionary.insert(AccountKey, settings.account);
    if (settings.scheme == FeedAuthentication::Scheme::Basic)
        dictionary.insert(UserKey, settings.user);
    if (settings.scheme == FeedAuthentication::Scheme::Headers)
        dictionary.insert(HeaderNamesKey, QVariant(settings.headerNames).toList());
}
