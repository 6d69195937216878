// NVSCGDataSource: rows, their selection by XPath, and active rows.
#include "datasource/NVSCGDataSource.h"
#include "datasource/NVSCGDataSourceDelegate.h"
#include "platform/NotificationCenter.h"
#include "platform/XmlDocument.h"

#include <algorithm>
#include <iterator>

namespace {

// The nodes made so far; the others take the same state when they are made.
template <typename Visitor> void visitTree(NVSCGDataSourceNode& node, Visitor&& visit) {
    visit(node);
    node.forEachMadeDescendant(
        [&](const NVSCGDataSourceNode& descendant) { visit(const_cast<NVSCGDataSourceNode&>(descendant)); });
}

} // namespace

std::vector<NVSCGDataSourceNodePtr> NVSCGDataSource::contentNodes() const {
    std::lock_guard lock(m_contentMutex);
    return m_contentNodes;
}

std::size_t NVSCGDataSource::countOfContentNodes() const {
    std::lock_guard lock(m_contentMutex);
    return m_contentNodes.size();
}

NVSCGDataSourceNodePtr NVSCGDataSource::contentNodeAtIndex(std::size_t index) const {
    std::lock_guard lock(m_contentMutex);
    return index < m_contentNodes.size() ? m_contentNodes[index] : nullptr;
}

std::vector<NVSCGDataSourceNodePtr> NVSCGDataSource::contentNodesAtIndexes(const NVSIndexSet& indexes) const {
    std::lock_guard lock(m_contentMutex);
    std::vector<NVSCGDataSourceNodePtr> nodes;
    for (std::size_t index : indexes) {
        if (index < m_contentNodes.size())
            nodes.push_back(m_contentNodes[index]);
    }
    return nodes;
}

void NVSCGDataSource::setContentNodes(const std::vector<NVSCGDataSourceNodePtr>& nodes) {
    std::lock_guard lock(m_contentMutex);
    Q_EMIT contentNodesAboutToBeReset();
    ++m_contentResetDepth;
    removeContentNodesAtIndexes(NVSIndexSetWithRange(0, m_contentNodes.size()));
    insertContentNodes(nodes, NVSIndexSetWithRange(0, nodes.size()));
    --m_contentResetDepth;
    Q_EMIT contentNodesReset();
    Q_EMIT XPathsChanged();
}

void NVSCGDataSource::insertContentNodes(const std::vector<NVSCGDataSourceNodePtr>& nodes,
                                         const NVSIndexSet& indexes) {
    if (indexes.empty() || indexes.size() != nodes.size())
        return;
    std::lock_guard lock(m_contentMutex);
    const QSet<QString> identifiers = columnIdentifiers();
    const QString X = m_XPath;
    for (const NVSCGDataSourceNodePtr& node : nodes) {
        visitTree(*node, [&](NVSCGDataSourceNode& each) {
            each.setDataSource(this);
            each.setSelected(identifiers.contains(each.wildcardXPathFromDataSourceXPath(X)));
        });
    }
    if (m_contentResetDepth == 0)
        Q_EMIT contentNodesAboutToBeInserted(indexes);
    m_contentNodes.reserve(m_contentNodes.size() + nodes.size());
    auto node = nodes.begin();
    for (std::size_t index : indexes) {
        const std::size_t at = std::min(index, m_contentNodes.size());
        m_contentNodes.insert(m_contentNodes.begin() + std::ptrdiff_t(at), *node++);
    }
    updateRowIndexesFromIndex(*indexes.begin());
    if (m_contentResetDepth == 0) {
        Q_EMIT contentNodesInserted(indexes);
        Q_EMIT XPathsChanged();
    }
}

void NVSCGDataSource::removeContentNodesAtIndexes(const NVSIndexSet& indexes) {
    if (indexes.empty())
        return;
    std::lock_guard lock(m_contentMutex);
    NVSIndexSet valid;
    for (std::size_t index : indexes) {
        if (index < m_contentNodes.size())
            valid.insert(valid.end(), index);
    }
    if (valid.empty())
        return;
    if (m_contentResetDepth == 0)
        Q_EMIT contentNodesAboutToBeRemoved(valid);
    std::vector<NVSCGDataSourceNodePtr> removed;
    removed.reserve(valid.size());
    if (valid.size() == m_contentNodes.size()) {
        removed.swap(m_contentNodes);
    } else {
        for (auto it = valid.rbegin(); it != valid.rend(); ++it) {
            removed.push_back(m_contentNodes[*it]);
            m_contentNodes.erase(m_contentNodes.begin() + std::ptrdiff_t(*it));
        }
    }
    detachNodes(removed);
    updateRowIndexesFromIndex(*valid.begin());
    if (m_contentResetDepth == 0) {
        Q_EMIT contentNodesRemoved(valid);
        Q_EMIT XPathsChanged();
    }
}

void NVSCGDataSource::detachNodes(const std::vector<NVSCGDataSourceNodePtr>& nodes) {
    for (const NVSCGDataSourceNodePtr& node : nodes)
        visitTree(*node, [](NVSCGDataSourceNode& each) { each.setDataSource(nullptr); });
}

void NVSCGDataSource::updateRowIndexesFromIndex(std::size_t index) {
    std::lock_guard lock(m_contentMutex);
    for (std::size_t i = index; i < m_contentNodes.size(); ++i)
        m_contentNodes[i]->setRowIndex(i);
}

std::vector<NVSCGDataSourceNodePtr> NVSCGDataSource::fileContentNodes() const {
    return m_fileContentNodes;
}

void NVSCGDataSource::setFileContentNodes(const std::vector<NVSCGDataSourceNodePtr>& nodes) {
    m_fileContentNodes = nodes;
    Q_EMIT fileContentNodesChanged();
    updateXPathContentNodes();
}

void NVSCGDataSource::updateXPathContentNodes() {
    if (!xmlDocument() || m_XPath.isNull()) {
        m_rowsByName = false;
        setContentNodes(m_fileContentNodes);
        return;
    }
    const QString X = m_XPath;
    const auto rowsWithXPath = [&](bool byName) {
        std::vector<NVSCGDataSourceNodePtr> rows;
        for (const NVSCGDataSourceNodePtr& root : m_fileContentNodes) {
            if (root->wildcardXPathFromDataSourceXPath(X, byName) == X) {
                rows.push_back(root);
            } else {
                std::vector<NVSCGDataSourceNodePtr> below = childrenWithXPath(X, *root, byName);
                std::move(below.begin(), below.end(), std::back_inserter(rows));
            }
        }
        return rows;
    };
    // Named paths only when location paths select nothing: a path that selects rows today keeps
    // selecting exactly those.
    std::vector<NVSCGDataSourceNodePtr> candidates = rowsWithXPath(false);
    m_rowsByName = false;
    if (candidates.empty()) {
        candidates = rowsWithXPath(true);
        m_rowsByName = !candidates.empty();
    }
    {
        std::lock_guard lock(m_contentMutex);
        const bool unchanged = candidates.size() == m_contentNodes.size() &&
                               std::equal(candidates.begin(), candidates.end(), m_contentNodes.begin(),
                                          [](const NVSCGDataSourceNodePtr& a,
                                             const NVSCGDataSourceNodePtr& b) { return a->isEqual(*b); });
        if (unchanged)
            return;
        setContentNodes(candidates);
    }
    if (m_delegate)
        m_delegate->dataSourceContentChanged(this);
    platform::NotificationCenter::defaultCenter().post(NVSCGDataSourceContentUpdatedNotificationName, this);
}

std::vector<NVSCGDataSourceNodePtr>
NVSCGDataSource::childrenWithXPath(const QString& XPath, NVSCGDataSourceNode& node, bool byName) const {
    std::vector<NVSCGDataSourceNodePtr> rows;
    if (!XPath.startsWith(node.wildcardXPathFromDataSourceXPath(XPath, byName)))
        return rows;
    for (const NVSCGDataSourceNodePtr& child : node.children()) {
        if (child->wildcardXPathFromDataSourceXPath(XPath, byName) == XPath) {
            rows.push_back(child);
        } else {
            std::vector<NVSCGDataSourceNodePtr> below = childrenWithXPath(XPath, *child, byName);
            std::move(below.begin(), below.end(), std::back_inserter(rows));
        }
    }
    return rows;
}

void NVSCGDataSource::updateSelectedPropertyOfNodesWithWildcardXPath(const QString& wildcardXPath,
                                                                     bool selected) {
    setSelectedForIdentifiers({wildcardXPath}, selected);
}

void NVSCGDataSource::setSelectedForIdentifiers(const QSet<QString>& identifiers, bool selected) {
    if (identifiers.isEmpty())
        return;
    // One walk for any number of identifiers: a feed has hundreds of thousands of nodes.
    const QString X = m_XPath;
    for (const NVSCGDataSourceNodePtr& root : m_fileContentNodes) {
        visitTree(*root, [&](NVSCGDataSourceNode& node) {
            if (node.selected() != selected && identifiers.contains(node.wildcardXPathFromDataSourceXPath(X)))
                node.setSelected(selected);
        });
    }
}

QStringList NVSCGDataSource::XPaths() const {
    QStringList wildcards;
    QStringList paths;
    for (const NVSCGDataSourceNodePtr& root : m_fileContentNodes) {
        root->forEachDescendant([&](const NVSCGDataSourceNode& node) {
            const QString path = node.XPath();
            if (path.endsWith(QLatin1String("[2]")))
                wildcards.append(QString(path.left(path.size() - 2) + QStringLiteral("*]")));
            paths.append(path);
        });
    }
    return wildcards + paths;
}

NVSIndexSet NVSCGDataSource::activeRows() const {
    QMutexLocker lock(&m_settingsMutex);
    return m_activeRows;
}

void NVSCGDataSource::setActiveRows(const NVSIndexSet& rows) {
    NVSIndexSet changed;
    {
        QMutexLocker lock(&m_settingsMutex);
        if (m_activeRows == rows)
            return;
        std::set_symmetric_difference(m_activeRows.begin(), m_activeRows.end(), rows.begin(), rows.end(),
                                      std::inserter(changed, changed.end()));
        m_activeRows = rows;
    }
    Q_EMIT activeRowsChanged();
    std::lock_guard lock(m_contentMutex);
    for (std::size_t row : changed) {
        if (row < m_contentNodes.size())
            m_contentNodes[row]->announceActiveRowChange();
    }
}

void NVSCGDataSource::setActiveRow(std::size_t row) {
    setActiveRows({row});
}

std::size_t NVSCGDataSource::firstActiveRow() const {
    QMutexLocker lock(&m_settingsMutex);
    return m_activeRows.empty() ? NVSNotFound : *m_activeRows.begin();
}

bool NVSCGDataSource::isActiveRowIndex(std::size_t row) const {
    QMutexLocker lock(&m_settingsMutex);
    return m_activeRows.count(row) != 0;
}
