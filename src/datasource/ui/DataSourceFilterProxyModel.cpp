#include "datasource/ui/DataSourceFilterProxyModel.h"

#include "datasource/ui/DataSourceTableModel.h"

DataSourceFilterProxyModel::DataSourceFilterProxyModel(DataSourceTableModel& source, QObject* parent)
    : QSortFilterProxyModel(parent), m_source(source) {
    setSourceModel(&source);
    // Only the filter text decides: a changed cell does not hide its row until the filter is
    // looked at again, after the refresh.
    setDynamicSortFilter(false);
    connect(&source, &DataSourceTableModel::rowsRefreshed, this, [this] {
        if (!m_filterString.isEmpty())
            invalidateRowsFilter();
    });
}

void DataSourceFilterProxyModel::setFilterString(const QString& text) {
    if (text == m_filterString)
        return;
    m_filterString = text;
    invalidateRowsFilter();
}

bool DataSourceFilterProxyModel::filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const {
    return !sourceParent.isValid() && m_source.rowContains(sourceRow, m_filterString);
}
