#include "datasource/ui/TableFindBar.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <algorithm>

TableFindBar::TableFindBar(QTableView& view, QWidget* parent)
    : QWidget(parent), m_view(view), m_field(new QLineEdit(this)),
      m_previous(new QPushButton(tr("Pre&vious"), this)), m_next(new QPushButton(tr("Ne&xt"), this)),
      m_count(new QLabel(this)), m_typing(new QTimer(this)) {
    auto* label = new QLabel(tr("Fi&nd:"), this);
    label->setBuddy(m_field);
    m_field->setPlaceholderText(tr("Text in any cell"));
    m_field->setAccessibleName(tr("Find"));
    m_field->setClearButtonEnabled(true);
    m_previous->setAccessibleName(tr("Previous"));
    m_next->setAccessibleName(tr("Next"));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(label);
    layout->addWidget(m_field, 1);
    layout->addWidget(m_previous);
    layout->addWidget(m_next);
    layout->addWidget(m_count);
    // One search once typing pauses: each goes through every cell of the table.
    m_typing->setSingleShot(true);
    m_typing->setInterval(SearchDelay);
    connect(m_typing, &QTimer::timeout, this, [this] { find(0); });
    connect(m_field, &QLineEdit::textChanged, m_typing, qOverload<>(&QTimer::start));
    connect(m_field, &QLineEdit::returnPressed, this, &TableFindBar::findNext);
    connect(m_next, &QPushButton::clicked, this, &TableFindBar::findNext);
    connect(m_previous, &QPushButton::clicked, this, &TableFindBar::findPrevious);
    find(0);
}

void TableFindBar::activate() {
    m_field->setFocus(Qt::ShortcutFocusReason);
    m_field->selectAll();
}

void TableFindBar::findNext() {
    settleTyping();
    find(1);
}

void TableFindBar::findPrevious() {
    settleTyping();
    find(-1);
}

void TableFindBar::settleTyping() {
    // Next right after typing: the search typing would have started comes first.
    if (m_typing->isActive()) {
        m_typing->stop();
        find(0);
    }
}

QString TableFindBar::countText() const {
    return m_count->text();
}

QList<QModelIndex> TableFindBar::matches() const {
    QList<QModelIndex> found;
    const QString text = m_field->text();
    const QAbstractItemModel* model = m_view.model();
    if (text.isEmpty() || !model)
        return found;
    for (int row = 0; row < model->rowCount(); ++row) {
        for (int column = 0; column < model->columnCount(); ++column) {
            if (m_view.isRowHidden(row) || m_view.isColumnHidden(column))
                continue;
            const QModelIndex cell = model->index(row, column);
            // What the cell says: its text, or an image cell's file.
            const QString shown = cell.data(Qt::AccessibleTextRole).toString();
            if (shown.contains(text, Qt::CaseInsensitive))
                found.append(cell);
        }
    }
    return found;
}

void TableFindBar::find(int step) {
    const QList<QModelIndex> found = matches();
    m_previous->setEnabled(found.size() > 1);
    m_next->setEnabled(found.size() > 1);
    if (found.isEmpty()) {
        m_count->setText(m_field->text().isEmpty() ? QString() : tr("No match"));
        m_count->setAccessibleName(m_count->text());
        return;
    }
    // From the current cell: typing keeps a match that still matches, Next and Previous move on.
    const QModelIndex current = m_view.currentIndex();
    qsizetype at = 0;
    const auto before = [](const QModelIndex& a, const QModelIndex& b) {
        return a.row() < b.row() || (a.row() == b.row() && a.column() < b.column());
    };
    if (current.isValid()) {
        at = std::find_if(found.cbegin(), found.cend(),
                          [&](const QModelIndex& cell) { return !before(cell, current); }) -
             found.cbegin();
        if (step > 0 && at < found.size() && found[at] == current)
            ++at;
        else if (step < 0)
            --at;
    }
    at = (at % found.size() + found.size()) % found.size();
    m_view.setCurrentIndex(found[at]);
    m_view.scrollTo(found[at]);
    m_count->setText(tr("%1 of %2").arg(at + 1).arg(found.size()));
    m_count->setAccessibleName(tr("Match %1 of %2").arg(at + 1).arg(found.size()));
}
