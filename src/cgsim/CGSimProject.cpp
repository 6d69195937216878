#include "cgsim/CGSimProject.h"

#include "platform/Json.h"

#include <nlohmann/json.hpp>

using platform::JsonValue;

namespace {

std::optional<QString> stringMember(const JsonValue& object, const char* key) {
    const auto it = object.find(key);
    if (it == object.end() || !it->is_string())
        return std::nullopt;
    return QString::fromStdString(it->get_ref<const std::string&>());
}

} // namespace

std::optional<QList<CGSimProject>> CGSimProjectFile::parse(const QByteArray& json, QString* error) {
    auto fail = [error](const QString& reason) -> std::optional<QList<CGSimProject>> {
        if (error)
            *error = reason;
        return std::nullopt;
    };
    platform::Error parseError;
    const auto document = platform::parseJson(json, &parseError);
    if (!document)
        return fail(parseError.localizedDescription());
    if (!document->is_array())
        return fail(QStringLiteral("the projects must be a JSON array"));
    QList<CGSimProject> projects;
    for (const JsonValue& record : *document) {
        if (!record.is_object())
            return fail(QStringLiteral("every project must be a JSON object"));
        CGSimProject project;
        const auto name = stringMember(record, "name");
        const auto uniqueID = stringMember(record, "uniqueID");
        if (!name || !uniqueID)
            return fail(QStringLiteral("a project needs the strings \"name\" and \"uniqueID\""));
        project.name = *name;
        project.uniqueID = *uniqueID;
        if (const auto items = record.find("items"); items != record.end()) {
            if (!items->is_array())
                return fail(QStringLiteral("\"items\" of %1 must be an array").arg(project.name));
            for (const JsonValue& itemRecord : *items) {
                if (!itemRecord.is_object())
                    return fail(QStringLiteral("every item must be a JSON object"));
                const auto itemName = stringMember(itemRecord, "name");
                const auto itemID = stringMember(itemRecord, "uniqueID");
                if (!itemName || !itemID)
                    return fail(QStringLiteral("an item needs the strings \"name\" and \"uniqueID\""));
                project.items.append(
                    {*itemName, *itemID, stringMember(itemRecord, "type").value_or(QStringLiteral("text"))});
            }
        }
        projects.append(project);
    }
    return projects;
}

QByteArray CGSimProjectFile::serialize(const QList<CGSimProject>& projects) {
    JsonValue array = JsonValue::array();
    for (const CGSimProject& project : projects) {
        JsonValue items = JsonValue::array();
        for (const CGSimItem& item : project.items)
            items.push_back({{"name", item.name.toStdString()},
                             {"uniqueID", item.uniqueID.toStdString()},
                             {"type", item.type.toStdString()}});
        array.push_back({{"name", project.name.toStdString()},
                         {"uniqueID", project.uniqueID.toStdString()},
                         {"items", items}});
    }
    return platform::toJsonBytes(array, true);
}

QList<CGSimProject> CGSimProjectFile::builtIn() {
    return {
        {QStringLiteral("Scoreboard"),
         QStringLiteral("PRJ-SCORE"),
         {{QStringLiteral("Home"), QStringLiteral("ITM-HOME"), QStringLiteral("text")},
          {QStringLiteral("Away"), QStringLiteral("ITM-AWAY"), QStringLiteral("text")},
          {QStringLiteral("HomeScore"), QStringLiteral("ITM-HSCORE"), QStringLiteral("text")},
          {QStringLiteral("AwayScore"), QStringLiteral("ITM-ASCORE"), QStringLiteral("text")},
          {QStringLiteral("Clock"), QStringLiteral("ITM-CLOCK"), QStringLiteral("text")}}},
        {QStringLiteral("Lower Third"),
         QStringLiteral("PRJ-LOWER"),
         {{QStringLiteral("Headline"), QStringLiteral("ITM-HEAD"), QStringLiteral("html")},
          {QStringLiteral("Name"), QStringLiteral("ITM-NAME"), QStringLiteral("text")},
          {QStringLiteral("Background"), QStringLiteral("ITM-BACK"), QStringLiteral("movie")}}},
        {QStringLiteral("Weather"),
         QStringLiteral("PRJ-WEATHER"),
         {{QStringLiteral("City"), QStringLiteral("ITM-CITY"), QStringLiteral("text")},
          {QStringLiteral("Temperature"), QStringLiteral("ITM-TEMP"), QStringLiteral("text")},
          {QStringLiteral("Conditions"), QStringLiteral("ITM-COND"), QStringLiteral("text")}}},
    };
}
