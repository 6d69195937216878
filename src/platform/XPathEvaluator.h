#pragma once

#include <QHash>
#include <QString>
#include <QStringList>
#include <libxml/tree.h>
#include <libxml/xpath.h>
#include <memory>
#include <optional>
#include <variant>
#include <vector>

namespace platform {

class XmlChildIndex;
class XmlDocument;
class XPathCache;

/// The result of an XPath expression: a node set (document order), a boolean, a number or a string.
using XPathValue = std::variant<std::vector<xmlNodePtr>, bool, double, QString>;

/// Evaluates XPath 1.0 expressions against one document, compiling each distinct expression once
/// through an XPathCache.
///
/// Thread affinity: the evaluator, its document and its cache belong to one thread at a time.
/// Lifetime: the document (and a cache passed in) must outlive the evaluator; returned node
/// pointers belong to the document.
class XPathEvaluator {
  public:
    /// Uses `cache` when given (shared by evaluators of successive documents on the same
    /// thread), otherwise a cache of the evaluator's own.
    explicit XPathEvaluator(const XmlDocument& document, XPathCache* cache = nullptr);
    ~XPathEvaluator();
    XPathEvaluator(const XPathEvaluator&) = delete;
    XPathEvaluator& operator=(const XPathEvaluator&) = delete;

    /// Lets expressions name elements the way a feed's inventory lists them. From then on, an
    /// expression that fails or selects no node is tried again
    ///  - with the prefixes the document declares bound, so
    ///    that `feed/entry/media:thumbnail/@url` evaluates, and
    ///  - when the document declares default namespaces, with each unprefixed element name also
    ///    matching that local name in those namespaces (`feed/entry` in an Atom feed).
    /// An expression that selects something, or gives a boolean, number or string, gives the
    /// same result as without. The document is scanned for declarations once, on first need.
    void useDocumentNamespaces();

    /// The nodes selected by `expression`, evaluated with `context` as context node (the document
    /// node when null). Nullopt when the expression is invalid, fails to evaluate (an unbound
    /// prefix, an unknown function), does not give a node set, or `context` belongs to another
    /// document.
    std::optional<std::vector<xmlNodePtr>> nodes(const QString& expression, xmlNodePtr context = nullptr);

    /// The string value of the first selected node (document order). Nullopt when the expression
    /// is invalid, does not give a node set, or selects nothing.
    std::optional<QString> firstNodeStringValue(const QString& expression, xmlNodePtr context = nullptr);
    /// The first selected node (document order), or null. Simple child paths are answered
    /// through a child index instead of libxml2's evaluation, with the same result.
    xmlNodePtr firstNode(const QString& expression, xmlNodePtr context = nullptr);

    /// Any result of `expression` (`count(//a)` → double, `string(/x)` → QString, `//a` → nodes).
    /// Nullopt when the expression is invalid or fails to evaluate.
    std::optional<XPathValue> evaluate(const QString& expression, xmlNodePtr context = nullptr);

    /// The cache in use.
    XPathCache& cache() { return *m_cache; }

    /// XPath's string() of a value: the first node's string value (empty for an empty node set),
    /// "true"/"false", numbers as XPath writes them ("3", "0.5", "NaN", "Infinity").
    static QString toString(const XPathValue& value);
    /// XPath string value: concatenated descendant text of an element or document, the value
    /// of an attribute, the content of a text, comment or processing-instruction node.
    static QString stringValue(xmlNodePtr node);
    /// libxml2's location path of `node`, with an index only among same-named siblings
    /// (`/rss/channel/item[3]/title`). Empty for null.
    static QString locationPath(xmlNodePtr node);

  private:
    struct ObjectDeleter {
        void operator()(xmlXPathObjectPtr object) const { xmlXPathFreeObject(object); }
    };
    using Object = std::unique_ptr<xmlXPathObject, ObjectDeleter>;
    Object run(const QString& expression, xmlNodePtr context);
    Object runCompiled(const QString& expression, xmlNodePtr context);
    /// run() once more after a plain evaluation that failed (`failed`) or selected nothing.
    Object retryWithDocumentNamespaces(const QString& expression, xmlNodePtr context, bool failed);
    /// Scans and binds the document's namespaces; false when there is nothing to retry with.
    bool bindDocumentNamespaces();
    QString widenedExpression(const QString& expression);

    const XmlDocument& m_document;
    std::unique_ptr<XPathCache> m_ownCache;
    XPathCache* m_cache;
    xmlXPathContextPtr m_context;
    std::unique_ptr<XmlChildIndex> m_childIndex;
    bool m_useDocumentNamespaces = false;
    bool m_documentNamespacesBound = false;
    bool m_documentDeclaresNamespaces = false;
    QStringList m_defaultPrefixes;                // private prefixes of the default namespace URIs
    QHash<QString, QString> m_widenedExpressions; // null: nothing to widen
};

} // namespace platform
