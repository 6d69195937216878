#include "cglink/CGServerURLs.h"

#include "cglink/CGServerAPI.h"

CGServerURLs::CGServerURLs(QString host, qint32 port, qint32 serverType)
    : m_host(std::move(host)), m_port(port), m_serverType(serverType) {}

QByteArray CGServerURLs::encodeComponent(const QString& value) {
    return QUrl::toPercentEncoding(value);
}

QUrl CGServerURLs::parse(const QByteArray& text) {
    const QUrl url = QUrl::fromEncoded(text, QUrl::StrictMode);
    return url.isValid() && !url.host().isEmpty() ? url : QUrl();
}

QByteArray CGServerURLs::httpOrigin() const {
    // Through QUrl, as for the socket: an IPv6 literal ("::1") is bracketed, an unusable host
    // gives an empty origin and so no URL.
    QUrl origin;
    origin.setScheme(QStringLiteral("http"));
    origin.setHost(m_host);
    origin.setPort(m_port);
    return origin.isValid() && !origin.host().isEmpty() ? origin.toEncoded() : QByteArray();
}

QUrl CGServerURLs::projects() const {
    return parse(httpOrigin() + '/' + CGServerAPI::projectsURLPath(m_serverType).toUtf8());
}

QUrl CGServerURLs::items(const QString& projectID) const {
    return parse(httpOrigin() + '/' + CGServerAPI::projectsURLPath(m_serverType).toUtf8() + '/' +
                 encodeComponent(projectID) + "/items");
}

QUrl CGServerURLs::authorization(const QString& password) const {
    return parse(httpOrigin() + '/' + CGServerAPI::authorizationRequestVerb(m_serverType).toUtf8() +
                 "?password=" + encodeComponent(password));
}

QUrl CGServerURLs::mediaAuthorization(const QString& password) const {
    return parse(httpOrigin() + "/unlock?password=" + encodeComponent(password));
}

QUrl CGServerURLs::update(const QString& projectID, const QString& itemID,
                          const std::optional<QString>& token) const {
    QByteArray text = httpOrigin() + '/' + CGServerAPI::projectsURLPath(m_serverType).toUtf8() + '/' +
                      encodeComponent(projectID) + "/items/" + encodeComponent(itemID);
    if (token)
        text += "?token=" + encodeComponent(*token);
    return parse(text);
}

QUrl CGServerURLs::webSocketBase() const {
    QUrl url;
    url.setScheme(QStringLiteral("ws"));
    url.setHost(m_host);
    url.setPort(m_port);
    return url.isValid() && !url.host().isEmpty() ? url : QUrl();
}

QUrl CGServerURLs::webSocket(const QString& path) const {
    const QUrl base = webSocketBase();
    if (base.isEmpty())
        return QUrl();
    QByteArray encodedPath;
    for (const QString& segment : path.split(QLatin1Char('/')))
        encodedPath += '/' + encodeComponent(segment);
    return parse(base.toEncoded() + encodedPath);
}
