#pragma once

#include "app/GraflinkDocument.h"
#include "datasource/NVSCGDataSource.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QString>
#include <array>
#include <optional>

/// What a monitoring system wants to know of one open document: refreshes and failures so far,
/// how long refreshes take (a histogram), the last success and the last error, and for Graflink
/// documents the CG connection, publishing and the values' age; for data sources the last
/// playlist export. Counts from when it is made. Main thread.
class DocumentHealth : public QObject {
    Q_OBJECT
  public:
    /// Upper bounds (seconds) of the refresh-duration buckets; a last bucket takes the rest.
    static constexpr std::array<double, 9> DurationBuckets{0.05, 0.1, 0.25, 0.5, 1, 2.5, 5, 10, 30};

    explicit DocumentHealth(GraflinkDocument& document, QObject* parent = nullptr);
    explicit DocumentHealth(NVSCGDataSource& dataSource, QObject* parent = nullptr);

    QString name() const;
    QString path() const;
    QString kind() const { return m_graflink ? QStringLiteral("graflink") : QStringLiteral("datasource"); }
    quint64 refreshes() const { return m_refreshes; }
    quint64 failures() const { return m_failures; }
    /// Refreshes per bucket (not cumulative), the last one for longer than every bound.
    const std::array<quint64, DurationBuckets.size() + 1>& durationCounts() const { return m_durationCounts; }
    double durationSum() const { return m_durationSum; }
    const QDateTime& lastSuccess() const { return m_lastSuccess; }
    const QString& lastError() const { return m_lastError; }

    /// The document's own figures (Graflink documents only; null for data sources).
    GraflinkDocument* graflinkDocument() const { return m_graflink; }
    /// The data source (null for Graflink documents).
    NVSCGDataSource* dataSource() const { return m_dataSource; }

    /// A playlist export of the data source, when it ended.
    struct Export {
        QDateTime at; // UTC
        QString path;
        QString error; // empty: written
    };
    const std::optional<Export>& lastExport() const { return m_lastExport; }
    void exportEnded(const QString& path, bool success, const QString& error);

  Q_SIGNALS:
    /// Something a person watching the document would see changed: a refresh ended, a setting,
    /// the CG connection, staleness, an export.
    void changed();

  private:
    void started();
    void ended(bool delivered, const QString& error);

    QPointer<GraflinkDocument> m_graflink;
    QPointer<NVSCGDataSource> m_dataSource;
    QElapsedTimer m_clock;
    bool m_timing = false;
    quint64 m_refreshes = 0;
    quint64 m_failures = 0;
    std::array<quint64, DurationBuckets.size() + 1> m_durationCounts{};
    double m_durationSum = 0;
    QDateTime m_lastSuccess;
    QString m_lastError;
    std::optional<Export> m_lastExport;
};
