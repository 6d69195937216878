#include "app/ui/DataSourcePlaylistExport.h"

#include "app/DataSourceMenuExport.h"
#include "datasource/NVSCGDataSource.h"
#include "datasource/ui/NVSCGDataSourceWindowController.h"
#include "export/PlaylistExportSummary.h"

#include <QAction>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QPointer>
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

DataSourcePlaylistExport::DataSourcePlaylistExport(NVSCGDataSourceWindowController& window,
                                                   NVSLogController& logger, platform::UserDefaults& defaults)
    : QObject(&window), m_window(window), m_logger(logger), m_defaults(defaults), m_chooser(chooseWithDialog),
      m_action(new QAction(tr("&Export to Playlist…"), &window)) {
    m_action->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_E));
    connect(m_action, &QAction::triggered, this, &DataSourcePlaylistExport::exportToXPLS);
    window.fileMenu()->insertAction(window.closeAction(), m_action);
    window.fileMenu()->insertSeparator(window.closeAction());
}

void DataSourcePlaylistExport::exportToXPLS() {
    QPointer<DataSourcePlaylistExport> self(this);
    NVSCGDataSource& dataSource = m_window.dataSource();
    // The last playlist, or one named after the data source beside it.
    QString suggested = dataSource.exportPath();
    if (suggested.isEmpty()) {
        suggested = dataSource.displayName() + QStringLiteral(".xpls");
        if (!dataSource.filePath().isEmpty())
            suggested = QFileInfo(dataSource.filePath()).dir().filePath(suggested);
    }
    m_chooser(&m_window, suggested, [self](const QString& path) {
        if (!self || path.isEmpty())
            return;
        PlaylistExportSummary summary;
        if (!DataSourceMenuExport::exportToXPLS(self->m_window.dataSource(), QUrl::fromLocalFile(path),
                                                self->m_logger, self->m_defaults, &summary)) {
            self->m_window.showMessage(tr("The playlist could not be exported: the technical log says why."));
            return;
        }
        const QString written =
            (summary.items() == 1 ? tr("Exported 1 playlist item to %1.")
                                  : tr("Exported %1 playlist items to %2.").arg(summary.items()))
                .arg(QFileInfo(self->m_window.dataSource().exportPath()).fileName());
        self->m_window.showMessage(
            summary.warning().isEmpty() ? written : written + QLatin1Char(' ') + summary.warning());
    });
}
