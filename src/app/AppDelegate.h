#pragma once

#include "app/GraflinkDocument.h"
#include "app/NVSAppleScriptActionsController.h"
#include "appbase/NVSLogControllerDelegate.h"

#include <QObject>
#include <memory>

class DataSourceAutoExporter;
class GraflinkApplication;
namespace platform {
class CrashReporter;
class DocumentController;
} // namespace platform

/// What the application delegate works with. The document controller is required; what else is
/// left empty is the process's shared one.
struct AppDelegateEnvironment {
    platform::DocumentController* documentController = nullptr;
    platform::UserDefaults* defaults = nullptr;
    NVSLogController* logger = nullptr;
    /// Shows the technical log's shown messages to the user (the desktop program's windows, the
    /// command line's stderr); none: they are only written to the log.
    NVSLogControllerDelegate* logPresenter = nullptr;
    platform::CrashReporter* crashReporter = nullptr;
    /// The name crash reports and run markers carry; empty: the bundle name.
    QString crashReportName;
    /// Reopen "LastOpenedDocumentPaths" at launch and store the open documents' paths at quit
    /// (the desktop program; the command line's `run --reopen`).
    bool restoresDocuments = true;
    /// Re-export data sources whose rows changed to their export paths (everywhere but command
    /// line subcommands that only look at a data source).
    bool exportsDataSources = true;
    /// The services Graflink documents get; the actions controller is filled in.
    GraflinkDocument::Environment documentEnvironment;
};

/// Graflink's start and stop: the server defaults, the technical log's delegate and banners, the
/// crash reporter, the actions controller, reopening the documents of the last run and storing
/// them at quit, and the automatic playlist export of data sources. One per process, main thread;
/// the desktop program and the command line start and stop through it alike.
class AppDelegate : public QObject,
                    public NVSLogControllerDelegate,
                    public NVSAppleScriptActionsControllerDelegate {
    Q_OBJECT
  public:
    using Environment = AppDelegateEnvironment;

    static inline const QString LastOpenedDocumentPathsKey = QStringLiteral("LastOpenedDocumentPaths");

    /// Registers the defaults, becomes the technical log's delegate, writes the start banner and
    /// starts observing data sources. Registers both document types with the document controller.
    AppDelegate(GraflinkApplication& application, Environment environment);
    ~AppDelegate() override;

    /// "CGServerType" 1, "CGServerPortNumber" 2001, "CGServerIPAddress" "127.0.0.1",
    /// "CGServerPassword" "".
    static void registerDefaults(platform::UserDefaults& defaults);
    /// "********** GRAFLINK <word> v.<version> **********" ("" for the version part when there is none).
    static QString banner(const QString& word, const QString& version);

    void customApplicationDidFinishLaunching();
    bool applicationShouldTerminate();
    void applicationWillTerminate();

    NVSAppleScriptActionsController* actionsController() const { return m_actionsController.get(); }
    bool isAppQuitting() const { return m_isAppQuitting; }
    QString applicationLogForCrashManager() const;
    /// The services a Graflink document opened by this application gets.
    GraflinkDocument::Environment documentEnvironment() const;
    /// None when the environment asked for no automatic export, and after quitting.
    DataSourceAutoExporter* autoExporter() const { return m_autoExporter.get(); }

    // The technical log's delegate: forwarded to the presenter.
    std::optional<QString> initialLogMessage() override;
    bool displayLogWithInfoDict(const QVariantMap& infoDict) override;
    bool displayLogMessage(const QString& message, qint64 logLevel) override;

  private:
    void startCrashReporter();
    void reopenLastOpenedDocuments();
    void updateCrashLogText();

    GraflinkApplication& m_application;
    Environment m_environment;
    QString m_version;
    std::unique_ptr<NVSAppleScriptActionsController> m_actionsController;
    std::unique_ptr<DataSourceAutoExporter> m_autoExporter;
    bool m_isAppQuitting = false;
    bool m_terminated = false;
};
