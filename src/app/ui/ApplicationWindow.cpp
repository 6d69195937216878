#include "app/ui/ApplicationWindow.h"

#include "app/GraflinkDocument.h"
#include "app/ui/RecentDocuments.h"
#include "datasource/NVSCGDataSource.h"
#include "platform/DocumentController.h"

#include <QAction>
#include <QDir>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QStatusBar>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

QStringList chooseWithDialog(QWidget* parent) {
    return QFileDialog::getOpenFileNames(
        parent, QObject::tr("Open Documents"), QString(),
        QObject::tr("Graflink documents and data sources (*.graflink *.cgds);;"
                    "All files (*)"));
}

} // namespace

ApplicationWindow::ApplicationWindow(platform::DocumentController& documents, QWidget* parent)
    : QMainWindow(parent), m_documents(documents), m_chooser(chooseWithDialog) {
    setWindowTitle(tr("Graflink"));
    setAccessibleName(tr("Graflink"));

    QMenu* file = menuBar()->addMenu(tr("&File"));
    file->addAction(tr("&New"), this, &ApplicationWindow::newDocumentRequested)
        ->setShortcut(QKeySequence::New);
    file->addAction(tr("New &Data Source"), this, &ApplicationWindow::newDataSourceRequested)
        ->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_N));
    QAction* open = file->addAction(tr("&Open…"), this, &ApplicationWindow::openDocuments);
    open->setShortcut(QKeySequence::Open);
    file->addSeparator();
    QAction* quit = file->addAction(tr("&Quit"), this, &ApplicationWindow::quitRequested);
    quit->setShortcut(QKeySequence::Quit);
    quit->setMenuRole(QAction::QuitRole);

    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    auto* heading = new QLabel(tr("Open documents"), central);
    m_list = new QTreeWidget(central);
    m_list->setAccessibleName(heading->text());
    m_list->setRootIsDecorated(false);
    m_list->setUniformRowHeights(true);
    m_list->setHeaderLabels({tr("Document"), tr("Output"), tr("CG server"), tr("Refresh"), tr("File")});
    m_list->header()->setStretchLastSection(true);
    m_list->setTextElideMode(Qt::ElideMiddle);
    heading->setBuddy(m_list);
    layout->addWidget(heading);
    layout->addWidget(m_list);
    setCentralWidget(central);
    m_status = new QLabel(statusBar());
    statusBar()->addWidget(m_status, 1);

    connect(&m_documents, &platform::DocumentController::documentsChanged, this,
            &ApplicationWindow::rebuildList);
    rebuildList();
    resize(820, 360);
}

ApplicationWindow::~ApplicationWindow() = default;

void ApplicationWindow::openDocuments() {
    for (const QString& path : m_chooser(this)) {
        platform::Error error;
        if (!m_documents.openDocument(path, true, &error)) {
            QMessageBox box(QMessageBox::Warning, tr("The document could not be opened."),
                            error.localizedDescription(), QMessageBox::Ok, this);
            box.setWindowModality(Qt::WindowModal);
            box.exec();
        }
    }
}

void ApplicationWindow::confirmQuit(int documentsOnAir, std::function<void()> quit) {
    if (documentsOnAir == 0) {
        quit();
        return;
    }
    auto* box = new QMessageBox(
        QMessageBox::Warning, tr("Quit while on air?"),
        documentsOnAir == 1
            ? tr("A document is publishing to its CG server. Its fields keep their last values, "
                 "and nothing updates them until Graflink runs again.")
            : tr("%1 documents are publishing to their CG servers. Their fields keep their last "
                 "values, and nothing updates them until Graflink runs again.")
                  .arg(documentsOnAir),
        QMessageBox::Cancel, this);
    QPushButton* quitButton = box->addButton(tr("&Quit"), QMessageBox::DestructiveRole);
    box->setDefaultButton(QMessageBox::Cancel);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    connect(box, &QMessageBox::buttonClicked, this,
            [quitButton, quit = std::move(quit)](QAbstractButton* button) {
                if (button == quitButton)
                    quit();
            });
    box->open();
}

QStringList ApplicationWindow::describe(const platform::Document& document) const {
    // In the home folder, as the file manager names it: "~/Shows/scores.graflink".
    QString location = document.filePath().isEmpty() ? tr("not saved") : document.filePath();
    const QString home = QDir::homePath() + QLatin1Char('/');
    if (location.startsWith(home))
        location = QStringLiteral("~/") + location.mid(home.size());
    const auto* graflink = qobject_cast<const GraflinkDocument*>(&document);
    if (!graflink) {
        const auto* dataSource = qobject_cast<const NVSCGDataSource*>(&document);
        const QString refresh = dataSource && dataSource->autoUpdate()
                                    ? tr("every %1 s").arg(dataSource->autoUpdateFrequency())
                                    : tr("off");
        return {document.displayName(), tr("Data source"), QString(), refresh, location};
    }
    const QString refresh =
        graflink->autoRefresh() ? tr("every %1 s").arg(graflink->refreshFrequency()) : tr("off");
    const QString server =
        graflink->CGServerIPAddress().isEmpty()
            ? tr("none")
            : tr("%1:%2 %3")
                  .arg(graflink->CGServerIPAddress())
                  .arg(graflink->CGServerPortNumber())
                  .arg(graflink->isConnectedToCG() ? tr("connected") : tr("not connected"));
    const QString output = !graflink->publishToCG()      ? tr("Preview only")
                           : graflink->isConnectedToCG() ? tr("ON AIR")
                                                         : tr("ON AIR, CG NOT CONNECTED");
    return {document.displayName(), output, server, refresh, location};
}

void ApplicationWindow::rebuildList() {
    m_list->clear();
    for (const auto& document : m_documents.documents()) {
        const QStringList columns = describe(*document);
        auto* item = new QTreeWidgetItem(m_list, columns);
        item->setToolTip(4, columns.at(4));
        if (columns.at(1).startsWith(tr("ON AIR"))) {
            QFont bold = item->font(1);
            bold.setBold(true);
            item->setFont(1, bold);
        }
        if (auto* graflink = qobject_cast<GraflinkDocument*>(document.get())) {
            // Status changes redraw the list; the connections go with the document.
            connect(graflink, &GraflinkDocument::isConnectedToCGChanged, this,
                    &ApplicationWindow::rebuildList, Qt::UniqueConnection);
            connect(graflink, &GraflinkDocument::publishToCGChanged, this, &ApplicationWindow::rebuildList,
                    Qt::UniqueConnection);
        } else if (auto* dataSource = qobject_cast<NVSCGDataSource*>(document.get())) {
            connect(dataSource, &NVSCGDataSource::autoUpdateChanged, this, &ApplicationWindow::rebuildList,
                    Qt::UniqueConnection);
            connect(dataSource, &NVSCGDataSource::autoUpdateFrequencyChanged, this,
                    &ApplicationWindow::rebuildList, Qt::UniqueConnection);
        }
    }
    for (int column = 0; column < 4; ++column)
        m_list->resizeColumnToContents(column);
    const int count = int(m_documents.documents().size());
    if (count == 0)
        m_status->setText(tr("No documents open. Open one with File ▸ Open (Ctrl+O)."));
    else if (count == 1)
        m_status->setText(tr("1 document open; it keeps running until you quit."));
    else
        m_status->setText(tr("%1 documents open; they keep running until you quit.").arg(count));
}
