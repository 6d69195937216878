#include "app/DataSourceAutoExporter.h"

#include "appbase/NVSLogController.h"
#include "datasource/NVSCGDataSource.h"
#include "export/NVSDataSourceExport.h"
#include "export/PlaylistExportSummary.h"
#include "platform/Error.h"

#include <QUrl>

DataSourceAutoExporter::DataSourceAutoExporter(NVSLogController& logger, platform::UserDefaults& defaults,
                                               platform::NotificationCenter& center)
    : m_logger(logger), m_defaults(defaults) {
    NVSDataSourceExport::registerDefaults(defaults);
    m_observation = platform::NotificationObservation(
        center, NVSCGDataSourceContentUpdatedNotificationName, nullptr,
        [this](const platform::Notification& notification) { dataSourceContentChanged(notification); });
}

void DataSourceAutoExporter::dataSourceContentChanged(const platform::Notification& notification) {
    // Only data sources post this name, always with themselves as the sender.
    const auto* dataSource = static_cast<const NVSCGDataSource*>(notification.sender);
    if (!dataSource)
        return;
    const QString path = dataSource->exportPath();
    if (path.isEmpty())
        return;
    platform::Error error;
    PlaylistExportSummary summary;
    const bool success = NVSDataSourceExport::exportDataSource(*dataSource, QUrl::fromLocalFile(path),
                                                               m_defaults, &error, &summary);
    // Items without ID or name are said when that changes, not on every refresh.
    QString& said = m_warningsSaid[path];
    if (success && summary.warning() != said) {
        said = summary.warning();
        if (!said.isEmpty())
            m_logger.logMessageWithLevel(1, false, QStringLiteral("Playlist %@: %@"), path, said);
    }
    if (!success)
        m_logger.logMessageWithLevel(0, true, QStringLiteral("Failed to export dataSource (%@)"),
                                     error.localizedDescription());
    if (m_exportObserver)
        m_exportObserver(*dataSource, path, success, error);
}
