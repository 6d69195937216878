#pragma once

#include "cgsim/CGSimProject.h"
#include "platform/Json.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <nlohmann/json.hpp>
#include <optional>

/// The simulated server's side of the wire, as pure functions: listings in a generation's
/// spelling, answers, update bodies, and the recognition of web-socket upgrades.
class CGSimWire {
  public:
    /// One update body: the member it used ("text", "htmlText", "moviePath" or "movie_path")
    /// and its value.
    struct Update {
        QString key;
        platform::JsonValue value;
    };

    static QByteArray projectListing(const QList<CGSimProject>& projects, qint32 serverType);
    static QByteArray itemListing(const CGSimProject& project, qint32 serverType);
    static QByteArray authorizationGranted(const QString& token);
    static QByteArray authorizationRefused(const QString& reason);
    static QByteArray updateSucceeded();
    static QByteArray updateFailed(const QString& error);
    /// An object with exactly one member: "text", "htmlText", or the generation's movie key.
    static std::optional<Update> parseUpdateBody(const QByteArray& body, qint32 serverType,
                                                 QString* error = nullptr);
    /// The printed line of an accepted update: {"project", "item", <key>} in compact JSON.
    static QByteArray updateLine(const QString& project, const QString& item, const Update& update);

    /// The decoded path segments of a raw (percent-encoded) path: "/a/b%2Fc" → ["a", "b/c"].
    static QStringList pathSegments(const QByteArray& encodedPath);
};
