#include "platform/JsonKeyPath.h"

#include "platform/ValueReadings.h"

#include <algorithm>
#include <nlohmann/json.hpp>

namespace platform {

QStringList JsonKeyPath::components(const QString& path) {
    const QByteArray utf8 = path.toUtf8();
    QStringList parts;
    for (const std::string_view part :
         components(std::string_view(utf8.constData(), std::size_t(utf8.size()))))
        parts.append(QString::fromUtf8(part.data(), qsizetype(part.size())));
    return parts;
}

std::vector<std::string_view> JsonKeyPath::components(std::string_view utf8) {
    std::vector<std::string_view> parts;
    if (utf8.starts_with('/'))
        parts.push_back(utf8.substr(0, 1));
    while (!utf8.empty()) {
        const std::size_t end = std::min(utf8.find('/'), utf8.size());
        if (end > 0)
            parts.push_back(utf8.substr(0, end));
        utf8.remove_prefix(std::min(end + 1, utf8.size()));
    }
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
