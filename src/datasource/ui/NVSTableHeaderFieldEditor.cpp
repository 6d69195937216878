#include "datasource/ui/NVSTableHeaderFieldEditor.h"

#include <QKeyEvent>

NVSTableHeaderFieldEditor::NVSTableHeaderFieldEditor(QWidget* parent) : QLineEdit(parent) {
    setAccessibleName(tr("Column title"));
    setFrame(true);
    hide();
}

void NVSTableHeaderFieldEditor::begin(int section, const QString& title, const QRect& geometry) {
    switchEditingTarget();
    m_section = section;
    setText(title);
    setGeometry(geometry);
    show();
    raise();
    setFocus(Qt::OtherFocusReason);
    // The caret goes after the old title, nothing selected.
    deselect();
    setCursorPosition(int(title.size()));
}

void NVSTableHeaderFieldEditor::switchEditingTarget() {
    if (m_section < 0)
        return;
    const int section = std::exchange(m_section, -1);
    hide();
    Q_EMIT committed(section, text());
}

void NVSTableHeaderFieldEditor::cancel() {
    m_section = -1;
    hide();
}

void NVSTableHeaderFieldEditor::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Tab:
        switchEditingTarget();
        return;
    case Qt::Key_Escape:
        cancel();
        return;
    default:
        QLineEdit::keyPressEvent(event);
    }
}

void NVSTableHeaderFieldEditor::focusOutEvent(QFocusEvent* event) {
    QLineEdit::focusOutEvent(event);
    switchEditingTarget();
}
