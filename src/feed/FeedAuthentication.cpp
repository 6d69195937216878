#include "feed/FeedAuthentication.h"

#include "platform/HttpRequest.h"
#include "platform/Uuid.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <iterator>

namespace platform {

namespace {

const QString SchemeNames[] = {QStringLiteral("none"), QStringLiteral("basic"), QStringLiteral("bearer"),
                               QStringLiteral("headers")};

} // namespace

FeedAuthentication FeedAuthentication::normalized() const {
    FeedAuthentication result;
    if (!isEnabled())
        return result;
    result.scheme = scheme;
    result.account = account.isEmpty() ? Uuid::createString() : account;
    if (scheme == Scheme::Basic)
        result.user = user;
    if (scheme == Scheme::Headers)
        result.headerNames = headerNames;
    return result;
}

FeedAuthentication FeedAuthentication::replacing(const FeedAuthentication& current) const {
    FeedAuthentication result = *this;
    if (result.account.isEmpty())
        result.account = current.account;
    return result.normalized();
}

QString FeedAuthentication::schemeName(Scheme scheme) {
    return SchemeNames[int(scheme)];
}

std::optional<FeedAuthentication::Scheme> FeedAuthentication::schemeNamed(const QString& name) {
    for (int i = 0; i < int(std::size(SchemeNames)); ++i) {
        if (SchemeNames[i] == name)
            return Scheme(i);
    }
    return std::nullopt;
}

bool FeedAuthentication::isValidHeaderName(const QString& name) {
    static const QString symbols = QStringLiteral("!#$%&'*+-.^_`|~");
    return !name.isEmpty() && std::all_of(name.begin(), name.end(), [](QChar c) {
        return c.unicode() < 128 && (c.isLetterOrNumber() || symbols.contains(c));
    });
}

QString FeedAuthentication::secretService(const QUrl& feed) {
    const QString scheme = feed.scheme().toLower();
    if (!feed.isValid() || feed.host().isEmpty() ||
        (scheme != QLatin1String("http") && scheme != QLatin1String("https")))
        return QString();
    QUrl origin;
    origin.setScheme(scheme);
    origin.setHost(feed.host().toLower());
    origin.setPort(feed.port(scheme == QLatin1String("https") ? 443 : 80));
    return origin.toString(QUrl::FullyEncoded);
}

QString FeedAuthentication::headersSecret(const QMap<QString, QString>& values) {
    QJsonObject object;
    for (auto it = values.begin(); it != values.end(); ++it)
        object.insert(it.key(), it.value());
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

bool FeedAuthentication::addTo(http::Request& request, const QString& secret) const {
    switch (scheme) {
    case Scheme::None:
        return true;
    case Scheme::Basic:
        request.credentials =
            http::Request::Credentials{user, secret, http::Request::Credentials::Offer::BasicAtOnce};
        return true;
    case Scheme::Bearer:
        request.bearerToken = secret;
        return true;
    case Scheme::Headers: {
        const QJsonDocument document = QJsonDocument::fromJson(secret.toUtf8());
        if (!document.isObject())
            return false;
        const QJsonObject values = document.object();
        // A header whose value was never stored is not sent.
        for (const QString& name : headerNames) {
            if (values.value(name).isString())
                request.secretHeaders.append(name.toUtf8(), values.value(name).toString().toUtf8());
        }
        return true;
    }
    }
    return false;
}

} // namespace platform
