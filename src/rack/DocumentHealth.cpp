#include "rack/DocumentHealth.h"

#include "app/FeedFreshness.h"
#include "app/GraflinkDocument.h"
#include "datasource/NVSCGDataSource.h"

DocumentHealth::DocumentHealth(GraflinkDocument& document, QObject* parent)
    : QObject(parent), m_graflink(&document) {
    connect(&document, &GraflinkDocument::refreshStarted, this, &DocumentHealth::started);
    connect(&document, &GraflinkDocument::refreshFinished, this, [this](bool processed) {
        ended(processed, m_graflink ? m_graflink->lastRefreshError() : QString());
    });
    for (const auto signal :
         {&GraflinkDocument::publishToCGChanged, &GraflinkDocument::autoRefreshChanged,
          &GraflinkDocument::refreshFrequencyChanged, &GraflinkDocument::isConnectedToCGChanged,
          &GraflinkDocument::CGServerIPAddressChanged, &GraflinkDocument::CGServerPortNumberChanged})
        connect(&document, signal, this, &DocumentHealth::changed);
    connect(&document.freshness(), &FeedFreshness::staleChanged, this, &DocumentHealth::changed);
}

DocumentHealth::DocumentHealth(NVSCGDataSource& dataSource, QObject* parent)
    : QObject(parent), m_dataSource(&dataSource) {
    connect(&dataSource, &NVSCGDataSource::refreshStarted, this, &DocumentHealth::started);
    connect(&dataSource, &NVSCGDataSource::refreshEnded, this, [this](bool delivered) {
        ended(delivered, delivered ? QString() : QStringLiteral("the feed could not be fetched or read"));
    });
    connect(&dataSource, &NVSCGDataSource::autoUpdateChanged, this, &DocumentHealth::changed);
    connect(&dataSource, &NVSCGDataSource::autoUpdateFrequencyChanged, this, &DocumentHealth::changed);
    // The rows arrive after the refresh's end, from the main queue.
    connect(&dataSource, &NVSCGDataSource::contentNodesReset, this, &DocumentHealth::changed);
    for (const auto signal : {&NVSCGDataSource::contentNodesInserted, &NVSCGDataSource::contentNodesRemoved})
        connect(&dataSource, signal, this, &DocumentHealth::changed);
}

QString DocumentHealth::name() const {
    if (m_graflink)
        return m_graflink->displayName();
    return m_dataSource ? m_dataSource->displayName() : QString();
}

QString DocumentHealth::path() const {
    if (m_graflink)
        return m_graflink->filePath();
    return m_dataSource ? m_dataSource->filePath() : QString();
}

void DocumentHealth::started() {
    // Overlapping refreshes are timed from the first start.
    if (!m_timing) {
        m_clock.start();
        m_timing = true;
    }
}

void DocumentHealth::exportEnded(const QString& path, bool success, const QString& error) {
    m_lastExport = Export{QDateTime::currentDateTimeUtc(), path, success ? QString() : error};
    Q_EMIT changed();
}

void DocumentHealth::ended(bool delivered, const QString& error) {
    ++m_refreshes;
    if (delivered) {
        m_lastSuccess = QDateTime::currentDateTimeUtc();
    } else {
        ++m_failures;
        m_lastError = error;
    }
    Q_EMIT changed();
    if (!m_timing)
        return;
    m_timing = false;
    const double seconds = double(m_clock.nsecsElapsed()) / 1e9;
    m_durationSum += seconds;
    std::size_t bucket = 0;
    while (bucket < DurationBuckets.size() && seconds > DurationBuckets[bucket])
        ++bucket;
    ++m_durationCounts[bucket];
}
