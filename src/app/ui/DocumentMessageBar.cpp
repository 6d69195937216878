#include "app/ui/DocumentMessageBar.h"

#include <QLabel>
#include <QWidget>

DocumentMessageBar::DocumentMessageBar(QWidget& bar, QLabel& label, QObject* parent)
    : QObject(parent), m_bar(bar), m_label(label) {}

void DocumentMessageBar::show(const QString& text) {
    m_label.setText(text);
    m_label.setAccessibleName(text);
    m_bar.show();
}

bool DocumentMessageBar::showsProblem() const {
    const QString shown = m_label.text();
    return !shown.isEmpty() && (shown == m_problems[0] || shown == m_problems[1]);
}

void DocumentMessageBar::setProblem(Problem kind, const QString& text) {
    QString& said = m_problems[int(kind)];
    if (text == said)
        return;
    // The problem as it was is over.
    if (!said.isEmpty() && m_label.text() == said)
        m_bar.hide();
    said = text;
    if (!text.isEmpty())
        show(text);
}

void DocumentMessageBar::refreshSucceeded() {
    if (!showsProblem())
        m_bar.hide();
}
