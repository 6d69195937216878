#include "datasource/ui/ColumnContextMenu.h"

#include "datasource/NVSCGDataSourceColumn.h"

#include <QActionGroup>

namespace {

QString typeName(uint type) {
    switch (type) {
    case NVSCGDataSourceColumn::Image:
        return QObject::tr("&Image");
    case NVSCGDataSourceColumn::Color:
        return QObject::tr("&Color");
    default:
        return QObject::tr("&Text");
    }
}

} // namespace

ColumnContextMenu::ColumnContextMenu(Commands commands, QWidget* parent)
    : QMenu(parent), m_typeMenu(new QMenu(tr("Column &Type"), this)), m_typeActions(new QActionGroup(this)) {
    addAction(tr("&Rename Column"), this, commands.rename);
    for (uint type : {uint(NVSCGDataSourceColumn::Text), uint(NVSCGDataSourceColumn::Image),
                      uint(NVSCGDataSourceColumn::Color)}) {
        QAction* item = m_typeMenu->addAction(typeName(type), this,
                                              [setType = commands.setType, type] { setType(type); });
        item->setCheckable(true);
        item->setData(type);
        m_typeActions->addAction(item);
    }
    addMenu(m_typeMenu);
    addSeparator();
    addAction(tr("D&uplicate Column"), this, commands.duplicate);
    addAction(tr("&Delete Column"), this, commands.remove);
    addSeparator();
    m_addCustom = addAction(tr("&Add Custom Column"), this, commands.addCustom);
    addAction(tr("&Edit Column Format…"), this, commands.editFormat);
}

void ColumnContextMenu::setColumn(const NVSCGDataSourceColumn* column) {
    for (QAction* item : m_typeActions->actions())
        item->setChecked(column && item->data().toUInt() == column->type());
    for (QAction* item : actions()) {
        if (item->menu() != m_typeMenu && !item->isSeparator())
            item->setEnabled(column != nullptr || item == m_addCustom);
    }
    m_typeMenu->setEnabled(column != nullptr);
}
