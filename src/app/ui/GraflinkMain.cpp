// The Graflink desktop program: composes the application and runs its event loop.
#include "app/AppDelegate.h"
#include "app/GraflinkApplication.h"
#include "app/GraflinkCommandLine.h"
#include "app/GraflinkDocument.h"
#include "app/ui/ApplicationIcon.h"
#include "app/ui/ApplicationWindow.h"
#include "app/ui/DocumentWindows.h"
#include "app/ui/PreferencesWindowController.h"
#include "app/ui/RecentDocuments.h"
#include "appbase/NVSAlertUtilities.h"
#include "appbase/NVSLogController.h"
#include "appbase/ui/MessageBoxAlertPresenter.h"
#include "appbase/ui/NorvaneQtApplication.h"
#include "datasource/NVSCGDataSource.h"
#include "platform/DocumentController.h"
#include "platform/StopSignalWaiter.h"
#include "platform/UserDefaults.h"
#include "support/ui/ContactSupportWindowController.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QMenuBar>
#include <QStatusBar>
#include <QTimer>

int main(int argc, char** argv) {
    if (const std::optional<int> status = GraflinkCommandLine::answer(argc, argv))
        return *status;
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
    AppDelegate::Environment environment;
    environment.documentController = &documents;
    AppDelegate delegate(application, std::move(environment));
    // One window per document; closing it closes the document.
    DocumentWindows documentWindows(documents, NVSLogController::sharedLogController(),
                                    platform::UserDefaults::standardUserDefaults());

    ApplicationWindow window(documents);
    RecentDocuments recent(platform::UserDefaults::standardUserDefaults());
    documentWindows.setRecentDocuments(&recent);
    recent.addMenuAfterOpen(window.menuBar());
    QObject::connect(&recent, &RecentDocuments::openRequested, &window, [&](const QString& path) {
        documents.openDocumentWithContentsOfURL(
            path, true, [&window](platform::Document* opened, bool, const platform::Error& error) {
                if (!opened)
                    window.statusBar()->showMessage(error.localizedDescription());
            });
    });
    QObject::connect(&window, &ApplicationWindow::aboutRequested, &qtApplication,
                     &NorvaneQtApplication::displayAboutPanel);
    QObject::connect(&window, &ApplicationWindow::knowledgeBaseRequested, &application,
                     [&application] { application.searchKnowledgeBase(); });
    // Quit asks first while documents are on air, then closes the windows: each saves its
    // document, or asks about one never saved.
    QObject::connect(&window, &ApplicationWindow::quitRequested, &qtApplication, [&] {
        int onAir = 0;
        for (const auto& document : documents.documents()) {
            const auto* graflink = qobject_cast<const GraflinkDocument*>(document.get());
            onAir += graflink && graflink->publishToCG();
        }
        window.confirmQuit(onAir, [&] {
            if (documentWindows.closeAll())
                QApplication::quit();
        });
    });
    QObject::connect(&window, &ApplicationWindow::newDocumentRequested, &qtApplication, [&] {
        documents.addDocument(std::make_unique<GraflinkDocument>(delegate.documentEnvironment()), true);
    });
    QObject::connect(&window, &ApplicationWindow::newDataSourceRequested, &qtApplication,
                     [&] { documents.addDocument(std::make_unique<NVSCGDataSource>(), true); });

    // The document windows offer the application's commands too.
    QObject::connect(&documentWindows, &DocumentWindows::newDocumentRequested, &window,
                     &ApplicationWindow::newDocumentRequested);
    QObject::connect(&documentWindows, &DocumentWindows::newDataSourceRequested, &window,
                     &ApplicationWindow::newDataSourceRequested);
    QObject::connect(&documentWindows, &DocumentWindows::openRequested, &window,
                     &ApplicationWindow::openDocuments);
    QObject::connect(&documentWindows, &DocumentWindows::quitRequested, &window,
                     &ApplicationWindow::quitRequested);

    // A service manager, a logout or Ctrl+C in a terminal quit as the Quit command does.
    platform::StopSignalWaiter stopSignals;
    stopSignals.onStop([](int) { QApplication::quit(); });
    std::unique_ptr<ContactSupportWindowController> support;
    QObject::connect(&window, &ApplicationWindow::contactSupportRequested, &qtApplication, [&] {
        if (!support)
            support = std::make_unique<ContactSupportWindowController>();
        support->show();
        support->raise();
        support->activateWindow();
    });
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
        documentWindows.discardAll();
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
