#include "datasource/ui/DataSourceEditCommands.h"

#include "datasource/NVSCGDataSource.h"

#include <QCoreApplication>
#include <algorithm>

namespace DataSourceEditCommands {

namespace {

QString stepName(SetColumnProperty::Property property) {
    switch (property) {
    case SetColumnProperty::Title:
        return QCoreApplication::translate("DataSourceEditCommands", "Rename Column");
    case SetColumnProperty::Type:
        return QCoreApplication::translate("DataSourceEditCommands", "Change Column Type");
    case SetColumnProperty::Format:
        break;
    }
    return QCoreApplication::translate("DataSourceEditCommands", "Edit Column Format");
}

QVariant valueOf(const NVSCGDataSourceColumn& column, SetColumnProperty::Property property) {
    switch (property) {
    case SetColumnProperty::Title:
        return column.title();
    case SetColumnProperty::Type:
        return column.type();
    case SetColumnProperty::Format:
        break;
    }
    return column.format();
}

std::size_t indexOf(const NVSCGDataSource& dataSource, const NVSCGDataSourceColumnPtr& column) {
    const std::vector<NVSCGDataSourceColumnPtr> columns = dataSource.columns();
    return std::size_t(std::find(columns.begin(), columns.end(), column) - columns.begin());
}

} // namespace

SetColumnProperty::SetColumnProperty(NVSCGDataSource& dataSource, const NVSCGDataSourceColumn& column,
                                     Property property, QVariant value)
    : QUndoCommand(stepName(property)), m_dataSource(dataSource), m_uniqueID(column.uniqueID()),
      m_property(property), m_old(valueOf(column, property)), m_new(std::move(value)) {}

void SetColumnProperty::apply(const QVariant& value) {
    const NVSCGDataSourceColumnPtr column = m_dataSource.columnWithUniqueID(m_uniqueID);
    if (!column)
        return;
    switch (m_property) {
    case Title:
        column->setTitle(value.toString());
        break;
    case Type:
        column->setType(value.toUInt());
        break;
    case Format:
        column->setFormat(value.toString());
        break;
    }
}

void SetColumnProperty::redo() {
    apply(m_new);
}

void SetColumnProperty::undo() {
    apply(m_old);
}

int SetColumnProperty::id() const {
    return m_property == Format ? 0x44534631 : -1;
}

bool SetColumnProperty::mergeWith(const QUndoCommand* other) {
    const auto* next = static_cast<const SetColumnProperty*>(other);
    if (next->m_uniqueID != m_uniqueID)
        return false;
    m_new = next->m_new;
    return true;
}

InsertColumn::InsertColumn(NVSCGDataSource& dataSource, const QString& text,
                           std::function<NVSCGDataSourceColumnPtr()> make)
    : QUndoCommand(text), m_dataSource(dataSource), m_make(std::move(make)) {}

void InsertColumn::redo() {
    if (!m_column) {
        m_column = m_make();
        if (m_column)
            m_index = indexOf(m_dataSource, m_column);
        else
            setObsolete(true);
        return;
    }
    m_dataSource.insertColumns({m_column}, {m_index});
}

void InsertColumn::undo() {
    if (m_column)
        m_dataSource.removeColumnsObject(m_column);
}

RemoveColumn::RemoveColumn(NVSCGDataSource& dataSource, const NVSCGDataSourceColumnPtr& column)
    : QUndoCommand(QCoreApplication::translate("DataSourceEditCommands", "Delete Column")),
      m_dataSource(dataSource), m_column(column), m_index(indexOf(dataSource, column)) {}

void RemoveColumn::redo() {
    m_dataSource.removeColumnsObject(m_column);
}

void RemoveColumn::undo() {
    m_dataSource.insertColumns({m_column}, {m_index});
}

ReorderColumn::ReorderColumn(NVSCGDataSource& dataSource, std::size_t from, std::size_t to)
    : QUndoCommand(QCoreApplication::translate("DataSourceEditCommands", "Move Column")),
      m_dataSource(dataSource), m_from(from), m_to(to) {}

void ReorderColumn::redo() {
    m_dataSource.reorderColumn(m_from, m_to);
}

void ReorderColumn::undo() {
    m_dataSource.reorderColumn(m_to, m_from);
}

} // namespace DataSourceEditCommands

namespace DataSourceEditCommands {

Settings Settings::of(const NVSCGDataSource& dataSource) {
    return {dataSource.dataSourceURL(), dataSource.XPath(), dataSource.columns()};
}

void Settings::restore(NVSCGDataSource& dataSource) const {
    if (dataSource.dataSourceURL() != dataSourceURL) {
        dataSource.setDataSourceURL(dataSourceURL);
        if (!dataSourceURL.isEmpty())
            dataSource.refreshContent();
    }
    if (dataSource.XPath() != XPath)
        dataSource.setXPath(XPath);
    dataSource.setColumns(columns);
}

ChangeSettings::ChangeSettings(NVSCGDataSource& dataSource, Settings before)
    : QUndoCommand(QCoreApplication::translate("DataSourceEditCommands", "Change Data Source Settings")),
      m_dataSource(dataSource), m_before(std::move(before)), m_after(Settings::of(dataSource)) {}

void ChangeSettings::redo() {
    if (!std::exchange(m_applied, false))
        m_after.restore(m_dataSource);
}

void ChangeSettings::undo() {
    m_before.restore(m_dataSource);
}

} // namespace DataSourceEditCommands
