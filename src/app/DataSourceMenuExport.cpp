#include "app/DataSourceMenuExport.h"

#include "appbase/NVSLogController.h"
#include "datasource/NVSCGDataSource.h"
#include "export/NVSDataSourceExport.h"

#include <QFileInfo>

QUrl DataSourceMenuExport::playlistURL(const QUrl& chosen) {
    if (!chosen.isLocalFile())
        return chosen; // the export refuses it with a clear error
    const QString path = chosen.toLocalFile();
    if (QFileInfo(path).suffix() == PlaylistExtension && !QFileInfo(path).completeBaseName().isEmpty())
        return chosen;
    return QUrl::fromLocalFile(QString(path + QLatin1Char('.') + PlaylistExtension));
}

bool DataSourceMenuExport::exportToXPLS(NVSCGDataSource& dataSource, const QUrl& chosen,
                                        NVSLogController& logger, const platform::UserDefaults& defaults,
                                        PlaylistExportSummary* summary) {
    const QUrl URL = playlistURL(chosen);
    platform::Error error;
    if (!NVSDataSourceExport::exportDataSource(dataSource, URL, defaults, &error, summary)) {
        logger.logMessageWithLevel(0, true, QStringLiteral("Failed to Export To Playlist (%@)"),
                                   error.localizedDescription());
        return false;
    }
    const QString path = URL.toLocalFile();
    if (dataSource.exportPath() != path) {
        dataSource.setExportPath(path);
        dataSource.updateChangeCount(platform::Document::ChangeKind::Done);
    }
    return true;
}
