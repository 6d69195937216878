#include "cgsim/CGSimWire.h"

#include "cglink/CGServerAPI.h"

#include <QUrl>
#include <nlohmann/json.hpp>

using platform::JsonValue;

namespace {

const char* nameKey(qint32 serverType) {
    return serverType == 2 ? "display_name" : "displayName";
}

const char* idKey(qint32 serverType) {
    return serverType == 2 ? "unique_id" : "uniqueID";
}

} // namespace

QByteArray CGSimWire::projectListing(const QList<CGSimProject>& projects, qint32 serverType) {
    JsonValue array = JsonValue::array();
    for (const CGSimProject& project : projects)
        array.push_back({{nameKey(serverType), project.name.toStdString()},
                         {idKey(serverType), project.uniqueID.toStdString()}});
    return platform::toJsonBytes(array, true);
}

QByteArray CGSimWire::itemListing(const CGSimProject& project, qint32 serverType) {
    JsonValue array = JsonValue::array();
    for (const CGSimItem& item : project.items)
        array.push_back({{nameKey(serverType), item.name.toStdString()},
                         {idKey(serverType), item.uniqueID.toStdString()},
                         {"type", item.type.toStdString()}});
    return platform::toJsonBytes(array, true);
}

QByteArray CGSimWire::authorizationGranted(const QString& token) {
    return platform::toJsonBytes(JsonValue{{"success", true}, {"token", token.toStdString()}});
}

QByteArray CGSimWire::authorizationRefused(const QString& reason) {
    return platform::toJsonBytes(JsonValue{{"success", false}, {"error", reason.toStdString()}});
}

QByteArray CGSimWire::updateSucceeded() {
    return platform::toJsonBytes(JsonValue{{"success", true}});
}

QByteArray CGSimWire::updateFailed(const QString& error) {
    return platform::toJsonBytes(JsonValue{{"success", false}, {"error", error.toStdString()}});
}

std::optional<CGSimWire::Update> CGSimWire::parseUpdateBody(const QByteArray& body, qint32 serverType,
                                                            QString* error) {
    auto fail = [error](const QString& reason) -> std::optional<Update> {
        if (error)
            *error = reason;
        return std::nullopt;
    };
    const auto document = platform::parseJson(body);
    if (!document || !document->is_object())
        return fail(QStringLiteral("The body is not a JSON object"));
    if (document->size() != 1)
        return fail(QStringLiteral("The body must have exactly one member"));
    const QString key = QString::fromStdString(document->begin().key());
    const QStringList accepted{QStringLiteral("text"), QStringLiteral("htmlText"),
                               CGServerAPI::moviePathKey(serverType)};
    if (!accepted.contains(key))
        return fail(QStringLiteral("Unknown member \"%1\"").arg(key));
    if (key == CGServerAPI::moviePathKey(serverType) && !document->begin().value().is_string())
        return fail(QStringLiteral("The media path must be a string"));
    return Update{key, document->begin().value()};
}

QByteArray CGSimWire::updateLine(const QString& project, const QString& item, const Update& update) {
    JsonValue line = JsonValue::object();
    line["project"] = project.toStdString();
    line["item"] = item.toStdString();
    line[update.key.toStdString()] = update.value;
    return platform::toJsonBytes(line);
}

QStringList CGSimWire::pathSegments(const QByteArray& encodedPath) {
    QStringList segments;
    for (const QByteArray& raw : encodedPath.split('/'))
        if (!raw.isEmpty())
            segments.append(QUrl::fromPercentEncoding(raw));
    return segments;
}
