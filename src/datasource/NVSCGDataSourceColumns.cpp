// NVSCGDataSource: the column list and tokens.
#include "datasource/NVSCGDataSource.h"
#include "datasource/NVSCGDataSourceTokenizer.h"

#include <algorithm>

std::vector<NVSCGDataSourceColumnPtr> NVSCGDataSource::columns() const {
    std::lock_guard lock(m_columnsMutex);
    return m_columns;
}

std::size_t NVSCGDataSource::countOfColumns() const {
    std::lock_guard lock(m_columnsMutex);
    return m_columns.size();
}

QSet<QString> NVSCGDataSource::columnIdentifiers() const {
    std::lock_guard lock(m_columnsMutex);
    QSet<QString> identifiers;
    for (const NVSCGDataSourceColumnPtr& column : m_columns) {
        const QString identifier = column->identifier();
        if (!identifier.isNull())
            identifiers.insert(identifier);
    }
    return identifiers;
}

void NVSCGDataSource::setColumns(const std::vector<NVSCGDataSourceColumnPtr>& columns) {
    std::lock_guard lock(m_columnsMutex);
    if (columns == m_columns)
        return;
    Q_EMIT columnsAboutToBeReset();
    ++m_columnsResetDepth;
    removeColumnsAtIndexes(NVSIndexSetWithRange(0, m_columns.size()));
    insertColumns(columns, NVSIndexSetWithRange(0, columns.size()));
    --m_columnsResetDepth;
    Q_EMIT columnsReset();
}

NVSCGDataSourceColumnPtr NVSCGDataSource::columnAtIndex(std::size_t index) const {
    std::lock_guard lock(m_columnsMutex);
    return index < m_columns.size() ? m_columns[index] : nullptr;
}

std::vector<NVSCGDataSourceColumnPtr> NVSCGDataSource::columnsAtIndexes(const NVSIndexSet& indexes) const {
    std::lock_guard lock(m_columnsMutex);
    std::vector<NVSCGDataSourceColumnPtr> result;
    for (std::size_t index : indexes) {
        if (index < m_columns.size())
            result.push_back(m_columns[index]);
    }
    return result;
}

NVSCGDataSourceColumnPtr NVSCGDataSource::columnWithUniqueID(const QString& uniqueID) const {
    std::lock_guard lock(m_columnsMutex);
    for (const NVSCGDataSourceColumnPtr& column : m_columns) {
        if (column->uniqueID() == uniqueID)
            return column;
    }
    return nullptr;
}

NVSCGDataSourceColumnPtr NVSCGDataSource::columnWithIdentifier(const QString& identifier) const {
    const std::size_t index = indexOfColumnWithIdentifier(identifier);
    return index == NVSNotFound ? nullptr : columnAtIndex(index);
}

std::size_t NVSCGDataSource::indexOfColumnWithIdentifier(const QString& identifier) const {
    std::lock_guard lock(m_columnsMutex);
    for (std::size_t i = 0; i < m_columns.size(); ++i) {
        const QString own = m_columns[i]->identifier();
        if (own == identifier && own.isNull() == identifier.isNull())
            return i;
    }
    return NVSNotFound;
}

void NVSCGDataSource::addColumn(const NVSCGDataSourceColumnPtr& column) {
    std::lock_guard lock(m_columnsMutex);
    insertColumns({column}, {m_columns.size()});
}

NVSCGDataSourceColumnPtr NVSCGDataSource::addNewColumnAtIndex(std::size_t index) {
    std::lock_guard lock(m_columnsMutex);
    auto column = std::make_shared<NVSCGDataSourceColumn>();
    column->setTitle(QStringLiteral(""));
    insertColumns({column}, {std::min(index, m_columns.size())});
    return column;
}

void NVSCGDataSource::addColumnWithTitle(const QString& title, const QString& identifier) {
    std::lock_guard lock(m_columnsMutex);
    if (indexOfColumnWithIdentifier(identifier) != NVSNotFound)
        return;
    addColumn(std::make_shared<NVSCGDataSourceColumn>(title, identifier));
}

void NVSCGDataSource::insertColumns(const std::vector<NVSCGDataSourceColumnPtr>& columns,
                                    const NVSIndexSet& indexes) {
    if (indexes.empty() || indexes.size() != columns.size())
        return;
    std::lock_guard lock(m_columnsMutex);
    if (m_columnsResetDepth == 0)
        Q_EMIT columnsAboutToBeInserted(indexes);
    auto column = columns.begin();
    for (std::size_t index : indexes) {
        const std::size_t at = std::min(index, m_columns.size());
        m_columns.insert(m_columns.begin() + std::ptrdiff_t(at), *column++);
    }
    if (m_columnsResetDepth == 0)
        Q_EMIT columnsInserted(indexes);
    setSelectedForIdentifiers(columnIdentifiers(), true);
}

NVSCGDataSourceColumnPtr NVSCGDataSource::duplicateColumn(const NVSCGDataSourceColumnPtr& column) {
    std::lock_guard lock(m_columnsMutex);
    const auto found = std::find(m_columns.begin(), m_columns.end(), column);
    if (!column || found == m_columns.end())
        return nullptr;
    auto copy = std::make_shared<NVSCGDataSourceColumn>(column->dictionaryRepresentation());
    copy->generateNewUUID();
    insertColumns({copy}, {std::size_t(found - m_columns.begin()) + 1});
    return copy;
}

void NVSCGDataSource::removeColumnsObject(const NVSCGDataSourceColumnPtr& column) {
    std::lock_guard lock(m_columnsMutex);
    const auto found = std::find(m_columns.begin(), m_columns.end(), column);
    if (found != m_columns.end())
        removeColumnsAtIndexes({std::size_t(found - m_columns.begin())});
}

void NVSCGDataSource::removeColumnsAtIndexes(const NVSIndexSet& indexes) {
    std::lock_guard lock(m_columnsMutex);
    NVSIndexSet valid;
    QSet<QString> removedIdentifiers;
    for (std::size_t index : indexes) {
        if (index < m_columns.size()) {
            valid.insert(valid.end(), index);
            removedIdentifiers.insert(m_columns[index]->identifier());
        }
    }
    if (valid.empty())
        return;
    if (m_columnsResetDepth == 0)
        Q_EMIT columnsAboutToBeRemoved(valid);
    for (auto it = valid.rbegin(); it != valid.rend(); ++it)
        m_columns.erase(m_columns.begin() + std::ptrdiff_t(*it));
    if (m_columnsResetDepth == 0)
        Q_EMIT columnsRemoved(valid);
    // An element another column still reads stays selected.
    removedIdentifiers.subtract(columnIdentifiers());
    removedIdentifiers.remove(QString());
    setSelectedForIdentifiers(removedIdentifiers, false);
}

void NVSCGDataSource::removeColumnWithIdentifier(const QString& identifier) {
    std::lock_guard lock(m_columnsMutex);
    const std::size_t index = indexOfColumnWithIdentifier(identifier);
    if (index != NVSNotFound)
        removeColumnsAtIndexes({index});
}

void NVSCGDataSource::reorderColumn(std::size_t fromIndex, std::size_t toIndex) {
    std::lock_guard lock(m_columnsMutex);
    if (fromIndex >= m_columns.size())
        return;
    Q_EMIT columnsAboutToBeReset();
    NVSCGDataSourceColumnPtr column = m_columns[fromIndex];
    m_columns.erase(m_columns.begin() + std::ptrdiff_t(fromIndex));
    m_columns.insert(m_columns.begin() + std::ptrdiff_t(std::min(toIndex, m_columns.size())), column);
    Q_EMIT columnsReset();
}

// ---- Tokens

QVariantList NVSCGDataSource::tokenizeString(const QString& text) const {
    QVariantList items;
    for (const NVSCGDataSourceTokenizer::Item& item : NVSCGDataSourceTokenizer::split(text)) {
        if (item.isToken)
            items.append(tokenDictionaryFromTokenString(item.text.toString()));
        else
            items.append(item.text.toString());
    }
    return items;
}

bool NVSCGDataSource::isToken(const QString& text) {
    return NVSCGDataSourceTokenizer::isToken(text);
}

QString NVSCGDataSource::tokenString(const QString& tokenText) {
    return NVSCGDataSourceTokenizer::tokenString(tokenText);
}

QVariantMap NVSCGDataSource::tokenDictionaryFromTokenString(const QString& tokenText) const {
    const QString uniqueID = tokenString(tokenText);
    const NVSCGDataSourceColumnPtr column = columnWithUniqueID(uniqueID);
    const QString title =
        column && !column->title().isNull() ? column->title() : QStringLiteral("Column Missing");
    return {{QStringLiteral("tokenTitle"), title},
            {QStringLiteral("tokenCode"), tokenText},
            {QStringLiteral("tokenUID"), uniqueID}};
}
