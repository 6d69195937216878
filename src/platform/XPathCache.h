#pragma once

#include "platform/SimpleLocationPath.h"

#include <QHashFunctions>
#include <QString>
#include <cstddef>
#include <libxml/xpath.h>
#include <memory>
#include <unordered_map>

namespace platform {

/// Compiled XPath expressions keyed by their text. Compiled expressions do not depend on a
/// document, so one cache can serve every document a feed delivers over time.
///
/// Thread affinity: one thread at a time. libxml2 memoises lookups inside a compiled expression
/// while evaluating it, so the same cache must never be used by two threads at once; give each
/// thread (or each serial worker) its own cache.
class XPathCache {
  public:
    XPathCache();
    ~XPathCache();
    XPathCache(const XPathCache&) = delete;
    XPathCache& operator=(const XPathCache&) = delete;

    /// The compiled form of `expression`, compiled on the first request. Null when the text does
    /// not compile; that outcome is remembered too. The result is owned by the cache and stays
    /// valid until clear() or the cache's destruction.
    xmlXPathCompExprPtr compiled(const QString& expression);

    /// The expression as a simple child path, parsed on the first request; null when it is not
    /// one. Owned by the cache, like compiled().
    const SimpleLocationPath* simplePath(const QString& expression);

    /// Number of distinct expressions remembered, valid or not.
    std::size_t size() const { return m_expressions.size(); }
    /// Forgets every expression. Pointers returned by compiled() become invalid.
    void clear();

    /// Beyond this many distinct expressions the cache starts over, so that a stream of
    /// one-off expressions (an editor validating each keystroke) cannot grow it without bound.
    static constexpr std::size_t MaximumSize = 10000;

  private:
    struct Deleter {
        void operator()(xmlXPathCompExprPtr expression) const;
    };
    struct Hash {
        std::size_t operator()(const QString& text) const noexcept { return qHash(text); }
    };
    std::unordered_map<QString, std::unique_ptr<xmlXPathCompExpr, Deleter>, Hash> m_expressions;
    std::unordered_map<QString, std::optional<SimpleLocationPath>, Hash> m_simplePaths;
};

} // namespace platform
