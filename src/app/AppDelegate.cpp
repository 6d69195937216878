#include "app/AppDelegate.h"

#include "app/DataSourceAutoExporter.h"
#include "app/GraflinkApplication.h"
#include "appbase/NVSLogController.h"
#include "datasource/NVSCGDataSource.h"
#include "datasource/NVSCGDataSourceConstants.h"
#include "platform/ConsoleLog.h"
#include "platform/CrashReporter.h"
#include "platform/DocumentController.h"
#include "platform/KeychainSecretStore.h"
#include "platform/SecretStore.h"
#include "platform/UserDefaults.h"

#include <QFileInfo>
#include <QSysInfo>

AppDelegate::AppDelegate(GraflinkApplication& application, Environment environment)
    : m_application(application), m_environment(std::move(environment)) {
    Q_ASSERT(m_environment.documentController);
    if (!m_environment.defaults)
        m_environment.defaults = &platform::UserDefaults::standardUserDefaults();
    if (!m_environment.logger)
        m_environment.logger = &NVSLogController::sharedLogController();
    if (!m_environment.crashReporter)
        m_environment.crashReporter = &platform::CrashReporter::shared();
    registerDefaults(*m_environment.defaults);
    // Feed secrets live in the keychain, unless the process was given a store of its own.
    if (!platform::SecretStore::shared())
        platform::SecretStore::setShared(std::make_shared<KeychainSecretStore>());
    m_application.setDelegate(this);

    m_version = m_application.applicationBundleVersionString();
    m_environment.logger->setLogDelegate(this);
    m_environment.logger->logMessage(banner(QStringLiteral("STARTED"), m_version), std::nullopt, 2, false);
    if (m_environment.exportsDataSources)
        m_autoExporter =
            std::make_unique<DataSourceAutoExporter>(*m_environment.logger, *m_environment.defaults);

    platform::DocumentController& documents = *m_environment.documentController;
    documents.registerDocumentType(
        {GraflinkDocument::DocumentTypeName, {GraflinkDocument::FileExtension}, [this] {
             return std::make_unique<GraflinkDocument>(documentEnvironment());
         }});
    documents.registerDocumentType({NVSCGDataSourceDocumentType, {NVSCGDataSourceFileExtension}, [] {
                                        return std::make_unique<NVSCGDataSource>();
                                    }});
    connect(&documents, &platform::DocumentController::documentsChanged, this,
            &AppDelegate::updateCrashLogText);
}

AppDelegate::~AppDelegate() {
    if (!m_terminated)
        applicationWillTerminate();
    if (m_environment.logger->delegate() == this)
        m_environment.logger->setLogDelegate(nullptr);
    if (m_application.delegate() == this)
        m_application.setDelegate(nullptr);
}

void AppDelegate::registerDefaults(platform::UserDefaults& defaults) {
    GraflinkDocument::registerDefaults(defaults);
}

QString AppDelegate::banner(const QString& word, const QString& version) {
    const QString placeholder = version.isEmpty() ? QString() : QStringLiteral("v.") + version;
    return QStringLiteral("********** GRAFLINK %1 %2 **********").arg(word, placeholder);
}

GraflinkDocument::Environment AppDelegate::documentEnvironment() const {
    GraflinkDocument::Environment environment = m_environment.documentEnvironment;
    if (!environment.defaults)
        environment.defaults = m_environment.defaults;
    if (!environment.logger)
        environment.logger = m_environment.logger;
    environment.actions = m_actionsController.get();
    return environment;
}

// ---- Launch

void AppDelegate::customApplicationDidFinishLaunching() {
    platform::UserDefaults& defaults = *m_environment.defaults;
    defaults.registerDefaults({{NorvaneApplication::CrashOnExceptionsKey, true}});
    startCrashReporter();
    defaults.registerDefaults({{NorvaneApplication::CrashOnExceptionsKey, true}});

    const QString actionsFolder =
        defaults.stringForKey(NVSAppleScriptActionsController::FolderPathKey).value_or(QString());
    if (!actionsFolder.isEmpty()) {
        m_actionsController =
            std::make_unique<NVSAppleScriptActionsController>(actionsFolder, this, m_environment.logger);
    }
    if (m_environment.restoresDocuments)
        reopenLastOpenedDocuments();
}

void AppDelegate::startCrashReporter() {
    platform::CrashReporterConfiguration configuration = platform::CrashReporterConfiguration::loadConfig();
    if (!m_environment.crashReportName.isEmpty())
        configuration.appName = m_environment.crashReportName;
    configuration.releaseStage = platform::CrashReporterConfiguration::releaseStageForVersion(m_version);
    configuration.reportBackgroundAppHangs = true;
    configuration.launchDurationMillis = 3000;
    configuration.addOnSendError([this](platform::CrashEvent& event) {
        event.addMetadata(applicationLogForCrashManager(), QStringLiteral("log"),
                          QStringLiteral("attachment"));
        return true;
    });
    updateCrashLogText();
    m_environment.crashReporter->start(std::move(configuration));
    if (m_environment.crashReporter->lastRunCrashed()) {
        m_environment.logger->logMessage(QStringLiteral("Warning: Bugsnag: The last time %1 ran, it crashed.")
                                             .arg(m_application.applicationBundleName()),
                                         2, false);
    }
}

void AppDelegate::reopenLastOpenedDocuments() {
    const QVariant stored = m_environment.defaults->objectForKey(LastOpenedDocumentPathsKey);
    if (!stored.isValid())
        return;
    for (const QString& path : m_environment.defaults->stringArrayForKey(LastOpenedDocumentPathsKey)) {
        if (path.isEmpty() || !QFileInfo::exists(path))
            continue;
        m_environment.documentController->openDocumentWithContentsOfURL(
            path, true, [](platform::Document* document, bool, const platform::Error& error) {
                if (!document)
                    platform::ConsoleLog::write(
                        QStringLiteral("Failed to open last document: %1").arg(error.localizedDescription()));
            });
    }
}

// ---- Quit

bool AppDelegate::applicationShouldTerminate() {
    m_isAppQuitting = true;
    return true;
}

void AppDelegate::applicationWillTerminate() {
    if (m_terminated)
        return;
    m_terminated = true;
    if (m_environment.restoresDocuments) {
        m_environment.defaults->setValue(LastOpenedDocumentPathsKey,
                                         m_environment.documentController->documentFilePaths());
        m_environment.defaults->synchronize();
    }
    m_actionsController.reset();
    m_autoExporter.reset();
    m_environment.logger->logMessage(banner(QStringLiteral("STOPPED"), m_version), std::nullopt, 2, false);
    m_environment.crashReporter->stop();
}

// ---- Crash reports

QString AppDelegate::applicationLogForCrashManager() const {
    return m_application.crashLogText();
}

void AppDelegate::updateCrashLogText() {
    QString text = QStringLiteral("%1 %2 (%3) on %4, kernel %5\n")
                       .arg(m_application.applicationBundleName(), m_version,
                            m_application.applicationBundleBuildVersion(), QSysInfo::prettyProductName(),
                            QSysInfo::kernelVersion());
    const QStringList paths = m_environment.documentController->documentFilePaths();
    text += paths.isEmpty()
                ? QStringLiteral("No documents open.\n")
                : QStringLiteral("Open documents:\n  %1\n").arg(paths.join(QStringLiteral("\n  ")));
    m_application.setCrashLogText(text);
}

// ---- Technical log delegate

std::optional<QString> AppDelegate::initialLogMessage() {
    return m_environment.logPresenter ? m_environment.logPresenter->initialLogMessage() : std::nullopt;
}

bool AppDelegate::displayLogWithInfoDict(const QVariantMap& infoDict) {
    return m_environment.logPresenter && m_environment.logPresenter->displayLogWithInfoDict(infoDict);
}

bool AppDelegate::displayLogMessage(const QString& message, qint64 logLevel) {
    return m_environment.logPresenter && m_environment.logPresenter->displayLogMessage(message, logLevel);
}
