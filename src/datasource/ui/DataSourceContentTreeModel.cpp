#include "datasource/ui/DataSourceContentTreeModel.h"

#include "datasource/NVSCGDataSource.h"
#include "datasource/NVSCGDataSourceNodeNotifier.h"
#include "datasource/ui/DataSourceEditCommands.h"

#include <QUndoStack>

struct DataSourceContentTreeModel::Item {
    NVSCGDataSourceNode* node = nullptr;
    Item* parent = nullptr;
    int row = 0;
    bool childrenMade = false;
    std::vector<std::unique_ptr<Item>> children;
};

DataSourceContentTreeModel::DataSourceContentTreeModel(NVSCGDataSource& dataSource, QUndoStack* undoStack,
                                                       QObject* parent)
    : QAbstractItemModel(parent), m_dataSource(dataSource), m_undoStack(undoStack) {
    rebuild();
    connect(&dataSource, &NVSCGDataSource::fileContentNodesChanged, this, [this] {
        beginResetModel();
        rebuild();
        endResetModel();
    });
}

DataSourceContentTreeModel::~DataSourceContentTreeModel() = default;

void DataSourceContentTreeModel::rebuild() {
    for (NVSCGDataSourceNodeNotifier* notifier : std::as_const(m_watched))
        disconnect(notifier, nullptr, this, nullptr);
    m_watched.clear();
    m_roots = m_dataSource.fileContentNodes();
    m_invisibleRoot = std::make_unique<Item>();
    m_invisibleRoot->childrenMade = true;
    m_nodeCount = 0;
    for (std::size_t r = 0; r < m_roots.size(); ++r) {
        auto made = std::make_unique<Item>();
        made->node = m_roots[r].get();
        made->parent = m_invisibleRoot.get();
        made->row = int(r);
        m_invisibleRoot->children.push_back(std::move(made));
        ++m_nodeCount;
        m_roots[r]->forEachDescendant([this](const NVSCGDataSourceNode&) { ++m_nodeCount; });
    }
}

DataSourceContentTreeModel::Item* DataSourceContentTreeModel::item(const QModelIndex& index) const {
    return index.isValid() ? static_cast<Item*>(index.internalPointer()) : m_invisibleRoot.get();
}

NVSCGDataSourceNode* DataSourceContentTreeModel::node(const QModelIndex& index) const {
    return index.isValid() ? item(index)->node : nullptr;
}

const std::vector<std::unique_ptr<DataSourceContentTreeModel::Item>>&
DataSourceContentTreeModel::childrenOf(Item* parent) const {
    if (!parent->childrenMade) {
        parent->childrenMade = true;
        const std::vector<NVSCGDataSourceNodePtr>& nodes = parent->node->children();
        parent->children.reserve(nodes.size());
        for (std::size_t r = 0; r < nodes.size(); ++r) {
            auto made = std::make_unique<Item>();
            made->node = nodes[r].get();
            made->parent = parent;
            made->row = int(r);
            parent->children.push_back(std::move(made));
        }
    }
    return parent->children;
}

QModelIndex DataSourceContentTreeModel::index(int row, int column, const QModelIndex& parent) const {
    if (!hasIndex(row, column, parent))
        return {};
    Item* child = childrenOf(item(parent))[std::size_t(row)].get();
    if (column == TitleColumn && child->node->selectable()) {
        // The check box follows the columns, whoever changes them.
        NVSCGDataSourceNodeNotifier* notifier = child->node->notifier();
        if (!m_watched.contains(notifier)) {
            m_watched.insert(notifier);
            auto* self = const_cast<DataSourceContentTreeModel*>(this);
            const QPersistentModelIndex persistent = createIndex(row, column, child);
            connect(notifier, &NVSCGDataSourceNodeNotifier::selectedChanged, self, [self, persistent] {
                if (persistent.isValid())
                    Q_EMIT self->dataChanged(persistent, persistent, {Qt::CheckStateRole});
            });
        }
    }
    return createIndex(row, column, child);
}

QModelIndex DataSourceContentTreeModel::parent(const QModelIndex& child) const {
    if (!child.isValid())
        return {};
    Item* parent = item(child)->parent;
    if (!parent || parent == m_invisibleRoot.get())
        return {};
    return createIndex(parent->row, 0, parent);
}

int DataSourceContentTreeModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid() && parent.column() != TitleColumn)
        return 0;
    Item* it = item(parent);
    return it == m_invisibleRoot.get() ? int(it->children.size()) : int(it->node->children().size());
}

int DataSourceContentTreeModel::columnCount(const QModelIndex&) const {
    return 2;
}

bool DataSourceContentTreeModel::hasChildren(const QModelIndex& parent) const {
    return rowCount(parent) > 0;
}

QVariant DataSourceContentTreeModel::data(const QModelIndex& index, int role) const {
    const NVSCGDataSourceNode* n = node(index);
    if (!n)
        return {};
    if (index.column() == ValueColumn) {
        if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
            return {};
        return n->children().empty() ? n->stringValue().simplified().left(200) : QString();
    }
    switch (role) {
    case Qt::DisplayRole:
        return n->title();
    case Qt::ToolTipRole:
    case XPathRole:
        return n->XPath();
    case Qt::CheckStateRole:
        if (!n->selectable())
            return {};
        return n->selected() ? Qt::Checked : Qt::Unchecked;
    default:
        return {};
    }
}

bool DataSourceContentTreeModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    NVSCGDataSourceNode* n = node(index);
    if (!n || role != Qt::CheckStateRole || index.column() != TitleColumn || !n->selectable())
        return false;
    toggle(*n, value.toInt() == Qt::Checked);
    return true;
}

void DataSourceContentTreeModel::toggle(NVSCGDataSourceNode& node, bool on) {
    const QString path = node.wildcardXPathFromDataSourceXPath(m_dataSource.XPath());
    if (path.isEmpty())
        return;
    NVSCGDataSource& dataSource = m_dataSource;
    if (on) {
        if (dataSource.columnWithIdentifier(path))
            return;
        const QString title = node.title();
        auto* step = new DataSourceEditCommands::InsertColumn(
            dataSource, tr("Add Column %1").arg(title), [&dataSource, title, path] {
                dataSource.addColumnWithTitle(title, path);
                return dataSource.columnWithIdentifier(path);
            });
        if (m_undoStack)
            m_undoStack->push(step);
        else {
            step->redo();
            delete step;
        }
        return;
    }
    const NVSCGDataSourceColumnPtr column = dataSource.columnWithIdentifier(path);
    if (!column)
        return;
    auto* step = new DataSourceEditCommands::RemoveColumn(dataSource, column);
    if (m_undoStack)
        m_undoStack->push(step);
    else {
        step->redo();
        delete step;
    }
}

QVariant DataSourceContentTreeModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    return section == TitleColumn ? tr("Element") : tr("Value");
}

Qt::ItemFlags DataSourceContentTreeModel::flags(const QModelIndex& index) const {
    const NVSCGDataSourceNode* n = node(index);
    if (!n)
        return Qt::NoItemFlags;
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (index.column() == TitleColumn && n->selectable())
        flags |= Qt::ItemIsUserCheckable;
    return flags;
}
