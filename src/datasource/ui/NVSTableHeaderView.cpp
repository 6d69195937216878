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
    if (m_veto && m_veto(event->position().toPoint())) {
        event->accept();
        return;
    }
    QHeaderView::mousePressEvent(event);
}
