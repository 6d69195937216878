#include "platform/XmlChildIndex.h"

namespace platform {

const std::vector<xmlNodePtr>& XmlChildIndex::children(xmlNodePtr parent, const QByteArray& name) {
    auto found = m_parents.find(parent);
    if (found == m_parents.end()) {
        Buckets buckets;
        for (xmlNodePtr child = parent->children; child; child = child->next) {
            if (child->type != XML_ELEMENT_NODE)
                continue;
            buckets.all.push_back(child);
            // Unprefixed name tests match elements in no namespace only.
            if (!child->ns)
                buckets.byName[std::string_view(reinterpret_cast<const char*>(child->name))].push_back(child);
        }
        found = m_parents.emplace(parent, std::move(buckets)).first;
    }
    if (name.isEmpty())
        return found->second.all;
    const auto bucket =
        found->second.byName.find(std::string_view(name.constData(), static_cast<size_t>(name.size())));
    return bucket == found->second.byName.end() ? m_none : bucket->second;
}

} // namespace platform
