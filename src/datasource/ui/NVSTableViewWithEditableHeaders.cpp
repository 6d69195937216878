#include "datasource/ui/NVSTableViewWithEditableHeaders.h"

#include "datasource/ui/NVSTableHeaderFieldEditor.h"
#include "datasource/ui/NVSTableHeaderView.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QStyle>

NVSTableViewWithEditableHeaders::NVSTableViewWithEditableHeaders(QWidget* parent)
    : QTableView(parent), m_header(new NVSTableHeaderView(this)) {
    setHorizontalHeader(m_header);
    m_fieldEditor = new NVSTableHeaderFieldEditor(m_header->viewport());
    connect(m_fieldEditor, &NVSTableHeaderFieldEditor::committed, this,
            &NVSTableViewWithEditableHeaders::commitTitle);
    connect(m_header, &QHeaderView::sectionDoubleClicked, this,
            &NVSTableViewWithEditableHeaders::editHeaderOfColumnAtIndex);
    // A resized or moved section takes its editor along by ending the edit.
    connect(m_header, &QHeaderView::sectionResized, m_fieldEditor,
            &NVSTableHeaderFieldEditor::switchEditingTarget);
    connect(m_header, &QHeaderView::sectionMoved, m_fieldEditor,
            &NVSTableHeaderFieldEditor::switchEditingTarget);
}

NVSTableViewWithEditableHeaders::~NVSTableViewWithEditableHeaders() = default;

void NVSTableViewWithEditableHeaders::setShouldEmphasizeRows(bool emphasize) {
    m_shouldEmphasizeRows = emphasize;
    QPalette colours = palette();
    const QPalette standard = style()->standardPalette();
    for (const auto role : {QPalette::Highlight, QPalette::HighlightedText}) {
        colours.setColor(QPalette::Inactive, role,
                         emphasize ? colours.color(QPalette::Active, role)
                                   : standard.color(QPalette::Inactive, role));
    }
    setPalette(colours);
    viewport()->update();
}

void NVSTableViewWithEditableHeaders::editHeaderOfColumnAtIndex(int logicalIndex) {
    if (!model() || logicalIndex < 0 || logicalIndex >= model()->columnCount() ||
        m_header->isSectionHidden(logicalIndex))
        return;
    const QVariant title = model()->headerData(logicalIndex, Qt::Horizontal, Qt::EditRole);
    if (!title.isValid())
        return;
    m_fieldEditor->switchEditingTarget();
    scrollTo(model()->index(0, logicalIndex), QAbstractItemView::EnsureVisible);
    const QRect section(m_header->sectionViewportPosition(logicalIndex), 0,
                        m_header->sectionSize(logicalIndex), m_header->height());
    m_fieldEditor->begin(logicalIndex, title.toString(), section.adjusted(1, 1, -1, -1));
}

void NVSTableViewWithEditableHeaders::commitTitle(int section, const QString& title) {
    if (model() && section < model()->columnCount())
        model()->setHeaderData(section, Qt::Horizontal, title, Qt::EditRole);
}

void NVSTableViewWithEditableHeaders::setHitTestVeto(HitTestVeto veto) {
    m_veto = veto;
    if (!veto) {
        m_header->setHitTestVeto({});
        return;
    }
    m_header->setHitTestVeto([veto](const QPoint& position) { return veto(QPoint(position.x(), 0)); });
}

void NVSTableViewWithEditableHeaders::setBottomMargin(int pixels) {
    setViewportMargins(0, 0, 0, pixels);
}

void NVSTableViewWithEditableHeaders::focusInEvent(QFocusEvent* event) {
    QTableView::focusInEvent(event);
    Q_EMIT didBecomeFirstResponder();
}

void NVSTableViewWithEditableHeaders::focusOutEvent(QFocusEvent* event) {
    QTableView::focusOutEvent(event);
    Q_EMIT didResignFirstResponder();
}

void NVSTableViewWithEditableHeaders::mousePressEvent(QMouseEvent* event) {
    // Only a plain left click inserts a token; a right click still opens the column's menu.
    if (event->button() == Qt::LeftButton && m_veto && m_veto(event->position().toPoint())) {
        event->accept();
        return;
    }
    QTableView::mousePressEvent(event);
}

void NVSTableViewWithEditableHeaders::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_F2 && event->modifiers() == Qt::NoModifier && currentIndex().isValid()) {
        editHeaderOfColumnAtIndex(currentIndex().column());
        return;
    }
    QTableView::keyPressEvent(event);
}

void NVSTableViewWithEditableHeaders::scrollContentsBy(int dx, int dy) {
    if (dx != 0)
        m_fieldEditor->switchEditingTarget();
    QTableView::scrollContentsBy(dx, dy);
}
