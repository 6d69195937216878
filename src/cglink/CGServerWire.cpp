#include "cglink/CGServerWire.h"

#include "cglink/CGProject.h"
#include "cglink/CGServerAPI.h"

#include <nlohmann/json.hpp>

using platform::JsonValue;

QByteArray CGServerWire::textUpdateBody(const JsonValue& value, bool isHTML) {
    JsonValue body = JsonValue::object();
    body[isHTML ? "htmlText" : "text"] = value;
    return platform::toJsonBytes(body, true);
}

QByteArray CGServerWire::mediaUpdateBody(const QString& path, qint32 serverType) {
    JsonValue body = JsonValue::object();
    body[CGServerAPI::moviePathKey(serverType).toStdString()] = path.toStdString();
    return platform::toJsonBytes(body, true);
}

QList<std::shared_ptr<CGProject>> CGServerWire::decodeProjects(const std::optional<JsonValue>& answer,
                                                               qint32 serverType) {
    QList<std::shared_ptr<CGProject>> projects;
    if (!answer || !answer->is_array())
        return projects;
    for (const JsonValue& record : *answer)
        if (auto project = CGProject::fromDictionary(record, serverType))
            projects.append(std::move(project));
    return projects;
}

QList<std::shared_ptr<CGProjectItem>> CGServerWire::decodeItems(const std::optional<JsonValue>& answer,
                                                                qint32 serverType) {
    QList<std::shared_ptr<CGProjectItem>> items;
    if (!answer || !answer->is_array())
        return items;
    for (const JsonValue& record : *answer)
        if (auto item = CGProjectItem::fromDictionary(record, serverType))
            items.append(std::move(item));
    return items;
}

std::optional<QString> CGServerWire::authorizationToken(const std::optional<JsonValue>& answer) {
    if (!answer || !answer->is_object())
        return std::nullopt;
    const auto success = answer->find("success");
    if (success == answer->end() || !success->is_boolean() || !success->get<bool>())
        return std::nullopt;
    const auto token = answer->find("token");
    if (token == answer->end() || !token->is_string())
        return std::nullopt;
    return QString::fromStdString(token->get_ref<const std::string&>());
}

CGServerWire::UpdateOutcome CGServerWire::updateOutcome(const std::optional<JsonValue>& answer) {
    UpdateOutcome outcome;
    if (!answer || !answer->is_object())
        return outcome;
    const auto success = answer->find("success");
    if (success != answer->end() && success->is_boolean() && success->get<bool>()) {
        outcome.kind = UpdateOutcome::Kind::Success;
        return outcome;
    }
    outcome.kind = UpdateOutcome::Kind::Failure;
    const auto error = answer->find("error");
    if (error != answer->end())
        outcome.error = displayText(*error);
    return outcome;
}

QString CGServerWire::displayText(const JsonValue& value) {
    if (value.is_string())
        return QString::fromStdString(value.get_ref<const std::string&>());
    return QString::fromUtf8(platform::toJsonBytes(value, false));
}
