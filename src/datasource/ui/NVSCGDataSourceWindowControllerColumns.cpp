#include "datasource/NVSCGDataSource.h"
#include "datasource/NVSCGDataSourceConstants.h"
#include "datasource/ui/ColumnContextMenu.h"
#include "datasource/ui/ColumnFormatPopover.h"
#include "datasource/ui/DataSourceEditCommands.h"
#include "datasource/ui/DataSourceFilterProxyModel.h"
#include "datasource/ui/DataSourceTableModel.h"
#include "datasource/ui/NVSCGDataSourceTokenField.h"
#include "datasource/ui/NVSCGDataSourceWindowController.h"
#include "datasource/ui/NVSTableHeaderView.h"
#include "datasource/ui/NVSTableViewWithEditableHeaders.h"
#include "platform/ui/SetValueCommand.h"
#include "ui_NVSCGDataSourceWindowController.h"

#include <QUndoStack>

// The data-source window's column menu: the column it acts on, its actions (rename, type, delete,
// duplicate, custom columns) and the format popover of a custom column. The rest of the window is
// in NVSCGDataSourceWindowController.cpp.

void NVSCGDataSourceWindowController::setContextColumn(int dataColumnIndex, const QPoint& headerPosition) {
    m_contextColumnIndex = dataColumnIndex;
    m_contextColumn = m_dataSource.columnAtIndex(std::size_t(std::max(dataColumnIndex, 0)));
    if (dataColumnIndex < 0)
        m_contextColumn.reset();
    m_menuEventLocationInHeaderView = headerPosition;
    m_headerMenu->setColumn(m_contextColumn.get());
}

void NVSCGDataSourceWindowController::contextFromCurrentColumn() {
    const int column = m_ui->scrollingTableView->currentIndex().column();
    const int index = column - DataSourceTableModel::FirstDataColumn;
    QHeaderView* header = m_ui->scrollingTableView->horizontalHeader();
    setContextColumn(
        index >= 0 ? index : -1,
        QPoint(index >= 0 ? header->sectionViewportPosition(column) + 8 : 8, header->height() / 2));
}

QMenu* NVSCGDataSourceWindowController::tableHeaderViewContextualMenu() const {
    return m_headerMenu;
}

QMenu* NVSCGDataSourceWindowController::columnTypeMenu() const {
    return m_headerMenu->typeMenu();
}

NVSCGDataSourceColumnPtr NVSCGDataSourceWindowController::contextualMenuDataSourceColumn() const {
    return m_contextColumn;
}

QMenu* NVSCGDataSourceWindowController::menuForHeaderPosition(const QPoint& position) {
    const int section = m_ui->scrollingTableView->horizontalHeader()->logicalIndexAt(position);
    if (section < DataSourceTableModel::FirstDataColumn)
        return nullptr;
    setContextColumn(section - DataSourceTableModel::FirstDataColumn, position);
    return m_headerMenu;
}

void NVSCGDataSourceWindowController::columnContextualMenuRenameMenuItemAction() {
    if (m_contextColumnIndex >= 0)
        m_ui->scrollingTableView->editHeaderOfColumnAtIndex(m_contextColumnIndex +
                                                            DataSourceTableModel::FirstDataColumn);
}

void NVSCGDataSourceWindowController::columnContextualMenuTypeMenuItemAction(uint type) {
    if (m_contextColumn && m_contextColumn->type() != type)
        m_undoStack->push(new DataSourceEditCommands::SetColumnProperty(
            m_dataSource, *m_contextColumn, DataSourceEditCommands::SetColumnProperty::Type, type));
}

void NVSCGDataSourceWindowController::columnContextualMenuDeleteMenuItemAction() {
    if (!m_contextColumn)
        return;
    if (m_popover->columnBeingEdited() == m_contextColumn)
        m_popover->hide();
    m_undoStack->push(new DataSourceEditCommands::RemoveColumn(m_dataSource, m_contextColumn));
    m_contextColumn.reset();
    m_contextColumnIndex = -1;
}

void NVSCGDataSourceWindowController::columnContextualMenuDuplicateMenuItemAction() {
    if (!m_contextColumn)
        return;
    const NVSCGDataSourceColumnPtr original = m_contextColumn;
    m_undoStack->push(
        new DataSourceEditCommands::InsertColumn(m_dataSource, tr("Duplicate Column"), [this, original] {
            return m_dataSource.duplicateColumn(original);
        }));
}

void NVSCGDataSourceWindowController::columnContextualMenuAddCustomColumnMenuItemAction() {
    const std::size_t at = std::size_t(m_contextColumnIndex + 1);
    auto* step = new DataSourceEditCommands::InsertColumn(m_dataSource, tr("Add Custom Column"), [this, at] {
        // Untitled, as every new column is, until the operator names it.
        return m_dataSource.addNewColumnAtIndex(at);
    });
    m_undoStack->push(step);
    const NVSCGDataSourceColumnPtr column = m_dataSource.columnAtIndex(at);
    if (!column)
        return;
    const int section = m_model->modelColumnOf(column->uniqueID());
    QHeaderView* header = m_ui->scrollingTableView->horizontalHeader();
    m_ui->scrollingTableView->scrollTo(m_filter->index(0, section));
    setContextColumn(int(at), QPoint(header->sectionViewportPosition(section) + 8, header->height()));
    showCustomColumnSettingsForColumn(column);
}

void NVSCGDataSourceWindowController::columnContextualMenuEditCustomColumnMenuItemAction() {
    if (m_contextColumn)
        showCustomColumnSettingsForColumn(m_contextColumn);
}

void NVSCGDataSourceWindowController::showCustomColumnSettingsForColumn(
    const NVSCGDataSourceColumnPtr& column) {
    QHeaderView* header = m_ui->scrollingTableView->horizontalHeader();
    const QPoint below(m_menuEventLocationInHeaderView.x(), header->height());
    m_popover->showForColumn(column, header->mapToGlobal(below));
}

bool NVSCGDataSourceWindowController::isEditingColumnFormat() const {
    return m_popover->isEditingColumnFormat();
}

bool NVSCGDataSourceWindowController::shouldSwallowPress(const QPoint& position) {
    if (!isEditingColumnFormat())
        return false;
    const int section = m_ui->scrollingTableView->columnAt(std::max(position.x(), 0));
    const NVSCGDataSourceColumnPtr column = m_model->dataSourceColumn(section);
    // Where there is no column, the press goes nowhere.
    if (!column)
        return true;
    m_popover->insertColumnToken(column->uniqueID());
    m_popover->activateWindow();
    m_popover->tokenField()->setFocus();
    return true;
}
