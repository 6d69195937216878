#include "app/FeedInventory.h"

#include "platform/XmlDocument.h"

#include <nlohmann/json.hpp>

namespace {

/// The name a path step selects the element by: "media:thumbnail" for a prefixed element.
QString qualifiedName(xmlNodePtr element) {
    const QString local = QString::fromUtf8(reinterpret_cast<const char*>(element->name));
    if (!element->ns || !element->ns->prefix || !*element->ns->prefix)
        return local;
    return QString::fromUtf8(reinterpret_cast<const char*>(element->ns->prefix)) + QLatin1Char(':') + local;
}

void visitXml(xmlNodePtr element, const QString& path, QStringList& paths) {
    for (xmlNodePtr child = element->children; child; child = child->next) {
        if (child->type != XML_ELEMENT_NODE || !child->name || !*child->name)
            continue;
        const QString childPath = path + QLatin1Char('/') + qualifiedName(child);
        paths.append(childPath);
        visitXml(child, childPath, paths);
    }
}

void visitAttributes(xmlNodePtr element, const QString& path, QStringList& paths) {
    for (xmlAttrPtr attribute = element->properties; attribute; attribute = attribute->next) {
        if (!attribute->name || !*attribute->name)
            continue;
        QString name = QString::fromUtf8(reinterpret_cast<const char*>(attribute->name));
        if (attribute->ns && attribute->ns->prefix && *attribute->ns->prefix)
            name = QString::fromUtf8(reinterpret_cast<const char*>(attribute->ns->prefix)) +
                   QLatin1Char(':') + name;
        paths.append(path + QStringLiteral("/@") + name);
    }
    for (xmlNodePtr child = element->children; child; child = child->next) {
        if (child->type == XML_ELEMENT_NODE && child->name && *child->name)
            visitAttributes(child, path + QLatin1Char('/') + qualifiedName(child), paths);
    }
}

void visitJson(const platform::JsonValue& value, const QString& path, QStringList& paths) {
    if (value.is_object()) {
        for (const auto& [key, member] : value.items()) {
            const QString name = QString::fromStdString(key);
            const QString childPath = path.isEmpty() ? name : path + QLatin1Char('/') + name;
            paths.append(childPath);
            visitJson(member, childPath, paths);
        }
    } else if (value.is_array()) {
        int index = 0;
        for (const auto& element : value) {
            const QString childPath =
                path.isEmpty() ? QString::number(index) : path + QLatin1Char('/') + QString::number(index);
            ++index;
            paths.append(childPath);
            visitJson(element, childPath, paths);
        }
    }
}

} // namespace

QStringList FeedInventory::ofXml(const platform::XmlDocument& document) {
    QStringList paths;
    if (xmlNodePtr root = document.rootElement())
        visitXml(root, qualifiedName(root), paths);
    return paths;
}

QStringList FeedInventory::attributesOfXml(const platform::XmlDocument& document) {
    QStringList paths;
    if (xmlNodePtr root = document.rootElement())
        visitAttributes(root, qualifiedName(root), paths);
    return paths;
}

QStringList FeedInventory::ofJson(const platform::JsonValue& value) {
    QStringList paths;
    visitJson(value, QString(), paths);
    return paths;
}
