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

    /// Where the last walk for a positional step stopped among a parent's children: a later
    /// position among the same children ("Candidate[2]" of a row after its "Candidate[1]") goes
    /// on from there instead of from the first child.
    struct Walk {
        xmlNodePtr parent = nullptr;
        QByteArray name;
        int seen = 0;     // children of that name up to `at`
        int elements = 0; // element children up to `at`
        xmlNodePtr at = nullptr;
    };
    Walk& lastWalk() { return m_lastWalk; }

  private:
    struct Buckets {
        std::unordered_map<std::string_view, std::vector<xmlNodePtr>> byName;
        std::vector<xmlNodePtr> all;
    };
    std::unordered_map<xmlNodePtr, Buckets> m_parents;
    const std::vector<xmlNodePtr> m_none{};
    Walk m_lastWalk;
};

} // namespace platform
