#pragma once

#include <QObject>
#include <QString>
#include <QUrl>
#include <QVariantMap>
#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

class NVSLogController;
class QDBusConnection;
struct NorvaneVersion;
namespace platform {
class PowerOffMonitor;
class SerialExecutor;
class UserDefaults;
class UserNotificationCenter;
struct UserNotificationResponse;
namespace http {
class Client;
}
} // namespace platform

/// The services a Norvane application uses; what is left empty is the process's shared one.
struct NorvaneApplicationEnvironment {
    platform::UserDefaults* defaults = nullptr;
    NVSLogController* logger = nullptr;
    std::shared_ptr<platform::http::Client> http;
    std::shared_ptr<platform::UserNotificationCenter> notifications;
    /// The information dictionary; empty: the program's own (BundleInfo).
    QVariantMap infoDictionary;
    /// Opens an address in the default browser; default: xdg-open, detached.
    std::function<bool(const QUrl&)> openURL;
    /// Answers 2 when Full Disk Access is missing, 1 otherwise; default: fullDiskAccessStatus().
    std::function<int()> fullDiskAccessProbe;
    /// The bus on which logind announces a power-off; none: the system bus.
    std::shared_ptr<QDBusConnection> powerOffBus;
};

/// The application object of the maker's applications, next to the Qt application object it
/// serves (the desktop program's widget pieces live in appbase/ui): shared defaults, version
/// bookkeeping, names with the instance-number rules, standard folders, power-off tracking, user
/// notifications, the once-per-launch version check, the Full Disk Access prompt and the hand-over
/// of exceptions to the crash reporter. Lives on the main thread for the whole run; headless.
class NorvaneApplication : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool isPoweringOff READ isPoweringOff NOTIFY poweringOff)
  public:
    using Environment = NorvaneApplicationEnvironment;

    // User defaults
    static inline const QString LastOpenedVersionKey = QStringLiteral("LastOpenedVersion");
    static inline const QString AskedForFullDiskAccessKey = QStringLiteral("askedForFullDiskAccess");
    static inline const QString CrashOnExceptionsKey = QStringLiteral("NSApplicationCrashOnExceptions");
    /// Where the version check asks for releases (a user default, so facilities can point it
    /// at a mirror).
    static inline const QString ReleaseNotesURLKey = QStringLiteral("releaseNotesURL");
    static inline const QString DefaultReleaseNotesURL =
        QStringLiteral("https://www.norvanemedia.com/api/release-notes");
    static inline const QString DefaultDownloadsURL =
        QStringLiteral("https://www.norvanemedia.com/downloads");
    static inline const QString KnowledgeBaseURL = QStringLiteral("https://help.norvanemedia.com");

    // Notification categories and the Upgrade button
    static inline const QString UpgradeNotificationCategory = QStringLiteral("UpgradeNotification");
    static inline const QString WarningNotificationCategory = QStringLiteral("WarningNotification");
    static inline const QString UpgradeNotificationAction = QStringLiteral("UpgradeNotificationAction");

    explicit NorvaneApplication(Environment environment = Environment(), QObject* parent = nullptr);
    ~NorvaneApplication() override;

    // System version (coarse codes; see docs/application.md for what they mean on Linux)
    static QString macOSVersionString();
    static int macOSVersion();
    static bool isRunningOnCatalinaOrLater() { return macOSVersion() > 1014; }
    static bool isRunningOnBigSurOrLater() { return macOSVersion() > 1099; }
    static bool isRunningOnSequoiaOrLater() { return macOSVersion() > 1499; }
    static QString stringFromFourCharCode(std::uint32_t code);

    // Full Disk Access
    /// 2 (not granted) when the probe file exists but cannot be read, 1 otherwise.
    static int fullDiskAccessStatus();
    static QString fullDiskAccessProbePath();
    /// There is no such settings pane on Linux: logs that, returns false.
    bool openFullDiskAccessPreferences();
    void checkForFullDiskAccessStatus();
    /// The explanation window belongs to the desktop program; it installs it here.
    void setFullDiskAccessDialog(std::function<void()> show) { m_showFullDiskAccessDialog = std::move(show); }

    // Identity and names
    virtual QString applicationPrefix() const {
        return QStringLiteral("com.norvanemedia.UnknownApplication");
    }
    virtual std::uint32_t applicationOSType() const { return 0; }
    const QVariantMap& infoDictionary() const { return m_info; }
    QString applicationBundleName() const;
    QString applicationFolderNameForSpecificSupportFiles() const { return applicationBundleName(); }
    QString applicationBundleIdentifier() const;
    QString applicationExecutablePath() const;
    QString applicationBundleVersionString() const;
    QString applicationBundleBuildVersion() const;
    QString applicationHockeyAppIdentifier() const;
    QString applicationAppCenterIdentifier() const;
    bool applicationIsMultiChannel() const { return false; }
    QString applicationBundleIdentifierIgnoringFirstInstanceNumber() const;
    QString applicationBundleNameIgnoringFirstInstanceNumber() const;
    QString applicationBundleNameIgnoringInstanceNumber() const;
    int applicationInstanceIndex() const;
    // The rules themselves, for any text
    static QString identifierIgnoringFirstInstanceNumber(const QString& identifier);
    static QString nameIgnoringFirstInstanceNumber(const QString& name);
    static QString nameIgnoringInstanceNumber(const QString& name);
    static int instanceIndexOfIdentifier(const QString& identifier);

    // Folders
    static QString applicationSpecificFilesSearchPath();
    static QString norvaneDirectoryInApplicationSupportFolderPath();
    QString applicationDirectoryPathInApplicationSupportNorvane() const;
    /// Created when missing; a failure is presented to the user. The path is returned in any case.
    QString defaultTechnicalLogsDestinationDirectory() const;

    // Versions
    const std::optional<QString>& previousLaunchApplicationVersionString() const { return m_previousVersion; }

    // Power-off
    bool isPoweringOff() const { return m_isPoweringOff; }
    void willPowerOff();

    /// The launch has finished: notification categories, then the version check.
    virtual void finishLaunching();

    // User notifications
    void registerNotificationCategories();
    /// Never waits: the settings are asked for, and the notification posted, on a queue of its own.
    void displayNotificationWithTitle(const QString& title, const QString& message,
                                      const QString& categoryIdentifier = QString());
    void didReceiveNotificationResponse(const platform::UserNotificationResponse& response);
    /// The page the Upgrade button opens.
    QString downloadPageURL() const;
    /// Waits until every notification asked for so far has been handed to the system (tests, exit).
    void waitForNotifications();

    // Version check
    /// Once per launch; asks the release-notes service in the background.
    void checkForLatestVersion();
    void showVersionNotification(const NorvaneVersion& currentVersion, const NorvaneVersion& latestVersion);
    /// The release-notes answer judged against the running version: the version to announce, if any.
    static std::optional<NorvaneVersion> versionToAnnounce(const NorvaneVersion& running,
                                                           const QByteArray& answer, int systemVersion);

    // Help
    bool searchKnowledgeBase();
    bool openURL(const QUrl& url);

    // Crash reporting
    /// The text a crash report carries as its log (name, version, what the application says of itself).
    QString crashLogText() const;
    void setCrashLogText(const QString& text);
    /// Hands the exception to the crash reporter. With "NSApplicationCrashOnExceptions" on (the
    /// program's setting) the process then ends as for any uncaught exception.
    void reportException(std::exception_ptr exception);

  Q_SIGNALS:
    void poweringOff();
    /// The version check has ended; `announced` is the version told about, empty when none.
    void latestVersionChecked(const QString& announced);

  protected:
    platform::UserDefaults& defaults() const { return *m_defaults; }
    NVSLogController& logger() const { return *m_logger; }

  private:
    void registerDefaults();
    void getLastUsedVersionFromUserDefaultsAndUpdateValue();
    QString infoString(const QString& key) const;

    platform::UserDefaults* m_defaults;
    NVSLogController* m_logger;
    std::shared_ptr<platform::http::Client> m_http;
    std::shared_ptr<platform::UserNotificationCenter> m_notifications;
    QVariantMap m_info;
    std::function<bool(const QUrl&)> m_openURL;
    std::function<int()> m_fullDiskAccessProbe;
    std::function<void()> m_showFullDiskAccessDialog;
    std::optional<QString> m_previousVersion;
    bool m_isPoweringOff = false;
    std::atomic<bool> m_checkedForLatestVersion = false;
    mutable std::mutex m_crashLogMutex;
    QString m_crashLogText;
    std::unique_ptr<platform::PowerOffMonitor> m_powerOff;
    std::unique_ptr<platform::SerialExecutor> m_notificationQueue;
};
