#pragma once

#include <QUrl>

class NVSCGDataSource;
class NVSLogController;
class PlaylistExportSummary;
namespace platform {
class UserDefaults;
}

/// The export step of the application's "export to playlist" menu command, after the save panel:
/// the playlist extension rule, the export, and the bookkeeping that arms the automatic export.
class DataSourceMenuExport {
  public:
    static inline const QString PlaylistExtension = QStringLiteral("xpls");

    /// `chosen` with ".xpls" appended unless its name already ends in exactly ".xpls"
    /// ("a" → "a.xpls", "a.xml" → "a.xml.xpls", "a.XPLS" → "a.XPLS.xpls").
    static QUrl playlistURL(const QUrl& chosen);

    /// Exports `dataSource` to playlistURL(`chosen`). On success, when `exportPath` differs from
    /// that path, stores it and marks the document changed so the path is saved with it. On
    /// failure logs "Failed to Export To Playlist (%@)" (level 0, shown). Returns success.
    /// `defaults` must hold the exporter's registered defaults; `summary`, when given, learns what
    /// was written.
    static bool exportToXPLS(NVSCGDataSource& dataSource, const QUrl& chosen, NVSLogController& logger,
                             const platform::UserDefaults& defaults,
                             PlaylistExportSummary* summary = nullptr);
};
