#include "support/Profiler.h"

#include "platform/BundleInfo.h"
#include "platform/ConsoleLog.h"
#include "platform/PropertyList.h"
#include "support/SystemProfile.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QPointer>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>
#include <QThreadPool>
#include <sys/stat.h>

namespace {

const QString Prefix = QStringLiteral("Contact Norvane Support: ");
/// pkexec's exit codes when the password dialog was dismissed or the user is not allowed.
constexpr int ElevationDismissed = 126;
constexpr int ElevationNotAuthorized = 127;

void console(const QString& text) {
    platform::ConsoleLog::write(Prefix + text);
}

/// Copies a file or a folder with everything in it; links are left out (they could lead
/// anywhere). An existing destination file is replaced.
bool copyItem(const QString& source, const QString& destination, QString* error) {
    const QFileInfo info(source);
    if (info.isSymLink())
        return true;
    if (!info.exists()) {
        *error = QObject::tr("“%1” does not exist.").arg(source);
        return false;
    }
    if (info.isDir()) {
        if (!QDir().mkpath(destination)) {
            *error = QObject::tr("Could not create “%1”.").arg(destination);
            return false;
        }
        bool ok = true;
        const QFileInfoList entries =
            QDir(source).entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
        for (const QFileInfo& entry : entries)
            ok = copyItem(entry.absoluteFilePath(), destination + QLatin1Char('/') + entry.fileName(),
                          error) &&
                 ok;
        return ok;
    }
    QDir().mkpath(QFileInfo(destination).absolutePath());
    QFile::remove(destination);
    QFile file(source);
    if (!file.copy(destination)) {
        *error = QObject::tr("Could not copy “%1”: %2").arg(source, file.errorString());
        return false;
    }
    return true;
}

/// Copies and reports a failure on the console with `what` ("Copy Preferences: Error: …").
void copyOrReport(const QString& source, const QString& destination, const QString& what) {
    QString error;
    if (!copyItem(source, destination, &error))
        console(what + error);
}

/// A folder or file that may well be absent on this machine: copied when it is there.
void copyIfPresent(const QString& source, const QString& destination, const QString& what) {
    if (QFileInfo::exists(source))
        copyOrReport(source, destination, what);
}

/// Every file below the folders, each into `destination` under its own name.
void copyFilesFlat(const QStringList& folders, const QString& destination, const QString& what) {
    bool made = false;
    for (const QString& folder : folders) {
        QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            if (it.fileInfo().isSymLink())
                continue;
            if (!made)
                made = QDir().mkpath(destination);
            copyOrReport(path, destination + QLatin1Char('/') + it.fileName(), what);
        }
    }
}

/// Settings whose values must not leave the machine: passwords, keys, tokens.
bool isSecretKey(const QString& key) {
    static const QRegularExpression secret(
        QStringLiteral("password|secret|token|applicationkey|apikey|credential"),
        QRegularExpression::CaseInsensitiveOption);
    return secret.match(key).hasMatch();
}

QVariant redactSecrets(const QVariant& value) {
    if (value.typeId() == QMetaType::QVariantMap) {
        QVariantMap map = value.toMap();
        for (auto it = map.begin(); it != map.end(); ++it)
            it.value() = isSecretKey(it.key()) ? QVariant(QStringLiteral("***")) : redactSecrets(it.value());
        return map;
    }
    if (value.typeId() == QMetaType::QVariantList) {
        QVariantList list = value.toList();
        for (QVariant& item : list)
            item = redactSecrets(item);
        return list;
    }
    return value;
}

bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

/// A settings file with passwords and keys blanked: the archive leaves the machine. Settings
/// files (INI) and property lists are rewritten; other files are copied as they are.
void copyPreferencesRedacted(const QString& source, const QString& destination, const QString& what) {
    const QString suffix = QFileInfo(source).suffix();
    if (suffix == QLatin1String("conf") || suffix == QLatin1String("ini")) {
        if (!QFileInfo::exists(source)) {
            console(what + QObject::tr("“%1” does not exist.").arg(source));
            return;
        }
        const QSettings settings(source, QSettings::IniFormat);
        QDir().mkpath(QFileInfo(destination).absolutePath());
        QFile::remove(destination);
        QSettings copy(destination, QSettings::IniFormat);
        for (const QString& key : settings.allKeys())
            copy.setValue(key, isSecretKey(key.section(QLatin1Char('/'), -1))
                                   ? QVariant(QStringLiteral("***"))
                                   : redactSecrets(settings.value(key)));
        copy.sync();
        if (copy.status() != QSettings::NoError)
            console(what + QObject::tr("Could not write “%1”.").arg(destination));
        return;
    }
    QFile file(source);
    if (!file.open(QIODevice::ReadOnly)) {
        console(what + file.errorString());
        return;
    }
    const std::optional<QVariant> settings = platform::PropertyList::read(file.readAll());
    if (!settings) {
        copyOrReport(source, destination, what);
        return;
    }
    QDir().mkpath(QFileInfo(destination).absolutePath());
    if (!writeFile(destination, platform::PropertyList::writeXml(redactSecrets(*settings))))
        console(what + QObject::tr("Could not write “%1”.").arg(destination));
}

} // namespace

Profiler::Profiler(SupportSources sources, QObject* parent)
    : QObject(parent), m_sources(std::move(sources)), m_applicationName(platform::BundleInfo::bundleName()),
      m_version(platform::BundleInfo::bundleVersion()) {}

Profiler::~Profiler() {
    cancel();
}

void Profiler::getDeviceModelName() {
    QPointer<Profiler> self(this);
    const SupportSources sources = m_sources;
    QThreadPool::globalInstance()->start([self, sources] {
        const QString name = SystemProfile::modelName(sources);
        QMetaObject::invokeMethod(qApp, [self, name] {
            if (!self)
                return;
            self->m_deviceModelName = name;
            Q_EMIT self->deviceModelNameRetrieved();
        });
    });
}

void Profiler::gatherXmlSystemProfileThread() {
    QPointer<Profiler> self(this);
    const SupportSources sources = m_sources;
    QThreadPool::globalInstance()->start([self, sources] {
        const QByteArray xml = platform::PropertyList::writeXml(SystemProfile::gather(sources));
        if (xml.isEmpty())
            console(QStringLiteral("Profiler: Collect System Profiler failed"));
        QMetaObject::invokeMethod(qApp, [self, xml] {
            if (!self)
                return;
            self->m_xmlSystemProfile = QString::fromUtf8(xml);
            Q_EMIT self->systemProfileRetrieved();
        });
    });
}

void Profiler::copyFilesInvolvedAtPath(const QString& folder) const {
    for (const QString& file : m_request.filesInvolved)
        copyOrReport(file, folder + QStringLiteral("/Files Involved/") + QFileInfo(file).fileName(),
                     QStringLiteral("Copy Files Involved: Error: "));
}

void Profiler::copySupportFilesAtPath(const QString& folder) const {
    for (const QString& file : m_request.supportFilesPath)
        copyOrReport(file, folder + QStringLiteral("/Support Files/") + QFileInfo(file).fileName(),
                     QStringLiteral("Copy Support Files: Error: "));
}

void Profiler::copyVideoDevicesPath(const QString& folder) const {
    copyIfPresent(m_sources.userPreferencesFolder + QStringLiteral("/com.aja.devicesettings"),
                  folder + QStringLiteral("/com.aja.devicesettings"),
                  QStringLiteral("AJA Device Settings: Error: "));
}

void Profiler::copyPreferencesFilesAtPath(const QString& folder) const {
    // The program's settings, with passwords and keys blanked: the archive leaves the machine.
    copyPreferencesRedacted(m_sources.preferencesFile,
                            folder + QLatin1Char('/') + QFileInfo(m_sources.preferencesFile).fileName(),
                            QStringLiteral("Copy Preferences: Error: "));
}

void Profiler::copyBMDDeviceSettingsAtPath(const QString& folder) const {
    const QString name = QStringLiteral("com.blackmagic-design.desktopvideo.prefspanel.plist");
    copyOrReport(m_sources.machinePreferencesFolder + QLatin1Char('/') + name,
                 folder + QLatin1Char('/') + name, QStringLiteral("Copy BMD Preferences: Error: "));
}

void Profiler::copyAjaDeviceSettingsAtPath(const QString& folder) const {
    const QString name = QStringLiteral("com.aja.devicesettings.plist");
    copyOrReport(m_sources.userPreferencesFolder + QLatin1Char('/') + name, folder + QLatin1Char('/') + name,
                 QStringLiteral("Copy AJA Preferences: "));
}

void Profiler::copyNorvaneApplicationsSpecificFilesFolderToPath(const QString& folder) const {
    const QString copy = folder + QStringLiteral("/Applications Support Files");
    copyOrReport(m_sources.machineSupportFolder, copy,
                 QStringLiteral("Copy Applications Support Files: Error: "));
    // The node programs are large and of no use to support.
    for (int n = 1; n <= 8; ++n)
        QDir(copy + QStringLiteral("/Vistacast Node/Node %1/Vistacast Node %1.app").arg(n))
            .removeRecursively();
}

void Profiler::copyApplicationSpecificFilesFolderToPath(const QString& folder) const {
    copyIfPresent(m_sources.machineSupportFolder + QLatin1Char('/') + m_applicationName,
                  folder + QLatin1Char('/') + m_applicationName,
                  QStringLiteral("Copy Application Support Files: Error: "));
}

void Profiler::copyStreamingPresetsFolderToPath(const QString& folder) const {
    copyIfPresent(m_sources.machineSupportFolder + QStringLiteral("/Streaming Presets"),
                  folder + QStringLiteral("/Streaming Presets"),
                  QStringLiteral("Copy Streaming Presets: Error: "));
}

void Profiler::copyStreamDeckFolderToPath(const QString& folder) const {
    copyIfPresent(m_sources.machineSupportFolder + QStringLiteral("/StreamDeck"),
                  folder + QStringLiteral("/StreamDeck"), QStringLiteral("Copy StreamDeck: Error: "));
}

void Profiler::copyActionsFolderToPath(const QString& folder) const {
    copyIfPresent(m_sources.machineSupportFolder + QStringLiteral("/Vistacast Video/Actions"),
                  folder + QStringLiteral("/Actions"), QStringLiteral("Copy Actions: Error: "));
}

void Profiler::copyUserLogsFolderToPath(const QString& folder) const {
    copyOrReport(m_sources.userLogsFolder, folder + QStringLiteral("/User Logs"),
                 QStringLiteral("Copy User Logs: Error: "));
}

void Profiler::copyUserNorvanePreferencesFolderToPath(const QString& folder) const {
    const QFileInfoList items = QDir(m_sources.userPreferencesFolder)
                                    .entryInfoList({QStringLiteral("com.norvanemedia*")},
                                                   QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    if (items.isEmpty())
        return;
    QDir().mkpath(folder + QStringLiteral("/User Preferences"));
    for (const QFileInfo& item : items) {
        const QString destination = folder + QStringLiteral("/User Preferences/") + item.fileName();
        const QString what = QStringLiteral("Copy User Preferences: Error: ");
        if (item.isFile())
            copyPreferencesRedacted(item.absoluteFilePath(), destination, what);
        else
            copyOrReport(item.absoluteFilePath(), destination, what);
    }
}

void Profiler::copyCrashLogToPath(const QString& folder) const {
    copyFilesFlat(m_sources.diagnosticReportsFolders, folder + QStringLiteral("/Diagnostic Reports"),
                  QStringLiteral("Copy Diagnostic Reports: Error: "));
}

void Profiler::copyCrashReporterFolderToPath(const QString& folder) const {
    copyFilesFlat(m_sources.crashReporterFolders, folder + QStringLiteral("/CrashReporter"),
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
            !copyItem(log.absoluteFilePath(), folder + QLatin1Char('/') + *name, &error)) {
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
    auto* output = new QFile(path);
    auto* process = new QProcess(this);
    m_journal = process;
    output->setParent(process);
    if (!output->open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        console(QStringLiteral("Log Collect: Error: ") + output->errorString());
        delete process;
        addLogsWarning();
        QMetaObject::invokeMethod(this, &Profiler::logsCollected, Qt::QueuedConnection);
        return;
    }
    ::chmod(QFile::encodeName(path).constData(), S_IRUSR | S_IWUSR);
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
    const auto ended = [this, process, output, program](int exitCode, bool started) {
        output->write(process->readAllStandardOutput());
        output->close();
        if (!started || exitCode != 0) {
            const bool refused =
                started && (exitCode == ElevationDismissed || exitCode == ElevationNotAuthorized);
            console(QStringLiteral("Log Collect: Error: ") +
                    (refused ? QStringLiteral("The administrator password is required to do this.")
                     : started
                         ? QString::fromUtf8(process->readAllStandardError()).trimmed()
                         : QObject::tr("%1 could not be started: %2").arg(program, process->errorString())));
            if (output->size() == 0)
                output->remove();
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

void Profiler::gatherIntoFolder(const QString& folder) {
    if (m_gathering)
        return;
    m_gathering = true;
    m_warned = false;
    QDir().mkpath(folder);
    Q_EMIT progressed(tr("Copying settings, logs and crash reports…"));
    QPointer<Profiler> self(this);
    // A copy works on the worker thread, so this object may go meanwhile.
    auto snapshot = std::make_shared<Profiler>(m_sources);
    snapshot->m_request = m_request;
    snapshot->m_applicationName = m_applicationName;
    snapshot->moveToThread(nullptr); // used, and let go, on the worker thread
    QThreadPool::globalInstance()->start([self, snapshot, folder] {
        const Profiler& p = *snapshot;
        p.copyFilesInvolvedAtPath(folder);
        p.copySupportFilesAtPath(folder);
        p.copyVideoDevicesPath(folder);
        p.copyPreferencesFilesAtPath(folder);
        p.copyBMDDeviceSettingsAtPath(folder);
        p.copyAjaDeviceSettingsAtPath(folder);
        p.copyNorvaneApplicationsSpecificFilesFolderToPath(folder);
        p.copyApplicationSpecificFilesFolderToPath(folder);
        p.copyStreamingPresetsFolderToPath(folder);
        p.copyStreamDeckFolderToPath(folder);
        p.copyActionsFolderToPath(folder);
        p.copyUserLogsFolderToPath(folder);
        p.copyUserNorvanePreferencesFolderToPath(folder);
        p.copyCrashLogToPath(folder);
        p.copyCrashReporterFolderToPath(folder);
        const bool logsRead = p.copySystemLogsToPath(folder);
        const QString model = SystemProfile::modelName(p.m_sources);
        const QByteArray profile = platform::PropertyList::writeXml(SystemProfile::gather(p.m_sources));
        if (profile.isEmpty() || !writeFile(folder + QStringLiteral("/System Profile.plist"), profile))
            console(QStringLiteral("Profiler: Collect System Profiler failed"));
        QMetaObject::invokeMethod(qApp, [self, folder, logsRead, model, profile] {
            if (!self)
                return;
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
}

void Profiler::finishGathering(const QString& folder) {
    writeFile(folder + QStringLiteral("/Support Request.json"),
              m_request.toJson(m_applicationName, m_version, m_deviceModelName));
    QPointer<Profiler> self(this);
    QThreadPool::globalInstance()->start([self, folder] {
        restrictToOwner(folder);
        QMetaObject::invokeMethod(qApp, [self, folder] {
            if (!self)
                return;
            self->m_gathering = false;
            Q_EMIT self->gathered(folder);
        });
    });
}

void Profiler::restrictToOwner(const QString& folder) {
    ::chmod(QFile::encodeName(folder).constData(), S_IRWXU);
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (it.fileInfo().isSymLink())
            continue;
        ::chmod(QFile::encodeName(path).constData(), it.fileInfo().isDir() ? S_IRWXU : (S_IRUSR | S_IWUSR));
    }
}
