#include "platform/RedactedText.h"

#include <QRegularExpression>
#include <QUrlQuery>

namespace platform {

namespace {

bool mayHoldSecret(const QString& text) {
    return text.contains(QLatin1String("://")) || text.contains(QLatin1Char('='));
}

} // namespace

// The tables below are never destroyed: threads still finishing work while the process exits log
// (and redact) too.
const QStringList& RedactedText::secretQueryKeys() {
    static const QStringList* const keys = new QStringList{
        QStringLiteral("password"),  QStringLiteral("token"),         QStringLiteral("access_token"),
        QStringLiteral("api_key"),   QStringLiteral("apikey"),        QStringLiteral("key"),
        QStringLiteral("secret"),    QStringLiteral("client_secret"), QStringLiteral("sig"),
        QStringLiteral("signature"), QStringLiteral("auth")};
    return *keys;
}

bool RedactedText::isSecretQueryKey(QStringView key) {
    for (const QString& secret : secretQueryKeys())
        if (key.compare(secret, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

QString RedactedText::fromUrl(const QUrl& url) {
    QUrl shown = url;
    if (!shown.password().isEmpty())
        shown.setPassword(Mask);
    if (shown.hasQuery()) {
        QUrlQuery query(shown);
        QList<QPair<QString, QString>> items = query.queryItems(QUrl::FullyEncoded);
        bool masked = false;
        for (auto& [key, value] : items) {
            if (isSecretQueryKey(key)) {
                value = Mask;
                masked = true;
            }
        }
        if (masked) {
            query.setQueryItems(items);
            shown.setQuery(query);
        }
    }
    return shown.toString();
}

QString RedactedText::fromText(const QString& text) {
    if (!mayHoldSecret(text))
        return text;
    // "scheme://user:" then the password up to the last "@" before the host; the authority
    // ends at white space, "/", "?" or "#".
    static const QRegularExpression* const userPassword =
        new QRegularExpression(QStringLiteral(R"(([A-Za-z][A-Za-z0-9+.\-]*://[^\s/?#@:]*:)[^\s/?#]*@)"));
    static const QRegularExpression* const passwordItem = new QRegularExpression(
        QStringLiteral(R"(([?&;](?:%1)=)[^&#\s]*)").arg(secretQueryKeys().join(QLatin1Char('|'))),
        QRegularExpression::CaseInsensitiveOption);
    QString shown = text;
    shown.replace(*userPassword, QStringLiteral("\\1") + Mask + QLatin1Char('@'));
    shown.replace(*passwordItem, QStringLiteral("\\1") + Mask);
    return shown;
}

} // namespace platform
