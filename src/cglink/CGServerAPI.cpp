#include "cglink/CGServerAPI.h"

QString CGServerAPI::projectsURLPath(qint32 serverType) {
    switch (serverType) {
    case 1:
        return QStringLiteral("projects");
    case 2:
        return QStringLiteral("playback/cg_projects");
    default:
        return QString();
    }
}

QString CGServerAPI::authorizationRequestVerb(qint32 serverType) {
    return serverType == 1 ? QStringLiteral("unlock") : QStringLiteral("authorization");
}

std::optional<QString> CGServerAPI::webSocketPath(qint32 serverType) {
    switch (serverType) {
    case 1:
        return QStringLiteral("update");
    case 2:
        return QStringLiteral("playback/cg_projects");
    default:
        return std::nullopt;
    }
}

QStringList CGServerAPI::webSocketProtocols(qint32 serverType) {
    return webSocketPath(serverType) ? QStringList{WebSocketProtocol} : QStringList{};
}

QString CGServerAPI::moviePathKey(qint32 serverType) {
    return serverType == 2 ? QStringLiteral("movie_path") : QStringLiteral("moviePath");
}
