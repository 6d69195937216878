#pragma once

#include <QMap>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <optional>

namespace platform {

namespace http {
struct Request;
}

/// How the requests for a document's feed authenticate, as the document's file keeps it: the
/// scheme, the Basic user name, the names of the custom headers, and the account the secret is
/// kept under. The secret itself (the Basic password, the Bearer token, the custom headers'
/// values) is never part of it: it lives in the secret store under the feed's origin and the
/// account (docs/feeds.md). A plain value.
struct FeedAuthentication {
    enum class Scheme { None, Basic, Bearer, Headers };

    Scheme scheme = Scheme::None;
    /// Basic only.
    QString user;
    /// Headers only, in the order sent.
    QStringList headerNames;
    /// The secret store's account name: a stable identifier made when the scheme is first set.
    QString account;

    bool isEnabled() const { return scheme != Scheme::None; }
    /// Only the fields the scheme uses; an account made when an enabled scheme has none.
    FeedAuthentication normalized() const;
    /// These settings taking the place of `current`: normalized, with the account of `current`
    /// kept when they name none (the secret stays findable when only the other fields change).
    FeedAuthentication replacing(const FeedAuthentication& current) const;

    /// "none", "basic", "bearer", "headers".
    static QString schemeName(Scheme scheme);
    static std::optional<Scheme> schemeNamed(const QString& name);
    /// Whether `name` may name an HTTP header (a non-empty token).
    static bool isValidHeaderName(const QString& name);

    /// The secret store's service of a feed: its origin ("https://host:443"); empty unless the
    /// address is http(s) with a host.
    static QString secretService(const QUrl& feed);
    /// The secret of the Headers scheme: every header's value, in one text.
    static QString headersSecret(const QMap<QString, QString>& values);
    /// Adds the credentials made of this and the stored secret to `request`; false (the request
    /// unchanged) when the secret is not of the form the scheme needs.
    bool addTo(http::Request& request, const QString& secret) const;

    friend bool operator==(const FeedAuthentication&, const FeedAuthentication&) = default;
};

} // namespace platform
