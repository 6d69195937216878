#pragma once

#include "httpserver/HandlerHttpServer.h"

#include <QByteArray>
#include <QHostAddress>
#include <QString>

/// The checks the status server makes before it answers, and the headers every answer carries.
///
/// On loopback, a page on any site the operator opens can reach the server: by posting to
/// 127.0.0.1, or by having its own name resolve to 127.0.0.1 (DNS rebinding) and reading the
/// answers as its own. The Host check refuses the second (the browser sends the site's name), the
/// Origin check refuses web sockets and posts that another site's page opens, and the token
/// guards every action in any case.
class RequestGuard {
  public:
    explicit RequestGuard(QHostAddress listening) : m_listening(std::move(listening)) {}

    /// Beyond loopback every Host passes (the token guards that server). On loopback only the
    /// listening address, "localhost", 127.0.0.1 and [::1], with any port or none.
    bool hostAllowed(const QByteArray& host) const;
    /// Whether `origin` is the page's own: "http://" or "https://" followed by `host` exactly
    /// (a missing Origin is not).
    static bool sameOrigin(const QByteArray& origin, const QByteArray& host);
    /// Whether a query string carries a token: a parameter named like one ("token",
    /// "access_token", "bearer", "auth", "authorization", in any case), or `token` itself.
    static bool queryCarriesToken(const QString& query, const QByteArray& token);
    /// Content-Security-Policy (scripts, styles and sockets of this server only, no framing),
    /// X-Content-Type-Options and Referrer-Policy.
    static const HandlerHttpServer::Headers& responseHeaders();

  private:
    QHostAddress m_listening;
};
