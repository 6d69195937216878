#include "app/ui/DocumentWindows.h"

#include "app/GraflinkDocument.h"
#include "app/ui/ApplicationMenus.h"
#include "app/ui/DataSourceFeedSignIn.h"
#include "app/ui/DataSourcePlaylistExport.h"
#include "app/ui/GraflinkDocumentWindowController.h"
#include "app/ui/RecentDocuments.h"
#include "datasource/NVSCGDataSource.h"
#include "datasource/ui/NVSCGDataSourceWindowController.h"
#include "platform/DocumentController.h"

#include <QMenuBar>
#include <QTimer>
#include <utility>

DocumentWindows::DocumentWindows(platform::DocumentController& documents, NVSLogController& logger,
                                 platform::UserDefaults& defaults, QObject* parent)
    : QObject(parent), m_documents(documents), m_logger(logger), m_defaults(defaults) {
    documents.setDisplayHandler([this](platform::Document& document) { display(document); });
}

DocumentWindows::~DocumentWindows() {
    m_documents.setDisplayHandler({});
    qDeleteAll(m_windows);
}

void DocumentWindows::display(platform::Document& document) {
    if (QMainWindow* open = m_windows.value(&document)) {
        open->raise();
        open->activateWindow();
        return;
    }
    QMainWindow* window = nullptr;
    const auto closed = [this, &document] {
        // While quitting, the document stays open so that it is stored with the others.
        if (m_quitting) {
            m_closedWhileQuitting.append(&document);
            return;
        }
        closeLater(document);
    };
    if (auto* graflink = qobject_cast<GraflinkDocument*>(&document)) {
        if (!graflink->CGServerIPAddress().trimmed().isEmpty())
            graflink->applyCGServerSettings();
        auto* controller = new GraflinkDocumentWindowController(*graflink);
        connect(controller, &GraflinkDocumentWindowController::windowClosed, this, closed);
        connect(controller, &GraflinkDocumentWindowController::newDocumentRequested, this,
                &DocumentWindows::newDocumentRequested);
        connect(controller, &GraflinkDocumentWindowController::openRequested, this,
                &DocumentWindows::openRequested);
        connect(controller, &GraflinkDocumentWindowController::quitRequested, this,
                &DocumentWindows::quitRequested);
        window = controller;
    } else if (auto* dataSource = qobject_cast<NVSCGDataSource*>(&document)) {
        auto* editor = new NVSCGDataSourceWindowController(*dataSource);
        new DataSourcePlaylistExport(*editor, m_logger, m_defaults);
        new DataSourceFeedSignIn(*editor);
        connect(editor, &NVSCGDataSourceWindowController::windowClosed, this, closed);
        connect(editor, &NVSCGDataSourceWindowController::newDocumentRequested, this,
                &DocumentWindows::newDocumentRequested);
        connect(editor, &NVSCGDataSourceWindowController::newDataSourceRequested, this,
                &DocumentWindows::newDataSourceRequested);
        connect(editor, &NVSCGDataSourceWindowController::openRequested, this,
                &DocumentWindows::openRequested);
        connect(editor, &NVSCGDataSourceWindowController::quitRequested, this,
                &DocumentWindows::quitRequested);
        window = editor;
    }
    if (!window)
        return;
    m_windows.insert(&document, window);
    if (m_menus)
        m_menus->install(window);
    if (m_recent) {
        m_recent->add(document.filePath());
        connect(&document, &platform::Document::filePathChanged, m_recent,
                [recent = m_recent, &document] { recent->add(document.filePath()); });
    }
    window->show();
}

void DocumentWindows::closeLater(platform::Document& document) {
    // After the close event has returned: the window goes before its document.
    QTimer::singleShot(0, this, [this, &document] {
        delete m_windows.take(&document);
        m_documents.closeDocument(&document);
    });
}

bool DocumentWindows::closeAll() {
    m_quitting = true;
    bool allClosed = true;
    for (QMainWindow* window : std::as_const(m_windows))
        allClosed = window->close() && allClosed;
    if (!allClosed) {
        // Not quitting after all: the windows that did close take their documents with them.
        m_quitting = false;
        for (platform::Document* document : std::exchange(m_closedWhileQuitting, {}))
            closeLater(*document);
    }
    return allClosed;
}

void DocumentWindows::discardAll() {
    for (QMainWindow* window : std::as_const(m_windows)) {
        window->close();
        delete window;
    }
    m_windows.clear();
}
