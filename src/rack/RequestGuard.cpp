#include "rack/RequestGuard.h"

#include <QUrlQuery>

namespace {

// The host part of a Host header: "[::1]:80" → "::1", "Localhost:9464" → "localhost"; empty when
// it is not one.
QString hostName(const QByteArray& host) {
    const QString text = QString::fromLatin1(host.trimmed()).toLower();
    if (text.startsWith(QLatin1Char('['))) {
        const qsizetype end = text.indexOf(QLatin1Char(']'));
        const QString rest = text.mid(end + 1);
        if (end < 0 || !(rest.isEmpty() || rest.startsWith(QLatin1Char(':'))))
            return QString();
        return text.mid(1, end - 1);
    }
    const qsizetype colon = text.indexOf(QLatin1Char(':'));
    if (colon >= 0 && text.indexOf(QLatin1Char(':'), colon + 1) >= 0)
        return QString(); // an IPv6 address needs its brackets
    return colon < 0 ? text : text.left(colon);
}

} // namespace

bool RequestGuard::hostAllowed(const QByteArray& host) const {
    if (!m_listening.isLoopback())
        return true;
    const QString name = hostName(host);
    if (name == QLatin1String("localhost"))
        return true;
    const QHostAddress address(name);
    if (address.isNull())
        return false;
    return address.isEqual(m_listening, QHostAddress::TolerantConversion) ||
           address.isEqual(QHostAddress(QHostAddress::LocalHost), QHostAddress::TolerantConversion) ||
           address.isEqual(QHostAddress(QHostAddress::LocalHostIPv6));
}

bool RequestGuard::sameOrigin(const QByteArray& origin, const QByteArray& host) {
    const QByteArray expected = host.trimmed().toLower();
    if (expected.isEmpty())
        return false;
    const QByteArray given = origin.trimmed().toLower();
    return given == "http://" + expected || given == "https://" + expected;
}

bool RequestGuard::queryCarriesToken(const QString& query, const QByteArray& token) {
    if (query.isEmpty())
        return false;
    static const QStringList names{QStringLiteral("token"), QStringLiteral("access_token"),
                                   QStringLiteral("bearer"), QStringLiteral("auth"),
                                   QStringLiteral("authorization")};
    const QUrlQuery items(query);
    const QString secret = QString::fromUtf8(token);
    for (const auto& [name, value] : items.queryItems(QUrl::FullyDecoded)) {
        if (names.contains(name.toLower()) ||
            (!secret.isEmpty() && (name.contains(secret) || value.contains(secret))))
            return true;
    }
    return false;
}

const HandlerHttpServer::Headers& RequestGuard::responseHeaders() {
    static const HandlerHttpServer::Headers headers{
        {QByteArrayLiteral("Content-Security-Policy"),
         QByteArrayLiteral("default-src 'self'; frame-ancestors 'none'")},
        {QByteArrayLiteral("X-Content-Type-Options"), QByteArrayLiteral("nosniff")},
        {QByteArrayLiteral("Referrer-Policy"), QByteArrayLiteral("no-referrer")}};
    return headers;
}
