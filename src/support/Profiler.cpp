#include "support/Profiler.h"

#include "platform/BundleInfo.h"
#include "platform/ConsoleLog.h"
#include "platform/PropertyList.h"
#include "support/OwnerOnlyFiles.h"
#include "support/SupportFileCopy.h"
#include "support/SystemProfile.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QPointer>
#include <QProcess>
#include <QStandardPaths>
#include <QThreadPool>
#include <unistd.h>

namespace {

/// pkexec's exit codes when the password dialog was dismissed or the user is not allowed.
constexpr int ElevationDismissed = 126;
constexpr int ElevationNotAuthorized = 127;

void console(const QString& text) {
    SupportFileCopy::report(text);
}

bool fail(platform::Error* error, const QString& text) {
    platform::setError(error, platform::Error::make(platform::Error::FileDomain, 1, text));
    return false;
}

} // namespace

Profiler::Profiler(SupportSources sources, QObject* parent)
    : QObject(parent), m_sources(std::move(sources)), m_applicationName(platform::BundleInfo::bundleName()),
      m_version(platform::BundleInfo::bundleVersion()) {}

Profiler::~Profiler() {
    cancel();
}

void Profiler::copyFilesInvolvedAtPath(const QString& folder) const {
    for (const QString& file : m_request.filesInvolved)
        SupportFileCopy::copyOrReport(
            file, folder + QStringLiteral("/Files Involved/") + QFileInfo(file).fileName(),
            QStringLiteral("Copy Files Involved: Error: "));
}

void Profiler::copySupportFilesAtPath(const QString& folder) const {
    for (const QString& file : m_request.supportFilesPath)
        SupportFileCopy::copyOrReport(file,
                                      folder + QStringLiteral("/Support Files/") + QFileInfo(file).fileName(),
                                      QStringLiteral("Copy Support Files: Error: "));
}

void Profiler::copyVideoDevicesPath(const QString& folder) const {
    SupportFileCopy::copyIfPresent(
        m_sources.userPreferencesFolder + QStringLiteral("/com.aja.devicesettings"),
        folder + QStringLiteral("/com.aja.devicesettings"), QStringLiteral("AJA Device Settings: Error: "));
}

void Profiler::copyPreferencesFilesAtPath(const QString& folder) const {
    SupportFileCopy::copyOrReport(m_sources.preferencesFile,
                                  folder + QLatin1Char('/') + QFileInfo(m_sources.preferencesFile).fileName(),
                                  QStringLiteral("Copy Preferences: Error: "));
}

void Profiler::copyBMDDeviceSettingsAtPath(const QString& folder) const {
    const QString name = QStringLiteral("com.blackmagic-design.desktopvideo.prefspanel.plist");
    SupportFileCopy::copyOrReport(m_sources.machinePreferencesFolder + QLatin1Char('/') + name,
                                  folder + QLatin1Char('/') + name,
                                  QStringLiteral("Copy BMD Preferences: Error: "));
}

void Profiler::copyAjaDeviceSettingsAtPath(const QString& folder) const {
    const QString name = QStringLiteral("com.aja.devicesettings.plist");
    SupportFileCopy::copyOrReport(m_sources.userPreferencesFolder + QLatin1Char('/') + name,
                                  folder + QLatin1Char('/') + name, QStringLiteral("Copy AJA Preferences: "));
}

void Profiler::copyNorvaneApplicationsSpecificFilesFolderToPath(const QString& folder) const {
    // What has a copy operation of its own goes once, and the node programs, large and of no use
    // to support, not at all.
    const QDir machine(m_sources.machineSupportFolder);
    QStringList skipped{machine.absoluteFilePath(m_applicationName),
                        machine.absoluteFilePath(QStringLiteral("Streaming Presets")),
                        machine.absoluteFilePath(QStringLiteral("StreamDeck")),
                        machine.absoluteFilePath(QStringLiteral("Vistacast Video/Actions"))};
    for (int n = 1; n <= 8; ++n)
        skipped << machine.absoluteFilePath(
            QStringLiteral("Vistacast Node/Node %1/Vistacast Node %1.app").arg(n));
    SupportFileCopy::copyOrReport(m_sources.machineSupportFolder,
                                  folder + QStringLiteral("/Applications Support Files"),
                                  QStringLiteral("Copy Applications Support Files: Error: "), skipped);
}

void Profiler::copyApplicationSpecificFilesFolderToPath(const QString& folder) const {
    SupportFileCopy::copyIfPresent(m_sources.machineSupportFolder + QLatin1Char('/') + m_applicationName,
                                   folder + QLatin1Char('/') + m_applicationName,
                                   QStringLiteral("Copy Application Support Files: Error: "));
}

void Profiler::copyStreamingPresetsFolderToPath(const QString& folder) const {
    SupportFileCopy::copyIfPresent(m_sources.machineSupportFolder + QStringLiteral("/Streaming Presets"),
                                   folder + QStringLiteral("/Streaming Presets"),
                                   QStringLiteral("Copy Streaming Presets: Error: "));
}

void Profiler::copyStreamDeckFolderToPath(const QString& folder) const {
    SupportFileCopy::copyIfPresent(m_sources.machineSupportFolder + QStringLiteral("/StreamDeck"),
                                   folder + QStringLiteral("/StreamDeck"),
                                   QStringLiteral("Copy StreamDeck: Error: "));
}

void Profiler::copyActionsFolderToPath(const QString& folder) const {
    SupportFileCopy::copyIfPresent(
        m_sources.machineSupportFolder + QStringLiteral("/Vistacast Video/Actions"),
        folder + QStringLiteral("/Actions"), QStringLiteral("Copy Actions: Error: "));
}

void Profiler::copyUserLogsFolderToPath(const QString& folder) const {
    SupportFileCopy::copyOrReport(m_sources.userLogsFolder, folder + QStringLiteral("/User Logs"),
                                  QStringLiteral("Copy User Logs: Error: "));
}

void Profiler::copyUserNorvanePreferencesFolderToPath(const QString& folder) const {
    const QFileInfoList items = QDir(m_sources.userPreferencesFolder)
                                    .entryInfoList({QStringLiteral("com.norvanemedia*")},
                                                   QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    if (items.isEmpty())
        return;
    for (const QFileInfo& item : items)
        SupportFileCopy::copyOrReport(item.absoluteFilePath(),
                                      folder + QStringLiteral("/User Preferences/") + item.fileName(),
                                      QStringLiteral("Copy User Preferences: Error: "));
}

void Profiler::copyCrashLogToPath(const QString& folder) const {
    SupportFileCopy::copyFilesFlat(m_sources.diagnosticReportsFolders,
                                   folder + QStringLiteral("/Diagnostic Reports"),
                                   QStringLiteral("Copy Diagnostic Reports: Error: "));
}

void Profiler::copyCrashReporterFolderToPath(const QString& folder) const {
    SupportFileCopy::copyFilesFlat(m_sources.crashReporterFolders, folder + QStringLiteral("/CrashReporter"),
                                   QStringLiteral("Copy CrashReporter: Error: "));
}

bool Profiler::copySystemLogsToPath(const QString& folder) const {
    const QDateTime from = QDateTime(m_request.occuredDate.date().addDays(-1), QTime(0, 0));
    const QDateTime to = m_request.occuredDate.addDays(1);
    bool allRead = true;
    for (auto name = m_sources.systemLogNames.crbegin(); name != m_sources.systemLogNames.crend(); ++name) {
        const QFileInfo log(m_sources.systemLogFolder + QLatin1Char('/') + *name);
        if (!log.exists() || log.lastModified() < from || log.lastModified() > to)
            continue;
        QString error;
        if (!log.isReadable() ||
            !SupportFileCopy::copy(log.absoluteFilePath(), folder + QLatin1Char('/') + *name, &error)) {
            console(
                QStringLiteral("Copy System Logs: Error: ") +
                (error.isEmpty() ? QObject::tr("“%1” cannot be read.").arg(log.absoluteFilePath()) : error));
            allRead = false;
        }
    }
    return allRead;
}

void Profiler::collectLogsToPath(const QString& folder) {
    console(QStringLiteral("Profiler: collectLogsToPath"));
    const QDateTime start = m_request.occuredDate.addSecs(-86400);
    const QLocale posix(QStringLiteral("en_US_POSIX"));
    const QString day = posix.toString(start, QStringLiteral("yyyy-MM-dd"));
    const QString since = posix.toString(start, QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    const QString path = folder + QStringLiteral("/SystemLogs_%1.log").arg(day);
    auto* process = new QProcess(this);
    auto* output = new QFile(process);
    m_journal = process;
    QString failure;
    const int fd = OwnerOnlyFiles::create(path, &failure);
    if (fd < 0 || !output->open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle)) {
        console(QStringLiteral("Log Collect: Error: ") + (fd < 0 ? failure : output->errorString()));
        if (fd >= 0)
            ::close(fd);
        delete process;
        addLogsWarning();
        QMetaObject::invokeMethod(this, &Profiler::logsCollected, Qt::QueuedConnection);
        return;
    }
    QString journal = QStandardPaths::findExecutable(m_sources.journalProgram);
    if (journal.isEmpty())
        journal = m_sources.journalProgram;
    QStringList arguments{journal,
                          QStringLiteral("--since"),
                          since,
                          QStringLiteral("--no-pager"),
                          QStringLiteral("-o"),
                          QStringLiteral("short-iso")};
    QString program = m_sources.elevationProgram;
    if (program.isEmpty())
        program = arguments.takeFirst();
    connect(process, &QProcess::readyReadStandardOutput, process,
            [process, output] { output->write(process->readAllStandardOutput()); });
    const auto ended = [this, process, output, program, path](int exitCode, bool started) {
        output->write(process->readAllStandardOutput());
        output->close();
        if (m_cancelled && m_cancelled->load()) {
            // Stopped on purpose: no warning, and the rest goes with the whole gathering.
        } else if (!started || exitCode != 0) {
            const bool refused =
                started && (exitCode == ElevationDismissed || exitCode == ElevationNotAuthorized);
            console(QStringLiteral("Log Collect: Error: ") +
                    (refused ? QStringLiteral("The administrator password is required to do this.")
                     : started
                         ? QString::fromUtf8(process->readAllStandardError()).trimmed()
                         : QObject::tr("%1 could not be started: %2").arg(program, process->errorString())));
            if (QFileInfo(path).size() == 0)
                QFile::remove(path);
            addLogsWarning();
        }
        process->deleteLater();
        Q_EMIT logsCollected();
    };
    connect(process, &QProcess::finished, this, [ended](int exitCode, QProcess::ExitStatus status) {
        ended(status == QProcess::NormalExit ? exitCode : -1, true);
    });
    // A program that cannot start never finishes: that is its end.
    connect(process, &QProcess::errorOccurred, this, [ended](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            ended(-1, false);
    });
    process->start(program, arguments, QIODevice::ReadOnly);
}

void Profiler::cancel() {
    if (!m_gathering || !m_cancelled)
        return;
    m_cancelled->store(true);
    if (m_journal && m_journal->state() != QProcess::NotRunning)
        m_journal->kill();
}

void Profiler::addLogsWarning() {
    if (std::exchange(m_warned, true))
        return;
    m_request.problemDescription += WarningSuffix;
    Q_EMIT warning(WarningTitle,
                   tr("Some system logs could not be read: the account may lack administrator privileges. "
                      "The request goes with the logs that could be read."));
}

bool Profiler::gatherIntoFolder(const QString& folder, platform::Error* error) {
    if (m_gathering)
        return fail(error, tr("A gathering is under way already."));
    // Only a folder of its own: what is in a folder the operator already uses must not change
    // mode, go into the archive or be removed.
    const QFileInfo root(folder);
    if (root.isSymLink() || (root.exists() && !root.isDir()))
        return fail(error, tr("“%1” is not a folder.").arg(folder));
    const bool existed = root.exists();
    if (existed && !QDir(folder)
                        .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)
                        .isEmpty())
        return fail(error, tr("“%1” is not empty: support information is gathered into a new or empty "
                              "folder. Name one that does not exist yet.")
                               .arg(folder));
    if (!existed && !OwnerOnlyFiles::makeFolder(folder))
        return fail(error, tr("Could not create the folder “%1”.").arg(folder));
    m_gathering = true;
    m_madeFolder = !existed;
    m_warned = false;
    m_cancelled = std::make_shared<std::atomic<bool>>(false);
    Q_EMIT progressed(tr("Copying settings, logs and crash reports…"));
    QPointer<Profiler> self(this);
    // A copy works on the worker thread, so this object may go meanwhile.
    auto snapshot = std::make_shared<Profiler>(m_sources);
    snapshot->m_request = m_request;
    snapshot->m_applicationName = m_applicationName;
    snapshot->moveToThread(nullptr); // used, and let go, on the worker thread
    const std::shared_ptr<std::atomic<bool>> cancelled = m_cancelled;
    QThreadPool::globalInstance()->start([self, snapshot, folder, cancelled] {
        const Profiler& p = *snapshot;
        using Copy = void (Profiler::*)(const QString&) const;
        for (const Copy copy :
             {&Profiler::copyFilesInvolvedAtPath, &Profiler::copySupportFilesAtPath,
              &Profiler::copyVideoDevicesPath, &Profiler::copyPreferencesFilesAtPath,
              &Profiler::copyBMDDeviceSettingsAtPath, &Profiler::copyAjaDeviceSettingsAtPath,
              &Profiler::copyNorvaneApplicationsSpecificFilesFolderToPath,
              &Profiler::copyApplicationSpecificFilesFolderToPath,
              &Profiler::copyStreamingPresetsFolderToPath, &Profiler::copyStreamDeckFolderToPath,
              &Profiler::copyActionsFolderToPath, &Profiler::copyUserLogsFolderToPath,
              &Profiler::copyUserNorvanePreferencesFolderToPath, &Profiler::copyCrashLogToPath,
              &Profiler::copyCrashReporterFolderToPath}) {
            if (cancelled->load())
                break;
            (p.*copy)(folder);
        }
        const bool logsRead = cancelled->load() || p.copySystemLogsToPath(folder);
        QString model;
        QByteArray profile;
        if (!cancelled->load()) {
            model = SystemProfile::modelName(p.m_sources);
            profile = platform::PropertyList::writeXml(SystemProfile::gather(p.m_sources));
            if (profile.isEmpty() ||
                !SupportFileCopy::write(folder + QStringLiteral("/System Profile.plist"), profile))
                console(QStringLiteral("Profiler: Collect System Profiler failed"));
        }
        QMetaObject::invokeMethod(qApp, [self, folder, logsRead, model, profile, cancelled] {
            if (!self)
                return;
            if (cancelled->load()) {
                self->finishGathering(folder);
                return;
            }
            self->m_deviceModelName = model;
            self->m_xmlSystemProfile = QString::fromUtf8(profile);
            Q_EMIT self->deviceModelNameRetrieved();
            Q_EMIT self->systemProfileRetrieved();
            if (!logsRead)
                self->addLogsWarning();
            Q_EMIT self->progressed(tr("Reading the system journal (administrator password)…"));
            auto connection = std::make_shared<QMetaObject::Connection>();
            *connection = connect(self, &Profiler::logsCollected, self, [self, folder, connection] {
                disconnect(*connection);
                self->finishGathering(folder);
            });
            self->collectLogsToPath(folder);
        });
    });
    return true;
}

void Profiler::finishGathering(const QString& folder) {
    if (!m_cancelled->load()) {
        SupportFileCopy::write(folder + QStringLiteral("/Support Request.json"),
                               m_request.toJson(m_applicationName, m_version, m_deviceModelName));
        m_gathering = false;
        Q_EMIT gathered(folder);
        return;
    }
    // Cancelled: what the gathering wrote goes, and only that (the folder was new or empty).
    QPointer<Profiler> self(this);
    const bool madeFolder = m_madeFolder;
    QThreadPool::globalInstance()->start([self, folder, madeFolder] {
        removeGathered(folder, madeFolder);
        QMetaObject::invokeMethod(qApp, [self, folder] {
            if (!self)
                return;
            self->m_gathering = false;
            Q_EMIT self->gatheringCancelled(folder);
        });
    });
}

void Profiler::removeGathered(const QString& folder, bool madeFolder) {
    if (madeFolder) {
        QDir(folder).removeRecursively();
        return;
    }
    const QFileInfoList entries =
        QDir(folder).entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QFileInfo& entry : entries) {
        if (entry.isDir() && !entry.isSymLink())
            QDir(entry.absoluteFilePath()).removeRecursively();
        else
            QFile::remove(entry.absoluteFilePath());
    }
}
