#pragma once

#include "datasource/NVSCGDataSourceExport.h"

#include <QString>
#include <libxml/tree.h>
#include <memory>
#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <vector>

class NVSCGDataSource;
class NVSCGDataSourceColumn;
class NVSCGDataSourceFeed;
class NVSCGDataSourceNodeNotifier;
class NVSCGDataSourceNode;
using NVSCGDataSourceNodePtr = std::shared_ptr<NVSCGDataSourceNode>;

/// One node of a fetched feed: an XML element (kept by reference, with its location path) or a
/// JSON value (with its key path). Rows of a data source are nodes.
///
/// Threads: a tree is built on any one thread and handed to the main thread; from then on its
/// nodes are used on the main thread only. Memory: a feed has hundreds of thousands of nodes, so
/// XML nodes compute their title, text and path from the element on request, and observers
/// (`notifier()`) are created only for the nodes someone watches.
class NVSCGDATASOURCE_EXPORT NVSCGDataSourceNode {
  public:
    using JsonValue = nlohmann::ordered_json;

    /// A node for `element`. Its children (one node per element child, in document order) are
    /// made when first asked for: a feed has hundreds of thousands of elements, and a data
    /// source reads most of them through XPath, never through nodes. The element must belong to
    /// `feed`'s document, built through NVSCGDataSourceFeed::buildTree.
    NVSCGDataSourceNode(std::shared_ptr<NVSCGDataSourceFeed> feed, xmlNodePtr element);
    /// A node for a JSON value; arrays and objects get children, scalars are selectable leaves.
    NVSCGDataSourceNode(const JsonValue& value, const QString& title, const QString& XPath);
    ~NVSCGDataSourceNode();
    NVSCGDataSourceNode(const NVSCGDataSourceNode&) = delete;
    NVSCGDataSourceNode& operator=(const NVSCGDataSourceNode&) = delete;

    /// One node per array element: titles "Index %zu", paths arrayXPath + "/%zu".
    static std::vector<NVSCGDataSourceNodePtr> dataSourceNodesFromJSONArray(const JsonValue& array,
                                                                            const QString& arrayXPath);
    /// One node per member in the object's order: title the key, path dictXPath + "/%@".
    static std::vector<NVSCGDataSourceNodePtr> dataSourceNodesFromJSONDictionary(const JsonValue& object,
                                                                                 const QString& dictXPath);

    NVSCGDataSource* dataSource() const { return m_dataSource; }
    void setDataSource(NVSCGDataSource* dataSource) { m_dataSource = dataSource; }
    xmlNodePtr xmlElement() const { return m_element; }
    /// The child nodes, made on first use (main thread) with the data source of this node and
    /// the selection their owner's columns give them.
    const std::vector<NVSCGDataSourceNodePtr>& children() const;
    void setChildren(std::vector<NVSCGDataSourceNodePtr> children) {
        m_children = std::move(children);
        m_childrenMade = true;
    }
    /// Every descendant, depth first, pre-order; not the node itself.
    std::vector<NVSCGDataSourceNodePtr> childNodes() const;
    /// Calls `visit` for every descendant in pre-order without building a list; makes every
    /// node of the subtree.
    template <typename Visitor> void forEachDescendant(Visitor&& visit) const {
        for (const NVSCGDataSourceNodePtr& child : children()) {
            visit(*child);
            child->forEachDescendant(visit);
        }
    }
    /// The same walk over the nodes made so far only: those not made yet take their state from
    /// their parent and the owning data source when they are made.
    template <typename Visitor> void forEachMadeDescendant(Visitor&& visit) const {
        for (const NVSCGDataSourceNodePtr& child : m_children) {
            visit(*child);
            child->forEachMadeDescendant(visit);
        }
    }

    QString title() const;
    QString stringValue() const;
    QString XPath() const;
    /// The path with elements of a default namespace named by local name ("/feed/entry[2]"
    /// where XPath() is "/*/*[3]"); a null string when it is XPath() itself.
    QString namedXPath() const;
    bool selectable() const { return m_selectable; }
    bool selected() const { return m_selected; }
    /// Announces through the notifier when the value changes.
    void setSelected(bool selected);
    std::size_t rowIndex() const { return m_rowIndex; }
    /// Announces a change of `isActiveRow` when the new index changes it.
    void setRowIndex(std::size_t rowIndex);
    bool isActiveRow() const;
    /// The cache of the last wildcard path computed and the data-source XPath it was made for.
    QString wildcardXPath() const { return m_wildcardXPath; }
    QString dataSourceXPathForCurrentWildcardXPath() const { return m_wildcardSource; }

    /// The node's path with the position that matches the last "[*]" of `dataSourceXPath`
    /// replaced by "*" (nullopt: the owning data source's XPath). Cached per XPath. The path is
    /// the named one (namedXPath(), when there is one) if the owning data source addresses its
    /// rows by name, otherwise XPath().
    QString wildcardXPathFromDataSourceXPath(const std::optional<QString>& dataSourceXPath = std::nullopt);
    /// The same with the path chosen explicitly.
    QString wildcardXPathFromDataSourceXPath(const std::optional<QString>& dataSourceXPath, bool byName);
    /// The wildcard rule on plain strings (no cache).
    static QString wildcardXPath(const QString& nodeXPath, const QString& dataSourceXPath);

    /// The string value of the first element that the part of `XPath` below this node selects;
    /// the empty string when there is none. A path outside this node (by XPath() or, failing
    /// that, namedXPath()) is logged as invalid.
    QString stringValueForXPath(const QString& XPath) const;
    /// The string value of the first node `relative` (a path from this node, "Candidate[2]/Votes")
    /// selects; empty when it selects nothing or this node is not an element of a feed.
    QString stringValueForRelativeXPath(const QString& relative) const;
    /// Where the path below the row starts in a column's `identifier` whose first part is
    /// `rowPath` with its "*" standing for `number` ("/r/item[*]/title" for "/r/item[3]": 15);
    /// -1 when it is not of that shape (a wildcard below the row included).
    static qsizetype pathBelowRow(QStringView identifier, QStringView rowPath, QStringView number);

    /// The cell value of `column` in this row: its format with tokens resolved, or, ignoring the
    /// format, the feed value at the column's identifier with "*" replaced by rowIndex + 1.
    QString stringValueForColum(const NVSCGDataSourceColumn& column, bool ignoringFormat = false) const;

    /// Same class and the same XML element (identity: each feed is a new document). Nodes
    /// without an XML element are never equal.
    bool isEqual(const NVSCGDataSourceNode& other) const;
    QString debugDescription() const;

    /// The observer object of this node, created on first use on the calling (main) thread.
    NVSCGDataSourceNodeNotifier* notifier();
    /// Announces `isActiveRow` to observers (the data source calls it when the active set changes).
    void announceActiveRowChange();

  private:
    struct JsonData {
        QString title;
        QString XPath;
        QString stringValue;
    };

    QString stringValueForColum(const NVSCGDataSourceColumn& column, bool ignoringFormat,
                                std::vector<const NVSCGDataSourceColumn*>& expanding) const;
    /// The path, kept once asked for: rows are asked for it with every cell.
    const QString& cachedXPath() const;
    void makeChildren() const;

    std::shared_ptr<NVSCGDataSourceFeed> m_feed;
    xmlNodePtr m_element = nullptr;
    std::unique_ptr<JsonData> m_json;
    mutable std::vector<NVSCGDataSourceNodePtr> m_children;
    NVSCGDataSource* m_dataSource = nullptr;
    mutable QString m_XPath;
    QString m_wildcardXPath;
    QString m_wildcardSource;
    std::unique_ptr<NVSCGDataSourceNodeNotifier> m_notifier;
    std::size_t m_rowIndex = 0;
    bool m_selected = false;
    bool m_selectable = false;
    mutable bool m_childrenMade = true;
    bool m_wildcardByName = false;
};
