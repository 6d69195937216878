#include "app/ui/DataSourceRowsWindow.h"

#include "app/DataSourceMenuExport.h"
#include "datasource/NVSCGDataSource.h"
#include "datasource/NVSCGDataSourceColumn.h"
#include "datasource/NVSCGDataSourceNode.h"

#include <QCloseEvent>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QStatusBar>
#include <QTableWidget>
#include <QTimer>
#include <QUrl>

namespace {

void chooseWithDialog(QWidget* parent, const QString& suggestedName,
                      std::function<void(const QString&)> chosen) {
    auto* dialog = new QFileDialog(parent, QObject::tr("Export to Playlist"), suggestedName,
                                   QObject::tr("Playlists (*.xpls)"));
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(Qt::WindowModal); // a sheet on the data source's window
    QObject::connect(dialog, &QFileDialog::fileSelected, parent,
                     [chosen = std::move(chosen)](const QString& path) { chosen(path); });
    dialog->open();
}

} // namespace

DataSourceRowsWindow::DataSourceRowsWindow(NVSCGDataSource& dataSource, NVSLogController& logger,
                                           platform::UserDefaults& defaults, QWidget* parent)
    : QMainWindow(parent), m_dataSource(dataSource), m_logger(logger), m_defaults(defaults),
      m_chooser(chooseWithDialog), m_table(new QTableWidget(this)), m_status(new QLabel(this)),
      m_reload(new QTimer(this)) {
    setWindowTitle(dataSource.displayName() + QStringLiteral(" — Graflink"));
    m_table->setAccessibleName(tr("Rows"));
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setAlternatingRowColors(true);
    setCentralWidget(m_table);
    statusBar()->addWidget(m_status, 1);

    QMenu* file = menuBar()->addMenu(tr("&File"));
    QAction* exportAction =
        file->addAction(tr("&Export to Playlist…"), this, &DataSourceRowsWindow::exportToXPLS);
    exportAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_E));
    file->addSeparator();
    file->addAction(tr("&Close"), this, &QWidget::close)->setShortcut(QKeySequence::Close);

    // Rows arrive in bursts while the feed is read: one rebuild per burst.
    m_reload->setSingleShot(true);
    m_reload->setInterval(200);
    connect(m_reload, &QTimer::timeout, this, &DataSourceRowsWindow::reload);
    const auto later = [this] { m_reload->start(); };
    connect(&dataSource, &NVSCGDataSource::contentNodesInserted, this, later);
    connect(&dataSource, &NVSCGDataSource::contentNodesRemoved, this, later);
    connect(&dataSource, &NVSCGDataSource::contentNodesReset, this, later);
    connect(&dataSource, &NVSCGDataSource::columnsInserted, this, later);
    connect(&dataSource, &NVSCGDataSource::columnsRemoved, this, later);
    connect(&dataSource, &NVSCGDataSource::columnsReset, this, later);
    connect(&dataSource, &NVSCGDataSource::filePathChanged, this,
            [this] { setWindowTitle(m_dataSource.displayName() + QStringLiteral(" — Graflink")); });
    reload();
    resize(900, 520);
}

DataSourceRowsWindow::~DataSourceRowsWindow() = default;

void DataSourceRowsWindow::reload() {
    const std::vector<NVSCGDataSourceColumnPtr> columns = m_dataSource.columns();
    const std::vector<NVSCGDataSourceNodePtr> rows = m_dataSource.contentNodes();
    m_table->setUpdatesEnabled(false);
    m_table->clear();
    m_table->setColumnCount(int(columns.size()));
    m_table->setRowCount(int(rows.size()));
    QStringList titles;
    for (const NVSCGDataSourceColumnPtr& column : columns)
        titles << column->title();
    m_table->setHorizontalHeaderLabels(titles);
    for (std::size_t row = 0; row < rows.size(); ++row)
        for (std::size_t column = 0; column < columns.size(); ++column)
            m_table->setItem(int(row), int(column),
                             new QTableWidgetItem(rows[row]->stringValueForColum(*columns[column])));
    m_table->setUpdatesEnabled(true);
    const QString exportPath = m_dataSource.exportPath();
    m_status->setText(
        tr("%1 rows").arg(rows.size()) +
        (exportPath.isEmpty() ? QString() : tr(" — exported to %1 whenever they change").arg(exportPath)));
}

void DataSourceRowsWindow::exportToXPLS() {
    QPointer<DataSourceRowsWindow> self(this);
    m_chooser(this, m_dataSource.displayName() + QStringLiteral(".xpls"), [self](const QString& path) {
        if (!self || path.isEmpty())
            return;
        if (DataSourceMenuExport::exportToXPLS(self->m_dataSource, QUrl::fromLocalFile(path), self->m_logger,
                                               self->m_defaults))
            self->reload();
        else
            self->m_status->setText(tr("Export failed: see the technical log."));
    });
}

void DataSourceRowsWindow::closeEvent(QCloseEvent* event) {
    // The export path chosen here is part of the file: keep it.
    if (m_dataSource.isDocumentEdited() && !m_dataSource.filePath().isEmpty()) {
        platform::Error error;
        if (!m_dataSource.save(&error)) {
            m_status->setText(
                tr("Could not save: %1. The window stays open.").arg(error.localizedDescription()));
            event->ignore();
            return;
        }
    }
    event->accept();
    Q_EMIT windowClosed();
}
