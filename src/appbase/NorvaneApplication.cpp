#include "appbase/NorvaneApplication.h"

#include "appbase/NVSAlertUtilities.h"
#include "appbase/NVSLogController.h"
#include "appbase/NorvaneVersion.h"
#include "appbase/TechnicalLogFolder.h"
#include "platform/BundleInfo.h"
#include "platform/CrashReporter.h"
#include "platform/HttpClient.h"
#include "platform/MainQueue.h"
#include "platform/PowerOffMonitor.h"
#include "platform/SerialExecutor.h"
#include "platform/SharedHttpClient.h"
#include "platform/StandardPaths.h"
#include "platform/UserDefaults.h"
#include "platform/UserNotificationCenter.h"
#include "platform/Uuid.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <QProcess>
#include <QRegularExpression>
#include <QSysInfo>
#include <QUrlQuery>

namespace {

bool openWithDesktop(const QUrl& url) {
    return QProcess::startDetached(QStringLiteral("xdg-open"), {url.toString()});
}

} // namespace

NorvaneApplication::NorvaneApplication(Environment environment, QObject* parent)
    : QObject(parent), m_defaults(environment.defaults ? environment.defaults
                                                       : &platform::UserDefaults::standardUserDefaults()),
      m_logger(environment.logger ? environment.logger : &NVSLogController::sharedLogController()),
      m_http(environment.http ? std::move(environment.http) : platform::http::sharedClient()),
      m_notifications(environment.notifications ? std::move(environment.notifications)
                                                : platform::UserNotificationCenter::current()),
      m_info(environment.infoDictionary.isEmpty() ? platform::BundleInfo::infoDictionary()
                                                  : std::move(environment.infoDictionary)),
      m_openURL(environment.openURL ? std::move(environment.openURL) : openWithDesktop),
      m_fullDiskAccessProbe(environment.fullDiskAccessProbe ? std::move(environment.fullDiskAccessProbe)
                                                            : &NorvaneApplication::fullDiskAccessStatus),
      m_notificationQueue(std::make_unique<platform::SerialExecutor>(QStringLiteral("notifications"))) {
    registerDefaults();
    getLastUsedVersionFromUserDefaultsAndUpdateValue();
    // Listening needs the system bus, whose connection the caller waits for: it is made once the
    // event loop runs, where a command that ends in a moment waits for its work anyway.
    QMetaObject::invokeMethod(
        this,
        [this, bus = std::move(environment.powerOffBus)] {
            m_powerOff =
                std::make_unique<platform::PowerOffMonitor>(bus ? *bus : QDBusConnection::systemBus());
            connect(m_powerOff.get(), &platform::PowerOffMonitor::willPowerOff, this,
                    &NorvaneApplication::willPowerOff);
        },
        Qt::QueuedConnection);
}

NorvaneApplication::~NorvaneApplication() {
    m_notificationQueue->waitUntilIdle();
}

// ---- System version

QString NorvaneApplication::macOSVersionString() {
    // The kernel's major and minor numbers: what a support engineer asks for first on Linux.
    static const QRegularExpression numbers(QStringLiteral("^(\\d+)\\.(\\d+)"));
    const QRegularExpressionMatch match = numbers.match(QSysInfo::kernelVersion());
    if (!match.hasMatch())
        return QStringLiteral("0.0");
    return QStringLiteral("%1.%2").arg(match.captured(1).toLong()).arg(match.captured(2).toLong());
}

int NorvaneApplication::macOSVersion() {
    // Every Linux system this build runs on has what the newest code stands for (see
    // docs/application.md), so releases that ask for an older system are offered and none that
    // asks for a newer one than the newest code is.
    return 1500;
}

QString NorvaneApplication::stringFromFourCharCode(std::uint32_t code) {
    QString text;
    for (int shift = 24; shift >= 0; shift -= 8)
        text.append(QChar::fromLatin1(char((code >> shift) & 0xFF)));
    return text;
}

// ---- Full Disk Access

QString NorvaneApplication::fullDiskAccessProbePath() {
    return platform::StandardPaths::homeFolder() + QStringLiteral("/Library/Safari/CloudTabs.db");
}

int NorvaneApplication::fullDiskAccessStatus() {
    const QFileInfo probe(fullDiskAccessProbePath());
    return probe.exists() && !probe.isReadable() ? 2 : 1;
}

bool NorvaneApplication::openFullDiskAccessPreferences() {
    m_logger->logMessage(QStringLiteral("Full Disk Access settings are not available on this system"), 2,
                         false);
    return false;
}

void NorvaneApplication::checkForFullDiskAccessStatus() {
    if (m_defaults->boolForKey(AskedForFullDiskAccessKey) || m_fullDiskAccessProbe() != 2)
        return;
    const QString name = applicationBundleName();
    const int answer = NVSAlertUtilities::runWarningAlertPanel(
        QStringLiteral("Full Disk Access is not enabled !"),
        QStringLiteral(
            "Without Full Disk Access, $APP_NAME will not be able to access some video files. Do you want to "
            "authorize it ?")
            .replace(QStringLiteral("$APP_NAME"), name),
        {QStringLiteral("OK"), QStringLiteral("No"), QStringLiteral("Later")});
    if (answer == AlertPresenter::FirstButtonReturn) {
        openFullDiskAccessPreferences();
        if (m_showFullDiskAccessDialog)
            m_showFullDiskAccessDialog();
        m_defaults->setValue(AskedForFullDiskAccessKey, true);
    } else if (answer == AlertPresenter::FirstButtonReturn + 1) {
        m_defaults->setValue(AskedForFullDiskAccessKey, true);
    }
}

// ---- Identity and names

QString NorvaneApplication::infoString(const QString& key) const {
    return m_info.value(key).toString();
}

QString NorvaneApplication::applicationBundleName() const {
    return infoString(QStringLiteral("CFBundleName"));
}

QString NorvaneApplication::applicationBundleIdentifier() const {
    return infoString(QStringLiteral("CFBundleIdentifier"));
}

QString NorvaneApplication::applicationExecutablePath() const {
    return QCoreApplication::applicationFilePath();
}

QString NorvaneApplication::applicationBundleVersionString() const {
    return infoString(QStringLiteral("CFBundleShortVersionString"));
}

QString NorvaneApplication::applicationBundleBuildVersion() const {
    return infoString(QStringLiteral("CFBundleVersion"));
}

QString NorvaneApplication::applicationHockeyAppIdentifier() const {
    return infoString(QStringLiteral("hockeyAppIdentifier"));
}

QString NorvaneApplication::applicationAppCenterIdentifier() const {
    return infoString(QStringLiteral("AppCenterIdentifier"));
}

QString NorvaneApplication::applicationBundleIdentifierIgnoringFirstInstanceNumber() const {
    return identifierIgnoringFirstInstanceNumber(applicationBundleIdentifier());
}

QString NorvaneApplication::applicationBundleNameIgnoringFirstInstanceNumber() const {
    return nameIgnoringFirstInstanceNumber(applicationBundleName());
}

QString NorvaneApplication::applicationBundleNameIgnoringInstanceNumber() const {
    return nameIgnoringInstanceNumber(applicationBundleName());
}

int NorvaneApplication::applicationInstanceIndex() const {
    return instanceIndexOfIdentifier(applicationBundleIdentifier());
}

QString NorvaneApplication::identifierIgnoringFirstInstanceNumber(const QString& identifier) {
    if (identifier.size() >= 3 && identifier.endsWith(QLatin1Char('1')) &&
        !identifier.at(identifier.size() - 2).isDigit())
        return identifier.chopped(1);
    return identifier;
}

QString NorvaneApplication::nameIgnoringFirstInstanceNumber(const QString& name) {
    return name.endsWith(QStringLiteral(" 1")) ? name.chopped(2) : name;
}

QString NorvaneApplication::nameIgnoringInstanceNumber(const QString& name) {
    static const QRegularExpression instanceNumber(QStringLiteral(" \\d+$"));
    return QString(name).remove(instanceNumber);
}

int NorvaneApplication::instanceIndexOfIdentifier(const QString& identifier) {
    if (identifier.isEmpty())
        return 0;
    const QChar last = identifier.back();
    return last >= QLatin1Char('1') && last <= QLatin1Char('9') ? last.unicode() - '1' : 0;
}

// ---- Folders

QString NorvaneApplication::applicationSpecificFilesSearchPath() {
    return platform::StandardPaths::machineSupportFolder() + QLatin1Char('/');
}

QString NorvaneApplication::norvaneDirectoryInApplicationSupportFolderPath() {
    return platform::StandardPaths::machineSupportFolder();
}

QString NorvaneApplication::applicationDirectoryPathInApplicationSupportNorvane() const {
    return norvaneDirectoryInApplicationSupportFolderPath() + QLatin1Char('/') + applicationBundleName();
}

QString NorvaneApplication::defaultTechnicalLogsDestinationDirectory() const {
    bool created = false;
    const QString path = TechnicalLogFolder::defaultTechnicalLogsDestinationDirectory(&created);
    if (!created) {
        NVSAlertUtilities::runCriticalAlertPanel(
            QStringLiteral("The log folder could not be created."),
            QStringLiteral(
                "%1 cannot create the folder “%2” for its technical log. Check that the folder above it "
                "exists and that you may write into it.")
                .arg(applicationBundleName(), path),
            {});
    }
    return path;
}

// ---- Start

void NorvaneApplication::registerDefaults() {
    m_defaults->registerDefaults(
        {{NVSLogController::TechnicalLogFolderPathKey, defaultTechnicalLogsDestinationDirectory()},
         {ReleaseNotesURLKey, DefaultReleaseNotesURL}});
}

void NorvaneApplication::getLastUsedVersionFromUserDefaultsAndUpdateValue() {
    m_previousVersion = m_defaults->stringForKey(LastOpenedVersionKey);
    const QString current = applicationBundleVersionString();
    // The same version again: the settings file is left as it is (every command started here, and
    // a rack script may start many, would rewrite it otherwise).
    if (m_previousVersion == current)
        return;
    m_defaults->setValue(LastOpenedVersionKey, current);
    m_defaults->synchronize();
}

void NorvaneApplication::finishLaunching() {
    registerNotificationCategories();
    checkForLatestVersion();
}

void NorvaneApplication::willPowerOff() {
    if (m_isPoweringOff)
        return;
    m_isPoweringOff = true;
    Q_EMIT poweringOff();
}

// ---- User notifications

void NorvaneApplication::registerNotificationCategories() {
    m_notifications->setNotificationCategories(
        {{UpgradeNotificationCategory, {{UpgradeNotificationAction, QStringLiteral("Upgrade"), 4}}, 8},
         {WarningNotificationCategory, {}, 8}});
    QPointer<NorvaneApplication> self(this);
    m_notifications->setResponseHandler([self](const platform::UserNotificationResponse& response) {
        platform::MainQueue::dispatchAsync([self, response] {
            if (self)
                self->didReceiveNotificationResponse(response);
        });
    });
}

void NorvaneApplication::displayNotificationWithTitle(const QString& title, const QString& message,
                                                      const QString& categoryIdentifier) {
    // Asking for the settings waits for the notification service; that never happens on the
    // caller's thread (which may be the one the answer is delivered on).
    m_notificationQueue->async([center = m_notifications, title, message, categoryIdentifier] {
        switch (center->authorizationStatus()) {
        case platform::NotificationAuthorizationStatus::Authorized:
        case platform::NotificationAuthorizationStatus::Provisional:
            break;
        case platform::NotificationAuthorizationStatus::NotDetermined:
            center->requestAuthorization(platform::UserNotificationCenter::AlertSoundBadge, [](bool) {});
            return;
        case platform::NotificationAuthorizationStatus::Denied:
            return;
        }
        center->add({platform::Uuid::createString(), title, message, categoryIdentifier, false});
    });
}

void NorvaneApplication::waitForNotifications() {
    m_notificationQueue->waitUntilIdle();
}

QString NorvaneApplication::downloadPageURL() const {
    const QString configured = infoString(QStringLiteral("applicationDownloadURL"));
    return configured.size() >= 11 ? configured : DefaultDownloadsURL;
}

void NorvaneApplication::didReceiveNotificationResponse(const platform::UserNotificationResponse& response) {
    if (response.actionIdentifier == UpgradeNotificationAction)
        openURL(QUrl(downloadPageURL()));
}

// ---- Version check

std::optional<NorvaneVersion> NorvaneApplication::versionToAnnounce(const NorvaneVersion& running,
                                                                    const QByteArray& answer,
                                                                    int systemVersion) {
    QJsonParseError parseError;
    const QJsonDocument json = QJsonDocument::fromJson(answer, &parseError);
    if (parseError.error != QJsonParseError::NoError || !json.isObject())
        return std::nullopt;
    const QJsonArray results = json.object().value(QStringLiteral("results")).toArray();
    if (results.isEmpty())
        return std::nullopt;
    NorvaneVersion newestRelease, newestBeta;
    for (const QJsonValue& entry : results) {
        const QJsonObject result = entry.toObject();
        const QString minimumSystem = result.value(QStringLiteral("min_os_version")).toString();
        if (!minimumSystem.isEmpty()) {
            const QStringList parts = minimumSystem.trimmed().split(QLatin1Char('.'));
            const int required = 100 * parts.value(0).toInt() + (parts.size() > 1 ? parts.at(1).toInt() : 0);
            if (systemVersion < required)
                continue;
        }
        const QString text = result.value(QStringLiteral("version")).toString();
        if (text.isEmpty())
            continue;
        const NorvaneVersion version = NorvaneVersion::parse(text);
        if (text.toLower().contains(QLatin1Char('b')))
            newestBeta = NorvaneVersion::newer(newestBeta, version);
        else
            newestRelease = NorvaneVersion::newer(newestRelease, version);
    }
    const NorvaneVersion& candidate =
        running.isBeta ? NorvaneVersion::newer(newestRelease, newestBeta) : newestRelease;
    if (NorvaneVersion::compare(candidate, running) <= 0)
        return std::nullopt;
    return candidate;
}

void NorvaneApplication::checkForLatestVersion() {
    if (m_checkedForLatestVersion.exchange(true))
        return;
    const NorvaneVersion running = NorvaneVersion::parse(applicationBundleVersionString());
    const std::uint32_t code = applicationOSType();
    const QString product = stringFromFourCharCode(code).toLower();
    QPointer<NorvaneApplication> self(this);
    const auto finish = [self, running](std::optional<NorvaneVersion> announce) {
        platform::MainQueue::dispatchAsync([self, running, announce] {
            if (!self)
                return;
            if (announce)
                self->showVersionNotification(running, *announce);
            Q_EMIT self->latestVersionChecked(announce ? announce->text : QString());
        });
    };
    if (code == 0 || product == QStringLiteral("????")) {
        finish(std::nullopt);
        return;
    }
    QUrl url(m_defaults->stringForKey(ReleaseNotesURLKey).value_or(DefaultReleaseNotesURL));
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("product"), product);
    url.setQuery(query);
    platform::http::Request request(url);
    request.headers.append("Content-Type", "application/json; charset=utf-8");
    request.requestTimeout = 30;
    request.resourceTimeout = 60;
    request.maximumResponseSize = 4 * 1024 * 1024;
    m_http->start(std::move(request), [running, finish](platform::http::Response response) {
        if (!response.isComplete() || response.statusCode != 200 || response.body.isEmpty()) {
            finish(std::nullopt);
            return;
        }
        finish(versionToAnnounce(running, response.body, macOSVersion()));
    });
}

void NorvaneApplication::showVersionNotification(const NorvaneVersion& currentVersion,
                                                 const NorvaneVersion& latestVersion) {
    const QString body =
        latestVersion.major > currentVersion.major
            ? QStringLiteral(
                  "It's a major version upgrade. Check our website for the eventual upgrade costs.")
            : QStringLiteral(
                  "Check our website to make sure that your setup meets the eventual new requirements.");
    displayNotificationWithTitle(QStringLiteral("Version %1 is now available!").arg(latestVersion.text), body,
                                 UpgradeNotificationCategory);
}

// ---- Help

bool NorvaneApplication::openURL(const QUrl& url) {
    return m_openURL(url);
}

bool NorvaneApplication::searchKnowledgeBase() {
    return openURL(QUrl(KnowledgeBaseURL));
}

// ---- Crash reporting

QString NorvaneApplication::crashLogText() const {
    std::lock_guard lock(m_crashLogMutex);
    if (!m_crashLogText.isEmpty())
        return m_crashLogText;
    return QStringLiteral("%1 %2 (%3)")
        .arg(applicationBundleName(), applicationBundleVersionString(), applicationBundleBuildVersion());
}

void NorvaneApplication::setCrashLogText(const QString& text) {
    {
        std::lock_guard lock(m_crashLogMutex);
        m_crashLogText = text;
    }
    if (platform::CrashReporter::shared().isStarted())
        platform::CrashReporter::shared().refreshMetadata();
}

namespace {
[[noreturn]] void endAsUncaught(std::exception_ptr exception) noexcept {
    // Rethrowing out of a noexcept function ends in std::terminate, whose handler writes the
    // report; this way there is exactly one.
    std::rethrow_exception(exception);
}
} // namespace

void NorvaneApplication::reportException(std::exception_ptr exception) {
    if (!exception)
        return;
    if (m_defaults->boolForKey(CrashOnExceptionsKey))
        endAsUncaught(exception);
    platform::CrashReporter::shared().notify(exception);
}
