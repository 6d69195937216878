#pragma once

#include "datasource/NVSCGDataSourceColumn.h"
#include "datasource/NVSCGDataSourceNode.h"
#include "platform/Error.h"

#include <QString>
#include <QUrl>
#include <QVariantMap>
#include <libxml/tree.h>
#include <memory>
#include <vector>

class NVSCGDataSource;
struct PlaylistExportSettings;
class PlaylistExportSummary;
class PlaylistItemSink;
namespace platform {
class UserDefaults;
class XmlDocument;
} // namespace platform

/// Turns a data source of an election-results feed into a playlist document of the playout
/// product: one "playlistItem" per row, in row order. Class operations only.
///
/// Threads: the main thread (rows are main-thread objects). Every text and attribute value is
/// written without the characters XML 1.0 does not allow, whatever the feed holds.
class NVSDataSourceExport {
  public:
    static inline const QString StillImagePathKey = QStringLiteral("DataSourceExportStillImagePath");
    static inline const QString CGProjectsNamesKey = QStringLiteral("DataSourceExportCGProjectsNames");
    static inline const QString RaceStartActionNameKey = QStringLiteral("RaceStartActionName");
    static inline const QString CandidateDisplayDurationKey = QStringLiteral("CandidateDisplayDuration");
    static inline const QString LeftCandidateActionNameKey = QStringLiteral("LeftCandidateActionName");
    static inline const QString RightCandidateActionNameKey = QStringLiteral("RightCandidateActionName");
    static inline const QString RaceStopActionNameKey = QStringLiteral("RaceStopActionName");

    static inline const QString SchemaInstanceNamespace =
        QStringLiteral("http://www.w3.org/2001/XMLSchema-instance");
    static inline const QString SchemaLocation =
        QStringLiteral("https://www.norvanemedia.com/XSDs/VistacastVideoSchema40.xsd");

    /// The exporter's registered defaults.
    static QVariantMap registeredDefaults();
    static void registerDefaults(platform::UserDefaults& defaults);
    /// Class initialisation: registers the defaults in the standard user defaults, once per process.
    static void initialize();

    /// Exports with the standard user defaults (after `initialize()`).
    static bool exportDataSource(const NVSCGDataSource& dataSource, const QUrl& URL,
                                 platform::Error* error = nullptr);
    /// Builds the playlist from a snapshot of the rows and columns taken now and writes it to the
    /// local file `URL` atomically: an old file is replaced only by a complete new one. On failure
    /// returns false and fills `error` with the file system's reason. `defaults` must hold the
    /// registered defaults (`registerDefaults`). `summary`, when given, learns what was written.
    static bool exportDataSource(const NVSCGDataSource& dataSource, const QUrl& URL,
                                 const platform::UserDefaults& defaults, platform::Error* error,
                                 PlaylistExportSummary* summary = nullptr);

    /// The playlist document without items: its root with the schema location.
    static std::unique_ptr<platform::XmlDocument> playlistShell();
    /// Appends the "playlistItem" of row `node` to `parent`; returns it. `summary`, when given,
    /// counts the item as row `rowNumber`.
    static xmlNodePtr
    playlistItemXMLElementFromSourceNode(xmlNodePtr parent, const NVSCGDataSourceNode& node,
                                         const std::vector<NVSCGDataSourceColumnPtr>& columns,
                                         const PlaylistExportSettings& settings,
                                         PlaylistExportSummary* summary = nullptr, int rowNumber = 0);
    /// Appends an empty "action" element to `parent` with "name", "time" (`position` as "%.6f"),
    /// "positionType" ("fromStart" or "fromEnd"), "parameter" and "xml:space" = "preserve".
    static xmlNodePtr actionElementWithAppleScriptName(xmlNodePtr parent, const QString& name,
                                                       double position, const QString& parameters,
                                                       bool fromStart);

  private:
    struct ItemTexts;

    /// A row's item, as elements handed to `sink`.
    static void writeItem(PlaylistItemSink& sink, const NVSCGDataSourceNode& node, const ItemTexts& texts,
                          const PlaylistExportSettings& settings, PlaylistExportSummary* summary,
                          int rowNumber);
    static void writeItemValues(PlaylistItemSink& sink, const NVSCGDataSourceNode& node,
                                const ItemTexts& texts);
    static void writeAction(PlaylistItemSink& sink, const QString& name, double position,
                            const QString& parameters, bool fromStart);
};
