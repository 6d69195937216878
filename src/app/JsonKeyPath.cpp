#include "app/JsonKeyPath.h"

#include "platform/ValueReadings.h"

#include <nlohmann/json.hpp>

QStringList JsonKeyPath::components(const QString& path) {
    QStringList parts;
    if (path.startsWith(QLatin1Char('/')))
        parts.append(QStringLiteral("/"));
    for (const QString& part : path.split(QLatin1Char('/'), Qt::SkipEmptyParts))
        parts.append(part);
    return parts;
}

const platform::JsonValue* JsonKeyPath::valueAt(const platform::JsonValue& root,
                                                const QStringList& components) {
    const platform::JsonValue* current = &root;
    for (const QString& component : components) {
        if (current->is_object()) {
            const auto it = current->find(component.toStdString());
            if (it == current->end())
                return nullptr;
            current = &*it;
        } else if (current->is_array()) {
            const qint32 index = platform::ValueReadings::int32Reading(component);
            if (index < 0 || static_cast<size_t>(index) >= current->size())
                return nullptr;
            current = &(*current)[static_cast<size_t>(index)];
        } else {
            return nullptr;
        }
    }
    return current;
}
