#pragma once

#include <QByteArray>
#include <QSet>
#include <libxml/tree.h>
#include <utility>
#include <vector>

namespace platform {

/// The namespaces a document declares anywhere in its element tree: each prefix with the first
/// URI bound to it (document order, so the root's binding wins) and the distinct default
/// namespace URIs. Untrusted documents may declare any number of them: at most MaximumPrefixes
/// prefixes and MaximumDefaults default URIs are kept.
class XmlNamespaceScan {
  public:
    static constexpr std::size_t MaximumPrefixes = 256;
    static constexpr std::size_t MaximumDefaults = 8;

    /// Walks every element below and including `root` (may be null) once.
    explicit XmlNamespaceScan(xmlNodePtr root);

    const std::vector<std::pair<QByteArray, QByteArray>>& prefixes() const { return m_prefixes; }
    const std::vector<QByteArray>& defaultUris() const { return m_defaults; }
    bool declaresPrefix(const QByteArray& prefix) const;

  private:
    void take(xmlNsPtr declarations);

    std::vector<std::pair<QByteArray, QByteArray>> m_prefixes;
    std::vector<QByteArray> m_defaults;
    QSet<QByteArray> m_prefixNames;
};

} // namespace platform
