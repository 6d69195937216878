#include "datasource/ui/NVSTableHeaderView.h"

#include <QContextMenuEvent>
#include <QMouseEvent>

NVSTableHeaderView::NVSTableHeaderView(QWidget* parent) : QHeaderView(Qt::Horizontal, parent) {
    setSectionsClickable(true);
    setHighlightSections(true);
}

void NVSTableHeaderView::contextMenuEvent(QContextMenuEvent* event) {
    Q_EMIT menuRequested(event->pos(), logicalIndexAt(event->pos()));
    event->accept();
}

void NVSTableHeaderView::mousePressEvent(QMouseEvent* event) {
    // Only a plain left click inserts a token; a right click still opens the column's menu.
    if (event->button() == Qt::LeftButton && m_veto && m_veto(event->position().toPoint())) {
        event->accept();
        return;
    }
    QHeaderView::mousePressEvent(event);
}
