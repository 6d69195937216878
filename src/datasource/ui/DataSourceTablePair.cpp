#include "datasource/ui/DataSourceTablePair.h"

#include "datasource/ui/DataSourceEditCommands.h"
#include "datasource/ui/DataSourceTableModel.h"
#include "datasource/ui/NVSTableViewWithEditableHeaders.h"

#include <QHeaderView>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QUndoStack>
#include <algorithm>

DataSourceTablePair::DataSourceTablePair(NVSTableViewWithEditableHeaders& fixed,
                                         NVSTableViewWithEditableHeaders& scrolling,
                                         QAbstractItemModel& model, NVSCGDataSource& dataSource,
                                         QUndoStack& undoStack, QObject* parent)
    : QObject(parent), m_fixed(fixed), m_scrolling(scrolling), m_model(model) {
    fixed.setModel(&model);
    scrolling.setModel(&model);
    // One selection for both: a row selected in one is selected in the other.
    fixed.selectionModel()->deleteLater();
    fixed.setSelectionModel(scrolling.selectionModel());
    for (NVSTableViewWithEditableHeaders* table : {&fixed, &scrolling}) {
        table->setSelectionBehavior(QAbstractItemView::SelectRows);
        table->setSelectionMode(QAbstractItemView::ExtendedSelection);
        table->setEditTriggers(QAbstractItemView::NoEditTriggers);
        table->verticalHeader()->hide();
        table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
        table->verticalHeader()->setDefaultSectionSize(RowHeight);
        table->setWordWrap(false);
        table->setTextElideMode(Qt::ElideRight);
        table->setIconSize(QSize(4 * (RowHeight - 4), RowHeight - 4));
        connect(table, &NVSTableViewWithEditableHeaders::didBecomeFirstResponder, this,
                &DataSourceTablePair::syncEmphasis);
        connect(table, &NVSTableViewWithEditableHeaders::didResignFirstResponder, this,
                &DataSourceTablePair::syncEmphasis);
    }
    hideColumns();
    connect(&model, &QAbstractItemModel::columnsInserted, this, &DataSourceTablePair::hideColumns);
    connect(&model, &QAbstractItemModel::modelReset, this, &DataSourceTablePair::hideColumns);
    fixed.setColumnWidth(DataSourceTableModel::RowNumberColumn, 64);
    fixed.setColumnWidth(DataSourceTableModel::RowSelectionColumn, 64);
    fixed.horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    fixed.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    fixed.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    fixed.setFixedWidth(128 + 2 * fixed.frameWidth());
    fixed.setFocusPolicy(Qt::ClickFocus);
    scrolling.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    fixed.setBottomMargin(scrolling.horizontalScrollBar()->sizeHint().height());
    scrolling.horizontalHeader()->setDefaultSectionSize(160);
    scrolling.horizontalHeader()->setSectionsMovable(true);
    scrolling.horizontalHeader()->setStretchLastSection(false);
    // Both tables scroll together.
    connect(fixed.verticalScrollBar(), &QScrollBar::valueChanged, scrolling.verticalScrollBar(),
            &QScrollBar::setValue);
    connect(scrolling.verticalScrollBar(), &QScrollBar::valueChanged, fixed.verticalScrollBar(),
            &QScrollBar::setValue);

    // A dragged column moves in the document, as an undoable step; the header follows the model.
    connect(scrolling.horizontalHeader(), &QHeaderView::sectionMoved, this,
            [&scrolling, &dataSource, &undoStack](int, int oldVisual, int newVisual) {
                {
                    const QSignalBlocker block(scrolling.horizontalHeader());
                    scrolling.horizontalHeader()->moveSection(newVisual, oldVisual);
                }
                const int first = DataSourceTableModel::FirstDataColumn;
                const int from = oldVisual - first;
                const int to = std::max(newVisual, first) - first;
                if (from >= 0 && from != to)
                    undoStack.push(new DataSourceEditCommands::ReorderColumn(dataSource, std::size_t(from),
                                                                             std::size_t(to)));
            });
}

void DataSourceTablePair::hideColumns() {
    for (int c = 0; c < m_model.columnCount(); ++c) {
        m_fixed.setColumnHidden(c, c >= DataSourceTableModel::FirstDataColumn);
        m_scrolling.setColumnHidden(c, c < DataSourceTableModel::FirstDataColumn);
    }
}

void DataSourceTablePair::syncEmphasis() {
    const bool focused = m_fixed.hasFocus() || m_scrolling.hasFocus();
    m_fixed.setShouldEmphasizeRows(focused);
    m_scrolling.setShouldEmphasizeRows(focused);
}
