#pragma once

#include "platform/Json.h"

#include <QStringList>

namespace platform {
class XmlDocument;
}

/// The element paths of a feed, parents before children, in document (or member) order,
/// duplicates included: what the user picks variable paths from.
class FeedInventory {
  public:
    /// Relative paths of element names joined by "/", from the root element's name
    /// ("rss/channel/title"); the root alone is not listed. Prefixed elements are named with
    /// their prefix ("rss/channel/item/media:thumbnail"), elements in a default namespace by
    /// their local name, as variables evaluate them.
    static QStringList ofXml(const platform::XmlDocument& document);
    /// Keys and decimal indexes joined by "/", without a leading slash ("data/items/0/name").
    /// The attributes of every element, as "path/@name", in document order (repeated elements
    /// repeat theirs); for the paths window, beside the elements.
    static QStringList attributesOfXml(const platform::XmlDocument& document);
    enum class JsonForm {
        KeyPaths, ///< as above
        JsonPath, ///< the same nodes as JSONPath queries: "$.data.items[0].name", "$['a b']"
    };
    static QStringList ofJson(const platform::JsonValue& value, JsonForm form = JsonForm::KeyPaths);
};
