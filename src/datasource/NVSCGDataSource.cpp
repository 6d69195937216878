#include "datasource/NVSCGDataSource.h"

#include "datasource/NVSCGDataSourceDelegate.h"
#include "datasource/NVSCGDataSourceFeed.h"
#include "datasource/NVSCGDataSourceFileFormat.h"
#include "datasource/NVSCGDataSourceLog.h"
#include "datasource/NVSCGDataSourceRefreshOperation.h"
#include "feed/FeedCredentials.h"
#include "platform/DispatchTimer.h"
#include "platform/MainQueue.h"
#include "platform/SerialExecutor.h"
#include "platform/XmlDocument.h"

#include <QFile>
#include <QPointer>
#include <algorithm>
#include <cmath>
#include <nlohmann/json.hpp>

NVSCGDataSourceDelegate::~NVSCGDataSourceDelegate() = default;

NVSCGDataSource::NVSCGDataSource(QObject* parent)
    : platform::Document(parent),
      m_operationQueue(std::make_unique<platform::SerialExecutor>(QStringLiteral("NVSCGDataSource"))) {}

NVSCGDataSource::~NVSCGDataSource() {
    // A refresh running on the queue uses this object: let it end before anything goes away.
    m_operationQueue->cancelAll();
    m_operationQueue.reset();
    {
        std::lock_guard lock(m_contentMutex);
        detachNodes(m_contentNodes);
    }
    m_autoUpdateTimer.reset();
}

// ---- Document and file

bool NVSCGDataSource::readFromFile(const QString& path, const QString& typeName, platform::Error* error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        platform::setError(
            error, platform::Error::make(platform::Error::FileDomain, int(file.error()), file.errorString()));
        return false;
    }
    return readFromData(file.readAll(), typeName, error);
}

bool NVSCGDataSource::readFromData(const QByteArray& data, const QString& typeName, platform::Error* error) {
    if (typeName != NVSCGDataSourceDocumentType) {
        platform::setError(error, platform::Error(NVSOSStatusErrorDomain, -181));
        return false;
    }
    platform::Error parseError;
    const std::unique_ptr<platform::XmlDocument> document = platform::XmlDocument::parse(data, &parseError);
    if (!document) {
        platform::setError(error, parseError);
        return false;
    }
    bool updated = true;
    if (xmlNodePtr root = document->rootElement()) {
        updated = updateWithXMLElement(root, error);
        if (m_refreshesWhenRead)
            refreshContent();
    }
    return updated;
}

bool NVSCGDataSource::updateWithXMLElement(xmlNodePtr element, platform::Error* error) {
    const bool applied = NVSCGDataSourceFileFormat::apply(*this, element, error);
    if (applied && error)
        *error = platform::Error();
    return applied;
}

std::unique_ptr<platform::XmlDocument> NVSCGDataSource::XMLElement() const {
    return NVSCGDataSourceFileFormat::write(*this);
}

std::optional<QByteArray> NVSCGDataSource::dataOfType(const QString& typeName, platform::Error* error) {
    if (typeName != NVSCGDataSourceDocumentType) {
        platform::setError(error, platform::Error(NVSOSStatusErrorDomain, -4));
        return std::nullopt;
    }
    return XMLElement()->toPrettyBytes();
}

void NVSCGDataSource::close() {
    setAutoUpdate(false);
    cancel();
}

// ---- Settings

void NVSCGDataSource::setStatus(uint status) {
    if (m_status == status)
        return;
    m_status = status;
    Q_EMIT statusChanged(status);
}

QUrl NVSCGDataSource::dataSourceURL() const {
    QMutexLocker lock(&m_settingsMutex);
    return m_dataSourceURL;
}

void NVSCGDataSource::setDataSourceURL(const QUrl& url) {
    {
        QMutexLocker lock(&m_settingsMutex);
        if (m_dataSourceURL == url)
            return;
        m_dataSourceURL = url;
    }
    Q_EMIT dataSourceURLChanged();
}

QString NVSCGDataSource::XPath() const {
    return m_XPath;
}

void NVSCGDataSource::setXPath(const QString& XPath) {
    const bool changed = m_XPath != XPath || m_XPath.isNull() != XPath.isNull();
    m_XPath = XPath;
    if (changed)
        Q_EMIT XPathChanged();
    updateXPathContentNodes();
}

QString NVSCGDataSource::exportPath() const {
    QMutexLocker lock(&m_settingsMutex);
    return m_exportPath;
}

void NVSCGDataSource::setExportPath(const QString& exportPath) {
    {
        QMutexLocker lock(&m_settingsMutex);
        if (m_exportPath == exportPath && m_exportPath.isNull() == exportPath.isNull())
            return;
        m_exportPath = exportPath;
    }
    Q_EMIT exportPathChanged();
}

platform::FeedAuthentication NVSCGDataSource::feedAuthentication() const {
    QMutexLocker lock(&m_settingsMutex);
    return m_feedAuthentication;
}

void NVSCGDataSource::setFeedAuthentication(const platform::FeedAuthentication& settings) {
    {
        QMutexLocker lock(&m_settingsMutex);
        const platform::FeedAuthentication normalized = settings.replacing(m_feedAuthentication);
        if (normalized == m_feedAuthentication)
            return;
        m_feedAuthentication = normalized;
        m_feedCredentials.reset();
        if (normalized.isEnabled())
            m_feedCredentials =
                std::make_shared<platform::FeedCredentials>(normalized, nullptr, &NVSCGDataSourceLog::write);
    }
    Q_EMIT feedAuthenticationChanged();
}

std::shared_ptr<platform::FeedCredentials> NVSCGDataSource::feedCredentials() const {
    QMutexLocker lock(&m_settingsMutex);
    return m_feedCredentials;
}

std::shared_ptr<platform::XmlDocument> NVSCGDataSource::xmlDocument() const {
    QMutexLocker lock(&m_settingsMutex);
    return m_xmlDocument;
}

// ---- Refresh

void NVSCGDataSource::refreshContent() {
    ++m_refreshesUnderWay;
    m_refreshDue = false;
    Q_EMIT refreshStarted();
    NVSCGDataSourceRefreshOperation operation(this);
    m_operationQueue->async(platform::SerialExecutor::Work(
        [operation](const platform::SerialExecutor::CancellationFlag& cancelled) mutable {
            operation.run(cancelled);
        }));
}

void NVSCGDataSource::cancel() {
    m_operationQueue->cancelAll();
    // Dropped refreshes never end: only one that was running still may.
    m_refreshesUnderWay = std::min(m_refreshesUnderWay, 1);
    m_refreshDue = false;
}

void NVSCGDataSource::processXMLDocument(std::shared_ptr<platform::XmlDocument> document) {
    if (document)
        processFeed(std::make_shared<NVSCGDataSourceFeed>(std::move(document)));
}

void NVSCGDataSource::processFeed(std::shared_ptr<NVSCGDataSourceFeed> feed) {
    NVSCGDataSourceNodePtr root = NVSCGDataSourceFeed::buildTree(feed);
    adoptXMLTree(std::move(feed), std::move(root));
}

void NVSCGDataSource::adoptXMLTree(std::shared_ptr<NVSCGDataSourceFeed> feed, NVSCGDataSourceNodePtr root) {
    // Any thread: the document is swapped under the lock, the rows are rebuilt on the main thread.
    const std::shared_ptr<NVSCGDataSourceFeed> adopted = feed;
    {
        QMutexLocker lock(&m_settingsMutex);
        m_xmlDocument = feed->document();
        m_feed = std::move(feed);
    }
    QPointer<NVSCGDataSource> self(this);
    // Behind whatever the main thread has queued already (the status change of this refresh).
    platform::MainQueue::dispatchAsync([self, feed = adopted, root] {
        if (!self)
            return;
        if (feed)
            feed->setOwner(self.data());
        self->setFileContentNodes(root ? std::vector<NVSCGDataSourceNodePtr>{root}
                                       : std::vector<NVSCGDataSourceNodePtr>{});
    });
}

void NVSCGDataSource::processJSONObject(const NVSCGDataSourceNode::JsonValue& object) {
    std::vector<NVSCGDataSourceNodePtr> nodes;
    if (object.is_array())
        nodes = NVSCGDataSourceNode::dataSourceNodesFromJSONArray(object, QStringLiteral(""));
    else if (object.is_object())
        nodes = NVSCGDataSourceNode::dataSourceNodesFromJSONDictionary(object, QStringLiteral(""));
    else
        nodes.push_back(
            std::make_shared<NVSCGDataSourceNode>(object, QStringLiteral(""), QStringLiteral("")));
    adoptJSONNodes(std::move(nodes));
}

void NVSCGDataSource::adoptJSONNodes(std::vector<NVSCGDataSourceNodePtr> nodes) {
    QPointer<NVSCGDataSource> self(this);
    platform::MainQueue::dispatchAsync([self, nodes = std::move(nodes)] {
        if (self)
            self->setContentNodes(nodes);
    });
}

void NVSCGDataSource::finishRefresh(bool delivered) {
    m_refreshesUnderWay = std::max(0, m_refreshesUnderWay - 1);
    setStatus(Refreshed);
    Q_EMIT refreshEnded(delivered);
    if (m_refreshesUnderWay == 0 && m_refreshDue && m_autoUpdate)
        refreshContent();
}

// ---- Timer

void NVSCGDataSource::setAutoUpdate(bool autoUpdate) {
    if (m_autoUpdate == autoUpdate)
        return;
    if (m_autoUpdateTimer) {
        if (m_shouldResume) {
            m_autoUpdateTimer->resume();
            m_shouldResume = false;
        }
        m_autoUpdateTimer->cancel();
        m_autoUpdateTimer.reset();
    }
    m_autoUpdate = autoUpdate;
    if (autoUpdate) {
        m_autoUpdateTimer = std::make_unique<platform::DispatchTimer>([this] { timerTick(); });
        armTimer();
    }
    Q_EMIT autoUpdateChanged();
}

void NVSCGDataSource::armTimer() {
    using namespace std::chrono;
    const auto period = duration_cast<milliseconds>(duration<double>(m_autoUpdateFrequency));
    m_autoUpdateTimer->schedule(period, period,
                                duration_cast<milliseconds>(duration<double>(TimerTolerance)));
}

void NVSCGDataSource::timerTick() {
    // A slow feed gets no second request from the timer: one refresh waits for the running one.
    if (m_refreshesUnderWay > 0 || m_status == Refreshing) {
        m_refreshDue = true;
        if (!m_skippingTicks) {
            m_skippingTicks = true;
            NVSCGDataSourceLog::format(
                QStringLiteral("The feed of “%@” answers more slowly than every %.1f seconds: timed "
                               "refreshes wait for the one under way"),
                displayName(), m_autoUpdateFrequency);
        }
        return;
    }
    if (m_skippingTicks) {
        m_skippingTicks = false;
        NVSCGDataSourceLog::format(QStringLiteral("The feed of “%@” keeps up with its refresh period again"),
                                   displayName());
    }
    refreshContent();
}

void NVSCGDataSource::setAutoUpdateFrequency(double seconds) {
    double value =
        std::isnan(seconds) ? MinimumAutoUpdateFrequency : std::max(seconds, MinimumAutoUpdateFrequency);
    value = std::min(value, MaximumAutoUpdateFrequency);
    if (value == m_autoUpdateFrequency)
        return;
    m_autoUpdateFrequency = value;
    if (m_autoUpdateTimer)
        armTimer();
    Q_EMIT autoUpdateFrequencyChanged();
}

void NVSCGDataSource::setNilValueForKey(const QString& key) {
    if (key == QLatin1String("autoUpdateFrequency"))
        setAutoUpdateFrequency(DefaultAutoUpdateFrequency);
}

void NVSCGDataSource::pauseUpdateTimer() {
    // A second pause without a resume in between is ignored: one resume undoes the pause.
    if (!m_autoUpdateTimer || m_shouldResume)
        return;
    m_shouldResume = true;
    m_autoUpdateTimer->suspend();
}

void NVSCGDataSource::resumeUpdateTimer() {
    if (m_shouldResume && m_autoUpdateTimer) {
        m_autoUpdateTimer->resume();
        m_shouldResume = false;
    }
}
