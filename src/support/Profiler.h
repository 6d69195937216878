#pragma once

#include "support/SupportRequest.h"
#include "support/SupportSources.h"

#include <QObject>
#include <QPointer>
#include <QStringList>
#include <atomic>
#include <memory>

class QProcess;
namespace platform {
class Error;
}

/// Gathers what support staff need into one folder: the files the operator points at, the
/// program's preferences and technical logs, video hardware driver settings, crash reports, the
/// system logs and the journal around the moment of the incident, and a profile of the machine.
/// Nothing stops the gathering: a missing source is skipped, a failed copy is reported on the
/// console, and logs that could not be read add a warning to the problem description.
///
/// The copy operations read and write files of unknown size: `gatherIntoFolder` runs them off the
/// main thread. Everything it tells (signals, the request's changes) happens on the main thread.
class Profiler : public QObject {
    Q_OBJECT
  public:
    static inline const QString WarningTitle = QStringLiteral("Warning: Could not collect all logs");
    static inline const QString WarningSuffix =
        QStringLiteral("\n\n* WARNING * Logs submitted without admin privileges, some logs may be missing.");

    explicit Profiler(SupportSources sources = SupportSources::standard(), QObject* parent = nullptr);
    ~Profiler() override;

    const SupportSources& sources() const { return m_sources; }
    QString applicationName() const { return m_applicationName; }
    QString version() const { return m_version; }
    QString deviceModelName() const { return m_deviceModelName; }
    QString xmlSystemProfile() const { return m_xmlSystemProfile; }
    SupportRequest& request() { return m_request; }
    const SupportRequest& request() const { return m_request; }
    bool isGathering() const { return m_gathering; }

    /// The journal since the day before the incident, read with administrator rights, into
    /// D/SystemLogs_<day>.log; `logsCollected` follows (also when it was refused).
    void collectLogsToPath(const QString& folder);
    /// Everything into `folder`, then `gathered` (or `gatheringCancelled`). The folder must be
    /// new or empty: it is made rwx------ before anything is written, and every file and folder
    /// the gathering writes is the owner's alone from the start. False, with `error` set, for a
    /// folder that holds anything already or cannot be made; nothing is then touched.
    bool gatherIntoFolder(const QString& folder, platform::Error* error = nullptr);
    /// Stops the gathering at the next step (the journal's reading at once); what it wrote is
    /// removed, then `gatheringCancelled`.
    void cancel();

    // The copy operations (any thread; they only read the sources and the request)
    void copyFilesInvolvedAtPath(const QString& folder) const;
    void copySupportFilesAtPath(const QString& folder) const;
    void copyVideoDevicesPath(const QString& folder) const;
    void copyPreferencesFilesAtPath(const QString& folder) const;
    void copyBMDDeviceSettingsAtPath(const QString& folder) const;
    void copyAjaDeviceSettingsAtPath(const QString& folder) const;
    void copyNorvaneApplicationsSpecificFilesFolderToPath(const QString& folder) const;
    void copyApplicationSpecificFilesFolderToPath(const QString& folder) const;
    void copyStreamingPresetsFolderToPath(const QString& folder) const;
    void copyStreamDeckFolderToPath(const QString& folder) const;
    void copyActionsFolderToPath(const QString& folder) const;
    void copyUserLogsFolderToPath(const QString& folder) const;
    void copyUserNorvanePreferencesFolderToPath(const QString& folder) const;
    void copyCrashLogToPath(const QString& folder) const;
    void copyCrashReporterFolderToPath(const QString& folder) const;
    /// False when a log that is there could not be read (no administrator rights).
    bool copySystemLogsToPath(const QString& folder) const;

  Q_SIGNALS:
    void deviceModelNameRetrieved();
    void systemProfileRetrieved();
    void logsCollected();
    void supportFolderZipped();
    void largeFolderZipped();
    /// Shown to the operator (not as a modal box); the problem description has its suffix already.
    void warning(const QString& title, const QString& text);
    /// What is being gathered now, for a status line.
    void progressed(const QString& step);
    void gathered(const QString& folder);
    /// The gathering was cancelled and what it wrote is gone (a folder it made, or the contents
    /// of the empty folder it was given).
    void gatheringCancelled(const QString& folder);

  private:
    void addLogsWarning();
    void finishGathering(const QString& folder);
    static void removeGathered(const QString& folder, bool madeFolder);

    SupportSources m_sources;
    QString m_applicationName;
    QString m_version;
    QString m_deviceModelName = QStringLiteral("unknown_device");
    QString m_xmlSystemProfile;
    SupportRequest m_request;
    QPointer<QProcess> m_journal;
    bool m_gathering = false;
    bool m_madeFolder = false;
    std::shared_ptr<std::atomic<bool>> m_cancelled;
    bool m_warned = false;
};
