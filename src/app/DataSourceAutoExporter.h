#pragma once

#include "platform/NotificationCenter.h"

#include <QHash>
#include <QString>
#include <functional>

class NVSCGDataSource;
class NVSLogController;
namespace platform {
struct Error;
class UserDefaults;
} // namespace platform

/// The application's automatic playlist export: re-exports every data source whose rows changed
/// ("NVSCGDataSourceContentUpdated") to its `exportPath`, when it has one. A failure is logged
/// ("Failed to export dataSource (%@)", level 0, shown) and `exportPath` is kept, so the next
/// change of rows tries again.
///
/// Observes from construction to destruction. The library posts the notification on the main
/// thread, where the export runs synchronously. Neither the logger nor the defaults are owned.
class DataSourceAutoExporter {
  public:
    /// Called after every export attempt (the command line reports them).
    using ExportObserver = std::function<void(const NVSCGDataSource& dataSource, const QString& path,
                                              bool success, const platform::Error& error)>;

    /// Registers the exporter's defaults in `defaults` and starts observing `center`.
    DataSourceAutoExporter(
        NVSLogController& logger, platform::UserDefaults& defaults,
        platform::NotificationCenter& center = platform::NotificationCenter::defaultCenter());
    DataSourceAutoExporter(const DataSourceAutoExporter&) = delete;
    DataSourceAutoExporter& operator=(const DataSourceAutoExporter&) = delete;

    void setExportObserver(ExportObserver observer) { m_exportObserver = std::move(observer); }

    /// The observer: exports the posting data source to its `exportPath` when it is not empty.
    void dataSourceContentChanged(const platform::Notification& notification);

  private:
    NVSLogController& m_logger;
    platform::UserDefaults& m_defaults;
    ExportObserver m_exportObserver;
    /// Per playlist path, the warning about items without ID or name last written to the log.
    QHash<QString, QString> m_warningsSaid;
    platform::NotificationObservation m_observation; // last: removed first
};
