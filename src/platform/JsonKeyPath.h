#pragma once

#include "platform/Json.h"

#include <QString>
#include <QStringList>
#include <string_view>
#include <vector>

namespace platform {

/// Slash-separated paths into a JSON feed ("data/items/0/name").
class JsonKeyPath {
  public:
    /// The platform's path-component rules: repeated slashes count as one, a trailing slash is
    /// ignored, a leading slash is a component "/" of its own.
    static QStringList components(const QString& path);
    /// The same for a path in UTF-8, as views into `utf8`.
    static std::vector<std::string_view> components(std::string_view utf8);

    /// The value `components` lead to from `root`: dictionary members by key, array elements by
    /// the component's decimal reading (a component that is not a number reads as 0). Null when
    /// a key is missing, an index lies outside its array (or is negative), or a scalar is reached
    /// before the path ends. The pointer is into `root`.
    static const JsonValue* valueAt(const JsonValue& root, const QStringList& components);
    static const JsonValue* valueAt(const JsonValue& root, const QString& path) {
        return valueAt(root, components(path));
    }
};

} // namespace platform
