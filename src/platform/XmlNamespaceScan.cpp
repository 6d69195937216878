#include "platform/XmlNamespaceScan.h"

#include <algorithm>

namespace platform {

XmlNamespaceScan::XmlNamespaceScan(xmlNodePtr root) {
    // Iterative pre-order walk: document depth is not bounded by the call stack.
    for (xmlNodePtr node = root; node;) {
        if (node->type == XML_ELEMENT_NODE)
            take(node->nsDef);
        if (node->children && node->type == XML_ELEMENT_NODE) {
            node = node->children;
            continue;
        }
        while (node && node != root && !node->next)
            node = node->parent;
        node = node && node != root ? node->next : nullptr;
    }
}

bool XmlNamespaceScan::declaresPrefix(const QByteArray& prefix) const {
    return m_prefixNames.contains(prefix);
}

void XmlNamespaceScan::take(xmlNsPtr declarations) {
    for (xmlNsPtr ns = declarations; ns; ns = ns->next) {
        if (!ns->href || !*ns->href)
            continue; // xmlns="" takes a default namespace away; it declares none
        const QByteArray uri(reinterpret_cast<const char*>(ns->href));
        if (ns->prefix) {
            const QByteArray prefix(reinterpret_cast<const char*>(ns->prefix));
            if (m_prefixes.size() < MaximumPrefixes && !declaresPrefix(prefix)) {
                m_prefixNames.insert(prefix);
                m_prefixes.emplace_back(prefix, uri);
            }
        } else if (m_defaults.size() < MaximumDefaults &&
                   std::find(m_defaults.begin(), m_defaults.end(), uri) == m_defaults.end()) {
            m_defaults.push_back(uri);
        }
    }
}

} // namespace platform
