#pragma once

#include <QString>
#include <QStringList>
#include <optional>

/// What differs between the CG server's API generations (`CGServerType` 1 or 2; any other
/// value speaks neither fully: no notification socket, an empty projects path).
class CGServerAPI {
  public:
    static inline const QString WebSocketProtocol = QStringLiteral("v1.1.CGUpdates");

    static QString projectsURLPath(qint32 serverType);
    static QString authorizationRequestVerb(qint32 serverType);
    /// The change-notification socket's path, or nullopt when this generation has none.
    static std::optional<QString> webSocketPath(qint32 serverType);
    static QStringList webSocketProtocols(qint32 serverType);
    /// The body member of a media update.
    static QString moviePathKey(qint32 serverType);
};
