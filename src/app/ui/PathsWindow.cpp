#include "app/ui/PathsWindow.h"

#include "app/GraflinkDocument.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QStringListModel>
#include <QVBoxLayout>

PathsWindow::PathsWindow(GraflinkDocument& document, QWidget* parent)
    : QWidget(parent, Qt::Window), m_document(document), m_paths(new QStringListModel(this)),
      m_filtered(new QSortFilterProxyModel(this)), m_list(new QListView(this)), m_count(new QLabel(this)) {
    setObjectName(QStringLiteral("pathsWindow"));
    setWindowTitle(tr("Paths of %1").arg(document.displayName()));
    m_filtered->setSourceModel(m_paths);
    m_filtered->setFilterCaseSensitivity(Qt::CaseInsensitive);
    auto* filter = new QLineEdit(this);
    filter->setPlaceholderText(tr("Filter paths"));
    filter->setAccessibleName(tr("Filter paths"));
    filter->setClearButtonEnabled(true);
    connect(filter, &QLineEdit::textChanged, m_filtered, &QSortFilterProxyModel::setFilterFixedString);
    m_list->setModel(m_filtered);
    m_list->setAccessibleName(tr("Paths"));
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setUniformItemSizes(true);
    auto* add = new QPushButton(tr("&New Variable"), this);
    add->setAccessibleName(tr("New Variable"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(filter);
    layout->addWidget(m_list);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(m_count, 1);
    bottom->addWidget(add);
    layout->addLayout(bottom);

    const auto request = [this] { Q_EMIT newVariableRequested(selectedPath()); };
    connect(add, &QPushButton::clicked, this, request);
    connect(m_list, &QListView::activated, this, request); // double-click or Enter
    connect(&document, &GraflinkDocument::inventoriedElementsChanged, this, &PathsWindow::inventoryChanged);
    inventoryChanged();
    resize(480, 520);
}

QString PathsWindow::selectedPath() const {
    const QModelIndex current = m_list->currentIndex();
    return current.isValid() && m_list->selectionModel()->isSelected(current) ? current.data().toString()
                                                                              : QString();
}

void PathsWindow::selectPath(const QString& path) {
    for (int row = 0; row < m_filtered->rowCount(); ++row) {
        const QModelIndex index = m_filtered->index(row, 0);
        if (index.data().toString() == path) {
            m_list->setCurrentIndex(index);
            return;
        }
    }
}

void PathsWindow::inventoryChanged() {
    m_paths->setStringList(m_document.inventoriedElements());
    const qsizetype count = m_document.inventoriedElements().size();
    m_count->setText(count == 1 ? tr("1 path") : tr("%1 paths").arg(count));
}
