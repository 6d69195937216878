#pragma once

#include "datasource/NVSCGDataSourceColumn.h"
#include "datasource/NVSCGDataSourceConstants.h"
#include "datasource/NVSCGDataSourceExport.h"
#include "datasource/NVSCGDataSourceNode.h"
#include "feed/FeedAuthentication.h"
#include "platform/Document.h"

#include <QMutex>
#include <QStringList>
#include <QUrl>
#include <QVariantList>
#include <QVariantMap>
#include <libxml/tree.h>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

class NVSCGDataSourceDelegate;
class NVSCGDataSourceFeed;
namespace platform {
class DispatchTimer;
class FeedCredentials;
class SerialExecutor;
class XmlDocument;
} // namespace platform

/// The data-source document: a feed URL, the XPath of the repeating element whose instances are
/// the rows, and columns that read one value per row from the feed or compose it from other
/// columns. It refreshes its feed on its own serial queue, optionally on a timer, and posts
/// "NVSCGDataSourceContentUpdated" when an XML refresh changes the rows.
///
/// Threads: every public operation belongs to the main thread, except the ones marked
/// thread-safe. Locks: the row list and the column list each have their own recursive lock; when
/// both are needed they are taken in the order rows, then columns (column operations never take
/// the row lock). List signals are emitted on the main thread while the list's lock is held.
class NVSCGDATASOURCE_EXPORT NVSCGDataSource : public platform::Document {
    Q_OBJECT
    Q_PROPERTY(uint status READ status WRITE setStatus NOTIFY statusChanged)
    Q_PROPERTY(QUrl dataSourceURL READ dataSourceURL WRITE setDataSourceURL NOTIFY dataSourceURLChanged)
    Q_PROPERTY(QString XPath READ XPath WRITE setXPath NOTIFY XPathChanged)
    Q_PROPERTY(bool autoUpdate READ autoUpdate WRITE setAutoUpdate NOTIFY autoUpdateChanged)
    Q_PROPERTY(double autoUpdateFrequency READ autoUpdateFrequency WRITE setAutoUpdateFrequency NOTIFY
                   autoUpdateFrequencyChanged)
    Q_PROPERTY(QString exportPath READ exportPath WRITE setExportPath NOTIFY exportPathChanged)
    Q_PROPERTY(QStringList XPaths READ XPaths NOTIFY XPathsChanged)
  public:
    enum Status : uint { NeverRefreshed = 0, Refreshing = 1, Refreshed = 3 };

    static constexpr double DefaultAutoUpdateFrequency = 10.0;
    static constexpr double MinimumAutoUpdateFrequency = 0.1;
    /// The timer cannot wait longer than this (24 days of milliseconds fit its counter); a
    /// larger or infinite frequency from a file is lowered to it.
    static constexpr double MaximumAutoUpdateFrequency = 24.0 * 24 * 3600;
    static constexpr double TimerTolerance = 0.1;
    static constexpr double RequestTimeout = 10.0;
    static constexpr double ResourceTimeout = 20.0;

    explicit NVSCGDataSource(QObject* parent = nullptr);
    ~NVSCGDataSource() override;

    // Document and file
    bool readFromData(const QByteArray& data, const QString& typeName, platform::Error* error = nullptr);
    /// Whether reading a file starts a refresh (as opening one does); off for a tool that only
    /// edits the file, so that no request goes out with the settings it is about to change.
    void setRefreshesWhenRead(bool refreshes) { m_refreshesWhenRead = refreshes; }
    bool updateWithXMLElement(xmlNodePtr element, platform::Error* error = nullptr);
    /// A new document whose root is the "data_source" element of the current settings.
    std::unique_ptr<platform::XmlDocument> XMLElement() const;
    std::optional<QByteArray> dataOfType(const QString& typeName, platform::Error* error) override;
    /// Stops the refresh timer and any queued refresh.
    void close() override;

    // Settings (dataSourceURL, exportPath and feedAuthentication are thread-safe)
    uint status() const { return m_status; }
    void setStatus(uint status);
    QUrl dataSourceURL() const;
    /// Does not refresh by itself.
    void setDataSourceURL(const QUrl& url);
    QString XPath() const;
    /// Re-selects the rows.
    void setXPath(const QString& XPath);
    QString exportPath() const;
    void setExportPath(const QString& exportPath);
    /// How the feed's requests authenticate (the secret is in the keychain, see docs/feeds.md).
    /// Stored normalized: an enabled scheme gets its keychain account here.
    platform::FeedAuthentication feedAuthentication() const;
    void setFeedAuthentication(const platform::FeedAuthentication& settings);
    NVSCGDataSourceDelegate* delegate() const { return m_delegate; }
    void setDelegate(NVSCGDataSourceDelegate* delegate) { m_delegate = delegate; }
    /// The last XML document received (thread-safe).
    std::shared_ptr<platform::XmlDocument> xmlDocument() const;

    // Rows
    std::vector<NVSCGDataSourceNodePtr> contentNodes() const;
    std::size_t countOfContentNodes() const;
    NVSCGDataSourceNodePtr contentNodeAtIndex(std::size_t index) const;
    std::vector<NVSCGDataSourceNodePtr> contentNodesAtIndexes(const NVSIndexSet& indexes) const;
    void setContentNodes(const std::vector<NVSCGDataSourceNodePtr>& nodes);
    void insertContentNodes(const std::vector<NVSCGDataSourceNodePtr>& nodes, const NVSIndexSet& indexes);
    void removeContentNodesAtIndexes(const NVSIndexSet& indexes);
    void updateRowIndexesFromIndex(std::size_t index);
    std::vector<NVSCGDataSourceNodePtr> fileContentNodes() const;
    void setFileContentNodes(const std::vector<NVSCGDataSourceNodePtr>& nodes);
    void updateXPathContentNodes();
    /// The rows below `node`: descendants whose wildcard path (named paths when `byName`) is `XPath`.
    std::vector<NVSCGDataSourceNodePtr> childrenWithXPath(const QString& XPath, NVSCGDataSourceNode& node,
                                                          bool byName = false) const;
    /// True when the XPath selects no rows by location paths ("/*/*[*]") but does by named paths
    /// ("/feed/entry[*]" in a feed with a default namespace): rows, cells and column
    /// identifiers then use named paths.
    bool addressesRowsByName() const { return m_rowsByName; }
    void updateSelectedPropertyOfNodesWithWildcardXPath(const QString& wildcardXPath, bool selected);
    /// Wildcard forms of repeated elements (from their second instance), then every path.
    QStringList XPaths() const;
    /// The identifiers (wildcard paths) the columns read: a node is selected when its wildcard
    /// path is one of them.
    QSet<QString> columnIdentifiers() const;

    // Active rows (thread-safe)
    NVSIndexSet activeRows() const;
    void setActiveRows(const NVSIndexSet& rows);
    void setActiveRow(std::size_t row);
    std::size_t firstActiveRow() const;
    bool isActiveRowIndex(std::size_t row) const;

    // Columns
    std::vector<NVSCGDataSourceColumnPtr> columns() const;
    std::size_t countOfColumns() const;
    void setColumns(const std::vector<NVSCGDataSourceColumnPtr>& columns);
    NVSCGDataSourceColumnPtr columnAtIndex(std::size_t index) const;
    std::vector<NVSCGDataSourceColumnPtr> columnsAtIndexes(const NVSIndexSet& indexes) const;
    NVSCGDataSourceColumnPtr columnWithUniqueID(const QString& uniqueID) const;
    NVSCGDataSourceColumnPtr columnWithIdentifier(const QString& identifier) const;
    std::size_t indexOfColumnWithIdentifier(const QString& identifier) const;
    void addColumn(const NVSCGDataSourceColumnPtr& column);
    NVSCGDataSourceColumnPtr addNewColumnAtIndex(std::size_t index);
    void addColumnWithTitle(const QString& title, const QString& identifier);
    void insertColumns(const std::vector<NVSCGDataSourceColumnPtr>& columns, const NVSIndexSet& indexes);
    NVSCGDataSourceColumnPtr duplicateColumn(const NVSCGDataSourceColumnPtr& column);
    void removeColumnsObject(const NVSCGDataSourceColumnPtr& column);
    void removeColumnsAtIndexes(const NVSIndexSet& indexes);
    void removeColumnWithIdentifier(const QString& identifier);
    void reorderColumn(std::size_t fromIndex, std::size_t toIndex);

    // Tokens
    /// Literal strings and token dictionaries ("tokenTitle", "tokenCode", "tokenUID").
    QVariantList tokenizeString(const QString& text) const;
    static bool isToken(const QString& text);
    static QString tokenString(const QString& tokenText);
    QVariantMap tokenDictionaryFromTokenString(const QString& tokenText) const;

    // Refresh and timer
    /// Queues one refresh on the data source's serial queue.
    void refreshContent();
    /// Drops queued refreshes; a running file refresh hands nothing on.
    void cancel();
    /// Thread-safe: builds the node tree, keeps the document, and has the main thread take the tree.
    void processXMLDocument(std::shared_ptr<platform::XmlDocument> document);
    /// The same, for a feed made already.
    void processFeed(std::shared_ptr<NVSCGDataSourceFeed> feed);
    /// Thread-safe: builds nodes and has the main thread make them the rows (no notification).
    void processJSONObject(const NVSCGDataSourceNode::JsonValue& object);
    platform::SerialExecutor& operationQueue() const { return *m_operationQueue; }
    bool autoUpdate() const { return m_autoUpdate; }
    void setAutoUpdate(bool autoUpdate);
    double autoUpdateFrequency() const { return m_autoUpdateFrequency; }
    void setAutoUpdateFrequency(double seconds);
    /// A nil value from a binding: "autoUpdateFrequency" becomes 10.0; other keys are ignored.
    void setNilValueForKey(const QString& key);
    void pauseUpdateTimer();
    void resumeUpdateTimer();
    bool shouldResume() const { return m_shouldResume; }
    const platform::DispatchTimer* autoUpdateTimer() const { return m_autoUpdateTimer.get(); }

  Q_SIGNALS:
    void statusChanged(uint status);
    void dataSourceURLChanged();
    void XPathChanged();
    void autoUpdateChanged();
    void autoUpdateFrequencyChanged();
    void exportPathChanged();
    void feedAuthenticationChanged();
    void XPathsChanged();
    void activeRowsChanged();
    void fileContentNodesChanged();
    /// A refresh attempt ended (with the status change to 3); `delivered`: content was handed on.
    /// A refresh was queued (refreshContent()); refreshEnded follows.
    void refreshStarted();
    void refreshEnded(bool delivered);

    void contentNodesAboutToBeInserted(const NVSIndexSet& indexes);
    void contentNodesInserted(const NVSIndexSet& indexes);
    void contentNodesAboutToBeRemoved(const NVSIndexSet& indexes);
    void contentNodesRemoved(const NVSIndexSet& indexes);
    /// setContentNodes: the whole list is replaced (no insert or remove signals in between).
    void contentNodesAboutToBeReset();
    void contentNodesReset();

    void columnsAboutToBeInserted(const NVSIndexSet& indexes);
    void columnsInserted(const NVSIndexSet& indexes);
    void columnsAboutToBeRemoved(const NVSIndexSet& indexes);
    void columnsRemoved(const NVSIndexSet& indexes);
    /// setColumns and reorderColumn: the whole list changes.
    void columnsAboutToBeReset();
    void columnsReset();

  protected:
    bool readFromFile(const QString& path, const QString& typeName, platform::Error* error) override;

  private:
    friend class NVSCGDataSourceRefreshOperation;
    friend class NVSCGDataSourceFileFormat;

    void armTimer();
    void timerTick();
    void finishRefresh(bool delivered);
    /// Main thread: keeps a parsed document and its tree, then queues the row rebuild.
    void adoptXMLTree(std::shared_ptr<NVSCGDataSourceFeed> feed, NVSCGDataSourceNodePtr root);
    void adoptJSONNodes(std::vector<NVSCGDataSourceNodePtr> nodes);
    void setSelectedForIdentifiers(const QSet<QString>& identifiers, bool selected);
    void detachNodes(const std::vector<NVSCGDataSourceNodePtr>& nodes);
    /// What a refresh authenticates with; null while authentication is off (thread-safe).
    std::shared_ptr<platform::FeedCredentials> feedCredentials() const;

    mutable QMutex m_settingsMutex; // dataSourceURL, exportPath, feed authentication, xmlDocument, activeRows
    QUrl m_dataSourceURL;
    QString m_XPath;
    uint m_status = NeverRefreshed;
    std::unique_ptr<platform::SerialExecutor> m_operationQueue;
    std::vector<NVSCGDataSourceNodePtr> m_fileContentNodes;
    mutable std::recursive_mutex m_contentMutex;
    std::vector<NVSCGDataSourceNodePtr> m_contentNodes;
    int m_contentResetDepth = 0;
    bool m_rowsByName = false;
    mutable std::recursive_mutex m_columnsMutex;
    std::vector<NVSCGDataSourceColumnPtr> m_columns;
    int m_columnsResetDepth = 0;
    std::shared_ptr<platform::XmlDocument> m_xmlDocument;
    std::shared_ptr<NVSCGDataSourceFeed> m_feed;
    NVSIndexSet m_activeRows;
    bool m_autoUpdate = false;
    double m_autoUpdateFrequency = DefaultAutoUpdateFrequency;
    std::unique_ptr<platform::DispatchTimer> m_autoUpdateTimer;
    bool m_shouldResume = false;
    /// Refreshes queued or running (main thread): a timer tick that finds one waits for it, and
    /// one refresh is then due.
    int m_refreshesUnderWay = 0;
    bool m_refreshDue = false;
    bool m_refreshesWhenRead = true;
    bool m_skippingTicks = false;
    QString m_exportPath;
    platform::FeedAuthentication m_feedAuthentication;
    std::shared_ptr<platform::FeedCredentials> m_feedCredentials;
    NVSCGDataSourceDelegate* m_delegate = nullptr;
};
