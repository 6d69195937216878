#include "platform/RedactedText.h"

#include <QRegularExpression>
#include <QUrlQuery>

namespace platform {

namespace {

const QString PasswordQueryKey = QStringLiteral("password");

bool mayHoldSecret(const QString& text) {
    return text.contains(QLatin1String("://")) || text.contains(PasswordQueryKey, Qt::CaseInsensitive);
}

} // namespace

QString RedactedText::fromUrl(const QUrl& url) {
    QUrl shown = url;
    if (!shown.password().isEmpty())
        shown.setPassword(Mask);
    if (shown.hasQuery()) {
        QUrlQuery query(shown);
        QList<QPair<QString, QString>> items = query.queryItems(QUrl::FullyEncoded);
        bool masked = false;
        for (auto& [key, value] : items) {
            if (key.compare(PasswordQueryKey, Qt::CaseInsensitive) == 0) {
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
    static const QRegularExpression userPassword(
        QStringLiteral(R"(([A-Za-z][A-Za-z0-9+.\-]*://[^\s/?#@:]*:)[^\s/?#]*@)"));
    static const QRegularExpression passwordItem(QStringLiteral(R"(([?&;]password=)[^&#\s]*)"),
                                                 QRegularExpression::CaseInsensitiveOption);
    QString shown = text;
    shown.replace(userPassword, QStringLiteral("\\1") + Mask + QLatin1Char('@'));
    shown.replace(passwordItem, QStringLiteral("\\1") + Mask);
    return shown;
}

} // namespace platform
