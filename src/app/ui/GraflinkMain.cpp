// The Graflink desktop program: composes the application and runs its event loop.
#include "app/AppDelegate.h"
#include "app/GraflinkApplication.h"
#include "app/GraflinkCommandLine.h"
#include "app/GraflinkDocument.h"
#include "app/ui/ApplicationIcon.h"
#include "app/ui/ApplicationMenus.h"
#include "app/ui/ApplicationWindow.h"
#include "app/ui/DocumentWindows.h"
#include "app/ui/PreferencesWindowController.h"
#include "app/ui/RecentDocuments.h"
#include "appbase/NVSAlertUtilities.h"
#include "appbase/NVSLogController.h"
#include "appbase/ui/MessageBoxAlertPresenter.h"
#include "appbase/ui/NorvaneQtApplication.h"
#include "datasource/NVSCGDataSource.h"
#include "platform/ApplicationInstance.h"
#include "platform/DocumentController.h"
#include "platform/StopSignalWaiter.h"
#include "platform/UserDefaults.h"
#include "platform/ui/FocusRingStyle.h"
#include "platform/ui/LineEditClearButtons.h"
#include "support/ui/ContactSupportWindowController.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QMenuBar>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <cstdio>

int main(int argc, char** argv) {
    if (const std::optional<int> status = GraflinkCommandLine::answer(argc, argv))
        return *status;
    NorvaneQtApplication qtApplication(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Graflink"));
    QApplication::setOrganizationName(QStringLiteral("Norvane"));
    QApplication::setDesktopFileName(QStringLiteral("com.norvanemedia.Graflink"));
    // Closing the last window quits through the Quit command's questions (below).
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setWindowIcon(ApplicationIcon::icon());

    // One program per session: a second start (a double-click in the file manager) hands its files
    // to the running one and ends before it opens or publishes anything.
    QStringList paths;
    for (const QString& argument : QApplication::arguments().mid(1)) {
        if (!argument.startsWith(QLatin1Char('-')))
            paths.append(QFileInfo(argument).absoluteFilePath());
    }
    platform::ApplicationInstance instance(QApplication::desktopFileName());
    const platform::ApplicationInstance::Role role = instance.start(paths);
    if (role == platform::ApplicationInstance::Role::HandedOver)
        return 0;
    if (role == platform::ApplicationInstance::Role::HandOverFailed) {
        std::fprintf(stderr, "%s\n", qPrintable(instance.problem()));
        return 1;
    }
    LineEditClearButtons::installApplicationWide();
    QApplication::setStyle(new FocusRingStyle(QApplication::style()->name()));
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
    ApplicationMenus menus(recent);
    menus.install(&window);
    documentWindows.setApplicationMenus(&menus);
    const auto bringForward = [&window] {
        window.show();
        window.raise();
        window.activateWindow();
    };
    QObject::connect(&menus, &ApplicationMenus::overviewRequested, &window, bringForward);
    const auto openPaths = [&](const QStringList& files) {
        for (const QString& path : files) {
            documents.openDocumentWithContentsOfURL(
                path, true,
                [&](platform::Document* opened, bool wasAlreadyOpen, const platform::Error& error) {
                    if (wasAlreadyOpen && opened) {
                        documentWindows.display(*opened);
                    } else if (!opened) {
                        bringForward();
                        window.statusBar()->showMessage(error.localizedDescription());
                    }
                });
        }
    };
    QObject::connect(&instance, &platform::ApplicationInstance::openRequested, &window, openPaths);
    QObject::connect(&instance, &platform::ApplicationInstance::activateRequested, &window, [&] {
        // The window the user worked in last, or the program's own.
        QWidget* recentWindow = QApplication::activeWindow();
        if (recentWindow && recentWindow->isVisible()) {
            recentWindow->raise();
            recentWindow->activateWindow();
        } else {
            bringForward();
        }
    });
    QObject::connect(&recent, &RecentDocuments::openRequested, &window,
                     [&](const QString& path) { openPaths({path}); });
    QObject::connect(&menus, &ApplicationMenus::aboutRequested, &qtApplication,
                     &NorvaneQtApplication::displayAboutPanel);
    QObject::connect(&menus, &ApplicationMenus::knowledgeBaseRequested, &application,
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
    QObject::connect(&menus, &ApplicationMenus::contactSupportRequested, &qtApplication, [&] {
        if (!support)
            support = std::make_unique<ContactSupportWindowController>();
        support->show();
        support->raise();
        support->activateWindow();
    });
    std::unique_ptr<PreferencesWindowController> preferences;
    QObject::connect(&menus, &ApplicationMenus::preferencesRequested, &qtApplication, [&] {
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

    // With its last window closed (no document open any more, or the program's window closed
    // last) the program quits, as the Quit command does; once the closed windows' documents are
    // gone, so that they are not reopened next time.
    QObject::connect(&qtApplication, &QGuiApplication::lastWindowClosed, &window, [&] {
        QTimer::singleShot(0, &window, [&] {
            for (QWidget* topLevel : QApplication::topLevelWidgets()) {
                if (topLevel->isVisible() && topLevel->isWindow() && !topLevel->parentWidget())
                    return;
            }
            Q_EMIT window.quitRequested();
        });
    });

    QTimer::singleShot(0, &qtApplication, [&] {
        application.finishLaunching();
        if (role == platform::ApplicationInstance::Role::Alone)
            NVSLogController::sharedLogController().logMessage(instance.problem(), 1, false);
        openPaths(paths);
        application.checkForFullDiskAccessStatus();
    });
    window.show();
    return QApplication::exec();
}
