#pragma once

#include <QByteArray>
#include <libxml/tree.h>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace platform {

/// Element children of a node by name, built on first use per parent, for positional steps
/// ("item[500]") that would otherwise walk the children once per lookup. Valid while the
/// document is not modified; one thread at a time.
class XmlChildIndex {
  public:
    /// The element children of `parent` named `name` (without namespace), or every element child
    /// when `name` is empty, in document order.
    const std::vector<xmlNodePtr>& children(xmlNodePtr parent, const QByteArray& name);

  private:
    struct Buckets {
        std::unordered_map<std::string_view, std::vector<xmlNodePtr>> byName;
        std::vector<xmlNodePtr> all;
    };
    std::unordered_map<xmlNodePtr, Buckets> m_parents;
    const std::vector<xmlNodePtr> m_none{};
};

} // namespace platform
