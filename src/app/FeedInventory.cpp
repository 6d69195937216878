#include "app/FeedInventory.h"

#include "platform/JsonPathScanner.h"
#include "platform/XmlDocument.h"

#include <algorithm>
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

bool isShorthandName(const QString& name) {
    const QList<uint> codePoints = name.toUcs4();
    if (codePoints.isEmpty() || !platform::JsonPathScanner::isNameFirst(codePoints.front()))
        return false;
    return std::all_of(codePoints.begin(), codePoints.end(),
                       [](uint c) { return platform::JsonPathScanner::isNameCharacter(c); });
}

/// A member of `path` in a JSONPath query: .name where the name allows it, ['name'] otherwise.
QString jsonPathMember(const QString& path, const QString& name) {
    if (isShorthandName(name))
        return path + u'.' + name;
    QString quoted;
    for (const QChar c : name) {
        switch (c.unicode()) {
        case u'\\':
            quoted += QStringLiteral("\\\\");
            break;
        case u'\'':
            quoted += QStringLiteral("\\'");
            break;
        case u'\b':
            quoted += QStringLiteral("\\b");
            break;
        case u'\f':
            quoted += QStringLiteral("\\f");
            break;
        case u'\n':
            quoted += QStringLiteral("\\n");
            break;
        case u'\r':
            quoted += QStringLiteral("\\r");
            break;
        case u'\t':
            quoted += QStringLiteral("\\t");
            break;
        default:
            if (c.unicode() < 0x20)
                quoted += QStringLiteral("\\u%1").arg(int(c.unicode()), 4, 16, QLatin1Char('0'));
            else
                quoted += c;
        }
    }
    return path + QStringLiteral("['") + quoted + QStringLiteral("']");
}

void visitJson(const platform::JsonValue& value, const QString& path, FeedInventory::JsonForm form,
               QStringList& paths) {
    const bool query = form == FeedInventory::JsonForm::JsonPath;
    if (value.is_object()) {
        for (const auto& [key, member] : value.items()) {
            const QString name = QString::fromStdString(key);
            const QString childPath = query            ? jsonPathMember(path, name)
                                      : path.isEmpty() ? name
                                                       : path + QLatin1Char('/') + name;
            paths.append(childPath);
            visitJson(member, childPath, form, paths);
        }
    } else if (value.is_array()) {
        int index = 0;
        for (const auto& element : value) {
            const QString number = QString::number(index++);
            const QString childPath = query            ? path + u'[' + number + u']'
                                      : path.isEmpty() ? number
                                                       : path + QLatin1Char('/') + number;
            paths.append(childPath);
            visitJson(element, childPath, form, paths);
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

QStringList FeedInventory::ofJson(const platform::JsonValue& value, JsonForm form) {
    QStringList paths;
    visitJson(value, form == JsonForm::JsonPath ? QStringLiteral("$") : QString(), form, paths);
    return paths;
}
