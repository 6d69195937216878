// The Graflink desktop program: composes the application and runs its event loop.
#include "app/AppDelegate.h"
#include "app/GraflinkApplication.h"
#include "app/GraflinkDocument.h"
#include "app/ui/ApplicationIcon.h"
#include "app/ui/ApplicationWindow.h"
#include "app/ui/GraflinkDocumentWindowController.h"
#include "app/ui/PreferencesWindowController.h"
#include "appbase/NVSAlertUtilities.h"
#include "appbase/ui/MessageBoxAlertPresenter.h"
#include "appbase/ui/NorvaneQtApplication.h"
#include "platform/DocumentController.h"
#include "platform/StopSignalWaiter.h"
#include "platform/UserDefaults.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QHash>
#include <QStatusBar>
#include <QTimer>

int main(int argc, char** argv) {
    NorvaneQtApplication qtApplication(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Graflink"));
    QApplication::setOrganizationName(QStringLiteral("Norvane"));
    QApplication::setDesktopFileName(QStringLiteral("com.norvanemedia.Graflink"));
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setWindowIcon(ApplicationIcon::icon());
    NVSAlertUtilities::setPresenter(std::make_shared<MessageBoxAlertPresenter>());

    NorvaneApplication::Environment services;
    services.openURL = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
    GraflinkApplication application(std::move(services));
    qtApplication.setNorvaneApplication(&application);

    platform::DocumentController documents;
    // A Graflink document shown gets its window and its CG client; closing the window closes it.
    QHash<platform::Document*, GraflinkDocumentWindowController*> windows;
    documents.setDisplayHandler([&](platform::Document& document) {
        auto* graflink = qobject_cast<GraflinkDocument*>(&document);
        if (!graflink)
            return;
        if (!graflink->CGServerIPAddress().trimmed().isEmpty())
            graflink->applyCGServerSettings();
        auto* window = new GraflinkDocumentWindowController(*graflink);
        windows.insert(graflink, window);
        QObject::connect(window, &GraflinkDocumentWindowController::windowClosed, &documents, [&, graflink] {
            QTimer::singleShot(0, &documents, [&, graflink] {
                delete windows.take(graflink); // before its document
                documents.closeDocument(graflink);
            });
        });
        window->show();
    });
    AppDelegate::Environment environment;
    environment.documentController = &documents;
    AppDelegate delegate(application, std::move(environment));

    ApplicationWindow window(documents);
    QObject::connect(&window, &ApplicationWindow::aboutRequested, &qtApplication,
                     &NorvaneQtApplication::displayAboutPanel);
    QObject::connect(&window, &ApplicationWindow::knowledgeBaseRequested, &application,
                     [&application] { application.searchKnowledgeBase(); });
    QObject::connect(&window, &ApplicationWindow::quitRequested, &qtApplication, &QApplication::quit);

    // A service manager, a logout or Ctrl+C in a terminal quit as the Quit command does.
    platform::StopSignalWaiter stopSignals;
    stopSignals.onStop([](int) { QApplication::quit(); });
    std::unique_ptr<PreferencesWindowController> preferences;
    QObject::connect(&window, &ApplicationWindow::preferencesRequested, &qtApplication, [&] {
        if (!preferences)
            preferences =
                std::make_unique<PreferencesWindowController>(platform::UserDefaults::standardUserDefaults());
        preferences->show();
        preferences->raise();
        preferences->activateWindow();
    });
    QObject::connect(&qtApplication, &QApplication::aboutToQuit, &delegate, [&] {
        if (!delegate.applicationShouldTerminate())
            return;
        delegate.applicationWillTerminate(); // stores the open documents first
        for (GraflinkDocumentWindowController* documentWindow : std::as_const(windows)) {
            documentWindow->close(); // ends edits and saves
            delete documentWindow;
        }
        windows.clear();
        documents.closeAllDocuments();
    });

    const QStringList arguments = QApplication::arguments().mid(1);
    QTimer::singleShot(0, &qtApplication, [&] {
        application.finishLaunching();
        for (const QString& path : arguments) {
            if (path.startsWith(QLatin1Char('-')))
                continue;
            documents.openDocumentWithContentsOfURL(
                QFileInfo(path).absoluteFilePath(), true,
                [&window](platform::Document* opened, bool, const platform::Error& error) {
                    if (!opened)
                        window.statusBar()->showMessage(error.localizedDescription());
                });
        }
        application.checkForFullDiskAccessStatus();
    });
    window.show();
    return QApplication::exec();
}
