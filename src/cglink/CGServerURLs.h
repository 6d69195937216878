#pragma once

#include <QString>
#include <QUrl>
#include <optional>

/// The URLs of the CG server's HTTP API and notification socket for one host, port and API
/// generation. Identifiers, password and token are percent-encoded (every byte outside the
/// unreserved set), so a value holding "&", "#", "?", "/" or a space cannot change the request;
/// plain alphanumeric values give the unencoded URL. The host is used as given; an IPv6 literal
/// ("::1", with or without brackets) is written in brackets. An invalid result (for example a
/// host with a space) is an empty QUrl: the caller sends nothing.
class CGServerURLs {
  public:
    CGServerURLs(QString host, qint32 port, qint32 serverType);

    /// "http://{host}:{port}/{projects}"
    QUrl projects() const;
    /// "http://{host}:{port}/{projects}/{project}/items"
    QUrl items(const QString& projectID) const;
    /// "http://{host}:{port}/{verb}?password={password}"
    QUrl authorization(const QString& password) const;
    /// "http://{host}:{port}/unlock?password={password}", whatever the generation.
    QUrl mediaAuthorization(const QString& password) const;
    /// "http://{host}:{port}/{projects}/{project}/items/{item}", then "?token={token}" when given.
    QUrl update(const QString& projectID, const QString& itemID, const std::optional<QString>& token) const;
    /// "ws://{host}:{port}"
    QUrl webSocketBase() const;
    /// The base followed by "/" and `path`, each segment percent-encoded.
    QUrl webSocket(const QString& path) const;

    /// Every byte outside the unreserved characters percent-encoded.
    static QByteArray encodeComponent(const QString& value);

  private:
    QByteArray httpOrigin() const;
    static QUrl parse(const QByteArray& text);

    QString m_host;
    qint32 m_port;
    qint32 m_serverType;
};
