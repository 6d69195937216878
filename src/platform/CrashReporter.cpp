#include "platform/CrashReporter.h"

#include "platform/CrashRunMarkers.h"
#include "platform/FatalErrorHandlers.h"
#include "platform/StandardPaths.h"

#include <QDir>
#include <QFile>
#include <algorithm>

namespace platform {

CrashReporter& CrashReporter::shared() {
    static CrashReporter* const reporter = new CrashReporter();
    return *reporter;
}

CrashReporter::CrashReporter() = default;

CrashReporter::~CrashReporter() {
    stop();
    std::lock_guard lock(m_mutex);
    FatalErrorHandlers::retire(m_text);
}

void CrashReporter::start(CrashReporterConfiguration configuration) {
    {
        std::lock_guard lock(m_mutex);
        const QString folder = configuration.reportsFolder.isEmpty()
                                   ? StandardPaths::userDiagnosticReportsFolder()
                                   : QDir::cleanPath(configuration.reportsFolder);
        const bool samePlace =
            m_started && folder == m_reportsFolder && configuration.appName == m_configuration.appName;
        if (m_started && !samePlace)
            QFile::remove(markerPath());
        m_configuration = std::move(configuration);
        m_reportsFolder = folder;
        QDir().mkpath(folder);
        const bool crashed = CrashRunMarkers::removeStale(folder, m_configuration.appName);
        m_lastRunCrashed = (samePlace && m_lastRunCrashed) || crashed;
        CrashRunMarkers::write(markerPath());
        m_started = true;
    }
    refreshMetadata();
    std::lock_guard lock(m_mutex);
    // The most recently started reporter is the one the handlers write for.
    FatalErrorHandlers::arm(m_text);
}

bool CrashReporter::isStarted() const {
    std::lock_guard lock(m_mutex);
    return m_started;
}

bool CrashReporter::lastRunCrashed() const {
    std::lock_guard lock(m_mutex);
    return m_lastRunCrashed;
}

QString CrashReporter::reportsFolder() const {
    std::lock_guard lock(m_mutex);
    if (!m_reportsFolder.isEmpty())
        return m_reportsFolder;
    return m_configuration.reportsFolder.isEmpty() ? StandardPaths::userDiagnosticReportsFolder()
                                                   : QDir::cleanPath(m_configuration.reportsFolder);
}

CrashEvent CrashReporter::collectEvent(const QString& errorClass, const QString& message, bool* keep) const {
    std::vector<std::function<bool(CrashEvent&)>> blocks;
    {
        std::lock_guard lock(m_mutex);
        blocks = m_configuration.onSendErrorBlocks;
    }
    // Outside the lock: a block may ask the reporter things.
    CrashEvent event{errorClass, message, {}};
    *keep =
        std::all_of(blocks.begin(), blocks.end(), [&](const auto& block) { return !block || block(event); });
    return event;
}

void CrashReporter::refreshMetadata() {
    if (!isStarted())
        return;
    bool keep = true;
    const CrashEvent event = collectEvent({}, {}, &keep);

    auto* text = new CrashReportText;
    std::lock_guard lock(m_mutex);
    const QString prefix = m_reportsFolder + QLatin1Char('/') + m_configuration.appName + QLatin1Char('-');
    text->pathPrefix = QFile::encodeName(prefix).toStdString();
    const QString header = QStringLiteral("App: ") + m_configuration.appName + QStringLiteral("\nVersion: ") +
                           m_configuration.appVersion + QStringLiteral("\nRelease stage: ") +
                           m_configuration.releaseStage + QLatin1Char('\n');
    text->header = header.toStdString();
    text->metadata = event.renderedMetadata();
    text->dropped = !keep;
    publishText(text);
}

void CrashReporter::publishText(CrashReportText* text) {
    CrashReportText* old = m_text;
    m_text = text;
    // Still the armed reporter: the handlers see the new text from now on.
    FatalErrorHandlers::replaceArmed(old, text);
    FatalErrorHandlers::retire(old);
}

QString CrashReporter::notify(std::exception_ptr exception) {
    if (!exception || !isStarted())
        return {};
    const auto [type, message] = FatalErrorHandlers::describe(exception);
    bool keep = true;
    const CrashEvent event =
        collectEvent(QString::fromStdString(type), QString::fromStdString(message), &keep);
    if (!keep)
        return {};
    const std::string cause =
        FatalErrorHandlers::exceptionCause(event.errorClass.toStdString(), event.message.toStdString());
    std::lock_guard lock(m_mutex);
    const auto path =
        m_text ? FatalErrorHandlers::writeReport(*m_text, cause, event.renderedMetadata()) : std::nullopt;
    return path ? QFile::decodeName(QByteArray::fromStdString(*path)) : QString();
}

void CrashReporter::stop() {
    std::lock_guard lock(m_mutex);
    if (!m_started)
        return;
    QFile::remove(markerPath());
    disarm();
    m_started = false;
}

void CrashReporter::disarm() {
    FatalErrorHandlers::disarm(m_text);
}

QString CrashReporter::markerPath() const {
    return CrashRunMarkers::path(m_reportsFolder, m_configuration.appName);
}

} // namespace platform
