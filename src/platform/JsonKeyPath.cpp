#include "platform/JsonKeyPath.h"

#include "platform/ValueReadings.h"

#include <nlohmann/json.hpp>

namespace platform {

QStringList JsonKeyPath::components(const QString& path) {
    QStringList parts;
    if (path.startsWith(QLatin1Char('/')))
        parts.append(QStringLiteral("/"));
    for (const QString& part : path.split(QLatin1Char('/'), Qt::SkipEmptyParts))
        parts.append(part);
    return parts;
}

const JsonValue* JsonKeyPath::valueAt(const JsonValue& root, const QStringList& components) {
    const JsonValue* current = &root;
    for (const QString& component : components) {
        if (current->is_object()) {
            const auto it = current->find(component.toStdString());
            if (it == current->end())
                return nullptr;
            current = &*it;
        } else if (current->is_array()) {
            const qint32 index = ValueReadings::int32Reading(component);
            if (index < 0 || static_cast<size_t>(index) >= current->size())
                return nullptr;
            current = &(*current)[static_cast<size_t>(index)];
        } else {
            return nullptr;
        }
    }
    return current;
}

} // namespace platform
