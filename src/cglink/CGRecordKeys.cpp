#include "cglink/CGRecordKeys.h"

#include <nlohmann/json.hpp>

CGRecordKeys::CGRecordKeys(qint32 serverType)
    : displayName(serverType == 2 ? QStringLiteral("display_name") : QStringLiteral("displayName")),
      uniqueID(serverType == 2 ? QStringLiteral("unique_id") : QStringLiteral("uniqueID")) {}

std::optional<QString> CGRecordKeys::requiredString(const platform::JsonValue& record,
                                                    const QString& key) const {
    if (!record.is_object())
        return std::nullopt;
    const auto it = record.find(key.toStdString());
    if (it == record.end() || !it->is_string())
        return std::nullopt;
    const QString value = QString::fromStdString(it->get_ref<const std::string&>());
    if (value.size() < MinimumLength)
        return std::nullopt;
    return value;
}
