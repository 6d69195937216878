#pragma once

#include <QMap>
#include <QString>
#include <QVariant>
#include <QVariantMap>
#include <functional>
#include <string>
#include <vector>

namespace platform {

/// One report's extra data, grouped in sections ("attachment" → {"log": text}).
struct CrashEvent {
    QString errorClass; ///< "SIGSEGV", or the exception's type name
    QString message;    ///< the exception's what(), or the signal's description
    QMap<QString, QVariantMap> metadata;
    void addMetadata(const QVariant& value, const QString& key, const QString& section);
    /// The metadata as a report's "Metadata:" lines; empty without metadata.
    std::string renderedMetadata() const;
};

struct CrashReporterConfiguration {
    QString apiKey;
    QString releaseStage; ///< see releaseStageForVersion
    bool reportBackgroundAppHangs = false;
    int launchDurationMillis = 0;
    QString appName; ///< names the reports and the run marker
    QString appVersion;
    QString reportsFolder; ///< empty: StandardPaths::userDiagnosticReportsFolder()
    /// Run before a report is written; they may add metadata, and one returning false drops the report.
    std::vector<std::function<bool(CrashEvent&)>> onSendErrorBlocks;
    void addOnSendError(std::function<bool(CrashEvent&)> block);

    /// From the program's information dictionary: apiKey = member "apiKey" of the entry "bugsnag",
    /// appName = "CFBundleName", appVersion = "CFBundleShortVersionString", releaseStage from the version.
    static CrashReporterConfiguration loadConfig();
    /// "development" when the version contains "b", else "testing" when it contains "test",
    /// else "production".
    static QString releaseStageForVersion(const QString& version);
};

} // namespace platform
