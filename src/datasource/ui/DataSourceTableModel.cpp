#include "datasource/ui/DataSourceTableModel.h"

#include "datasource/NVSCGDataSource.h"
#include "datasource/ui/DataSourceEditCommands.h"
#include "datasource/ui/ImageThumbnailLoader.h"

#include <QColor>
#include <QDir>
#include <QFileInfo>
#include <QFont>
#include <QTimer>
#include <QUndoStack>
#include <algorithm>

namespace {

constexpr int ThumbnailHeight = 44;

} // namespace

QString DataSourceTableModel::cellValue(const NVSCGDataSourceNode& node, const NVSCGDataSourceColumn& column,
                                        bool raw) {
    if (column.identifier().isEmpty() && (raw || column.format().isEmpty()))
        return QString();
    return node.stringValueForColum(column, raw);
}

DataSourceTableModel::DataSourceTableModel(NVSCGDataSource& dataSource, QUndoStack* undoStack,
                                           QObject* parent)
    : QAbstractTableModel(parent), m_dataSource(dataSource), m_undoStack(undoStack),
      m_thumbnails(new ImageThumbnailLoader(ThumbnailHeight, this)), m_rows(dataSource.contentNodes()),
      m_XPath(dataSource.XPath()) {
    for (const NVSCGDataSourceColumnPtr& column : dataSource.columns()) {
        m_columns.push_back(column);
        watchColumn(column);
    }
    m_cache.resize(m_rows.size());
    // The model keeps its own copy of both lists and brings it up to date after each change, so
    // views never see a half-changed list.
    for (const auto signal : {&NVSCGDataSource::contentNodesInserted, &NVSCGDataSource::contentNodesRemoved})
        connect(&dataSource, signal, this, &DataSourceTableModel::syncRows);
    connect(&dataSource, &NVSCGDataSource::contentNodesReset, this, &DataSourceTableModel::syncRows);
    for (const auto signal : {&NVSCGDataSource::columnsInserted, &NVSCGDataSource::columnsRemoved})
        connect(&dataSource, signal, this, &DataSourceTableModel::syncColumns);
    connect(&dataSource, &NVSCGDataSource::columnsReset, this, &DataSourceTableModel::syncColumns);
    connect(&dataSource, &NVSCGDataSource::activeRowsChanged, this, [this] {
        if (!m_rows.empty())
            Q_EMIT dataChanged(index(0, RowNumberColumn), index(rowCount() - 1, columnCount() - 1),
                               {Qt::CheckStateRole, Qt::FontRole, Qt::AccessibleTextRole});
    });
    connect(m_thumbnails, &ImageThumbnailLoader::thumbnailReady, this, [this] {
        for (std::size_t c = 0; c < m_columns.size(); ++c) {
            if (m_columns[c]->type() == NVSCGDataSourceColumn::Image && !m_rows.empty())
                Q_EMIT dataChanged(index(0, int(c) + FirstDataColumn),
                                   index(rowCount() - 1, int(c) + FirstDataColumn),
                                   {Qt::DisplayRole, Qt::DecorationRole});
        }
    });
}

DataSourceTableModel::~DataSourceTableModel() = default;

QString DataSourceTableModel::imageFile(const QString& cell) const {
    // A relative path is the data source's own, beside its file, wherever it was started from.
    if (cell.isEmpty() || !QFileInfo(cell).isRelative() || m_dataSource.filePath().isEmpty() ||
        cell.contains(QLatin1String("://")))
        return cell;
    return QFileInfo(m_dataSource.filePath()).dir().filePath(cell);
}

int DataSourceTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_rows.size());
}

int DataSourceTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_columns.size()) + FirstDataColumn;
}

NVSCGDataSourceColumnPtr DataSourceTableModel::dataSourceColumn(int modelColumn) const {
    const int c = modelColumn - FirstDataColumn;
    return c >= 0 && c < int(m_columns.size()) ? m_columns[std::size_t(c)] : nullptr;
}

int DataSourceTableModel::modelColumnOf(const QString& uniqueID) const {
    for (std::size_t c = 0; c < m_columns.size(); ++c) {
        if (m_columns[c]->uniqueID() == uniqueID)
            return int(c) + FirstDataColumn;
    }
    return -1;
}

NVSCGDataSourceNodePtr DataSourceTableModel::rowNode(int row) const {
    return row >= 0 && row < int(m_rows.size()) ? m_rows[std::size_t(row)] : nullptr;
}

const std::vector<QString>& DataSourceTableModel::computeRow(int row) const {
    RowCache& cache = m_cache[std::size_t(row)];
    cache.lastUse = ++m_clock;
    if (cache.display.size() != m_columns.size()) {
        const NVSCGDataSourceNode& node = *m_rows[std::size_t(row)];
        cache.display.clear();
        cache.display.reserve(m_columns.size());
        for (const NVSCGDataSourceColumnPtr& column : m_columns)
            cache.display.push_back(cellValue(node, *column, false));
        m_computedCells += m_columns.size();
        if (++m_cachedRows > CachedRowLimit)
            evictOldRows();
    }
    return cache.display;
}

void DataSourceTableModel::evictOldRows() const {
    // Keep the three quarters used last.
    std::vector<std::uint64_t> uses;
    uses.reserve(m_cachedRows);
    for (const RowCache& cache : m_cache) {
        if (!cache.display.empty())
            uses.push_back(cache.lastUse);
    }
    const std::size_t drop = uses.size() / 4;
    std::nth_element(uses.begin(), uses.begin() + std::ptrdiff_t(drop), uses.end());
    const std::uint64_t oldest = uses[drop];
    for (RowCache& cache : m_cache) {
        if (!cache.display.empty() && cache.lastUse < oldest) {
            cache.display.clear();
            cache.display.shrink_to_fit();
            --m_cachedRows;
        }
    }
}

const QString& DataSourceTableModel::cellText(int row, std::size_t dataColumn) const {
    return computeRow(row)[dataColumn];
}

QVariant DataSourceTableModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const int row = index.row();
    const bool active = m_dataSource.isActiveRowIndex(std::size_t(row));
    if (role == Qt::FontRole) {
        if (!active)
            return {};
        QFont font;
        font.setBold(true);
        return font;
    }
    if (index.column() == RowNumberColumn) {
        if (role == Qt::DisplayRole)
            return row + 1;
        if (role == Qt::TextAlignmentRole)
            return int(Qt::AlignRight | Qt::AlignVCenter);
        return {};
    }
    if (index.column() == RowSelectionColumn) {
        if (role == Qt::CheckStateRole)
            return active ? Qt::Checked : Qt::Unchecked;
        if (role == Qt::ToolTipRole || role == Qt::AccessibleTextRole)
            return active ? tr("Active row") : tr("Make this the active row");
        return {};
    }
    const std::size_t c = std::size_t(index.column() - FirstDataColumn);
    const uint type = m_columns[c]->type();
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole: {
        const QString& text = cellText(row, c);
        // An image cell shows its picture; its path only when the file gives none.
        if (type == NVSCGDataSourceColumn::Image && role == Qt::DisplayRole && !text.isEmpty() &&
            !m_thumbnails->isUnreadable(imageFile(text)))
            return QString();
        return text;
    }
    case Qt::DecorationRole: {
        if (type == NVSCGDataSourceColumn::Image)
            return m_thumbnails->thumbnail(imageFile(cellText(row, c)));
        if (type == NVSCGDataSourceColumn::Color) {
            const QColor color = QColor::fromString(cellText(row, c).trimmed());
            return color.isValid() ? QVariant(color) : QVariant();
        }
        return {};
    }
    case Qt::ToolTipRole:
        return type == NVSCGDataSourceColumn::Text ? QVariant() : QVariant(cellText(row, c));
    case Qt::AccessibleTextRole:
        return cellText(row, c);
    case RawValueRole:
        return cellValue(*m_rows[std::size_t(row)], *m_columns[c], true);
    default:
        return {};
    }
}

bool DataSourceTableModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid) || index.column() != RowSelectionColumn ||
        role != Qt::CheckStateRole)
        return false;
    // The active row is the operator's pointer into the rows, not a change to the document.
    if (value.toInt() == Qt::Checked)
        m_dataSource.setActiveRows({std::size_t(index.row())});
    else if (m_dataSource.isActiveRowIndex(std::size_t(index.row())))
        m_dataSource.setActiveRows({});
    return true;
}

Qt::ItemFlags DataSourceTableModel::flags(const QModelIndex& index) const {
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (index.column() == RowSelectionColumn)
        flags |= Qt::ItemIsUserCheckable;
    return flags;
}

QVariant DataSourceTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Vertical)
        return role == Qt::DisplayRole ? QVariant(section + 1) : QVariant();
    if (section == RowNumberColumn)
        return role == Qt::DisplayRole ? QVariant(tr("#")) : QVariant();
    if (section == RowSelectionColumn)
        return role == Qt::DisplayRole ? QVariant(tr("Active")) : QVariant();
    const NVSCGDataSourceColumnPtr column = dataSourceColumn(section);
    if (!column)
        return {};
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        return column->title();
    case Qt::ToolTipRole:
        return column->identifier().isEmpty() ? tr("Custom column") : column->identifier();
    case ColumnUniqueIDRole:
        return column->uniqueID();
    case ColumnTypeRole:
        return column->type();
    default:
        return {};
    }
}

bool DataSourceTableModel::setHeaderData(int section, Qt::Orientation orientation, const QVariant& value,
                                         int role) {
    const NVSCGDataSourceColumnPtr column = dataSourceColumn(section);
    if (orientation != Qt::Horizontal || role != Qt::EditRole || !column)
        return false;
    const QString title = value.toString();
    if (title == column->title())
        return true;
    if (m_undoStack)
        m_undoStack->push(new DataSourceEditCommands::SetColumnProperty(
            m_dataSource, *column, DataSourceEditCommands::SetColumnProperty::Title, title));
    else
        column->setTitle(title);
    return true;
}

bool DataSourceTableModel::rowContains(int row, const QString& text) const {
    if (text.isEmpty())
        return true;
    if (row < 0 || row >= int(m_rows.size()))
        return false;
    RowCache& cache = m_cache[std::size_t(row)];
    if (cache.raw.size() != m_columns.size()) {
        const NVSCGDataSourceNode& node = *m_rows[std::size_t(row)];
        cache.raw.clear();
        cache.raw.reserve(m_columns.size());
        for (const NVSCGDataSourceColumnPtr& column : m_columns)
            cache.raw.push_back(cellValue(node, *column, true));
    }
    return std::any_of(cache.raw.begin(), cache.raw.end(),
                       [&](const QString& value) { return value.contains(text, Qt::CaseSensitive); });
}

void DataSourceTableModel::reloadImages() {
    m_thumbnails->clear();
    Q_EMIT m_thumbnails->thumbnailReady(QString());
}

void DataSourceTableModel::announceRows(const std::vector<int>& rows, int firstColumn, int lastColumn,
                                        const QList<int>& roles) {
    // Neighbouring rows in one signal.
    for (std::size_t i = 0; i < rows.size();) {
        std::size_t j = i;
        while (j + 1 < rows.size() && rows[j + 1] == rows[j] + 1)
            ++j;
        Q_EMIT dataChanged(index(rows[i], firstColumn), index(rows[j], lastColumn), roles);
        i = j + 1;
    }
}

void DataSourceTableModel::syncRows() {
    std::vector<NVSCGDataSourceNodePtr> rows = m_dataSource.contentNodes();
    // This copy may hold the last references to the previous feed: it is freed once the views
    // have been told, not before.
    QTimer::singleShot(0, this, [previous = m_rows] {});
    if (m_dataSource.XPath() != m_XPath) {
        // Other elements altogether: nothing on screen stays.
        beginResetModel();
        m_XPath = m_dataSource.XPath();
        m_rows = std::move(rows);
        m_cache.assign(m_rows.size(), RowCache());
        m_cachedRows = 0;
        endResetModel();
        Q_EMIT rowsRefreshed();
        return;
    }
    const int before = int(m_rows.size());
    const int after = int(rows.size());
    if (after < before) {
        beginRemoveRows({}, after, before - 1);
        m_rows.resize(std::size_t(after));
        for (std::size_t r = std::size_t(after); r < m_cache.size(); ++r)
            m_cachedRows -= m_cache[r].display.empty() ? 0 : 1;
        m_cache.resize(std::size_t(after));
        endRemoveRows();
    }
    // The same rows with new elements: compare the texts that were on show, forget the others.
    std::vector<int> changed;
    const int common = std::min(before, after);
    for (int r = 0; r < common; ++r) {
        m_rows[std::size_t(r)] = rows[std::size_t(r)];
        RowCache& cache = m_cache[std::size_t(r)];
        cache.raw.clear();
        if (cache.display.empty())
            continue;
        std::vector<QString> old = std::move(cache.display);
        cache.display.clear();
        --m_cachedRows;
        if (computeRow(r) != old)
            changed.push_back(r);
    }
    if (after > before) {
        beginInsertRows({}, before, after - 1);
        m_rows.insert(m_rows.end(), rows.begin() + before, rows.end());
        m_cache.resize(std::size_t(after));
        endInsertRows();
    }
    if (!m_columns.empty())
        announceRows(changed, FirstDataColumn, columnCount() - 1);
    Q_EMIT rowsRefreshed();
}

void DataSourceTableModel::watchColumn(const NVSCGDataSourceColumnPtr& column) {
    NVSCGDataSourceColumn* watched = column.get();
    connect(watched, &NVSCGDataSourceColumn::titleChanged, this, [this, watched] {
        for (std::size_t c = 0; c < m_columns.size(); ++c) {
            if (m_columns[c].get() == watched)
                Q_EMIT headerDataChanged(Qt::Horizontal, int(c) + FirstDataColumn, int(c) + FirstDataColumn);
        }
    });
    // Formats may refer to any column: a change to one may change the texts of all.
    for (const auto signal : {&NVSCGDataSourceColumn::formatChanged, &NVSCGDataSourceColumn::typeChanged,
                              &NVSCGDataSourceColumn::identifierChanged})
        connect(watched, signal, this, &DataSourceTableModel::cellsChanged);
}

void DataSourceTableModel::cellsChanged() {
    for (RowCache& cache : m_cache) {
        cache.display.clear();
        cache.raw.clear();
    }
    m_cachedRows = 0;
    if (!m_rows.empty() && !m_columns.empty())
        Q_EMIT dataChanged(index(0, FirstDataColumn), index(rowCount() - 1, columnCount() - 1));
    Q_EMIT headerDataChanged(Qt::Horizontal, FirstDataColumn, columnCount() - 1);
    Q_EMIT rowsRefreshed();
}

void DataSourceTableModel::syncColumns() {
    const std::vector<NVSCGDataSourceColumnPtr> wanted = m_dataSource.columns();
    const auto isWanted = [&](const NVSCGDataSourceColumnPtr& column) {
        return std::find(wanted.begin(), wanted.end(), column) != wanted.end();
    };
    // Cached texts are per position: they go with any change of the list.
    for (RowCache& cache : m_cache) {
        cache.display.clear();
        cache.raw.clear();
    }
    m_cachedRows = 0;
    // Columns no longer there go; the others keep their place; new ones come in at theirs.
    for (int c = int(m_columns.size()) - 1; c >= 0; --c) {
        if (isWanted(m_columns[std::size_t(c)]))
            continue;
        beginRemoveColumns({}, c + FirstDataColumn, c + FirstDataColumn);
        disconnect(m_columns[std::size_t(c)].get(), nullptr, this, nullptr);
        m_columns.erase(m_columns.begin() + c);
        endRemoveColumns();
    }
    for (std::size_t i = 0; i < wanted.size(); ++i) {
        if (i < m_columns.size() && m_columns[i] == wanted[i])
            continue;
        const auto found = std::find(m_columns.begin() + std::ptrdiff_t(i), m_columns.end(), wanted[i]);
        if (found != m_columns.end()) {
            const int from = int(found - m_columns.begin());
            beginMoveColumns({}, from + FirstDataColumn, from + FirstDataColumn, {},
                             int(i) + FirstDataColumn);
            NVSCGDataSourceColumnPtr moved = *found;
            m_columns.erase(found);
            m_columns.insert(m_columns.begin() + std::ptrdiff_t(i), std::move(moved));
            endMoveColumns();
            continue;
        }
        beginInsertColumns({}, int(i) + FirstDataColumn, int(i) + FirstDataColumn);
        m_columns.insert(m_columns.begin() + std::ptrdiff_t(i), wanted[i]);
        watchColumn(wanted[i]);
        endInsertColumns();
    }
    if (!m_rows.empty() && !m_columns.empty())
        Q_EMIT dataChanged(index(0, FirstDataColumn), index(rowCount() - 1, columnCount() - 1));
    Q_EMIT rowsRefreshed();
}
