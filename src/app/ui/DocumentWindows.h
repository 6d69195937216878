#pragma once

#include <QHash>
#include <QList>
#include <QObject>

class ApplicationMenus;
class NVSLogController;
class QMainWindow;
class RecentDocuments;
namespace platform {
class Document;
class DocumentController;
class UserDefaults;
} // namespace platform

/// One window per open document: a Graflink document's window (which also connects it to its CG
/// server) or a data source's editor. Closing a window closes its document; the window goes first.
class DocumentWindows : public QObject {
    Q_OBJECT
  public:
    DocumentWindows(platform::DocumentController& documents, NVSLogController& logger,
                    platform::UserDefaults& defaults, QObject* parent = nullptr);
    ~DocumentWindows() override;

    /// The documents shown are remembered there, and their windows offer them (not owned).
    void setRecentDocuments(RecentDocuments* recent) { m_recent = recent; }
    /// Every window gets the application's commands from there (not owned).
    void setApplicationMenus(ApplicationMenus* menus) { m_menus = menus; }
    /// The display handler of the document controller.
    void display(platform::Document& document);
    QMainWindow* windowFor(const platform::Document* document) const { return m_windows.value(document); }
    /// For quitting: asks every window to close (each saves, or asks about a document never saved)
    /// and keeps the documents open so that the quit stores them; false, with the closed windows'
    /// documents closed as usual, when one stays open.
    bool closeAll();
    /// At quit, after the open documents were stored: ends edits, saves, removes the windows and
    /// leaves the documents to the document controller.
    void discardAll();

  Q_SIGNALS:
    /// Application commands chosen in a document's window.
    void newDocumentRequested();
    void newDataSourceRequested();
    void openRequested();
    void quitRequested();

  private:
    void closeLater(platform::Document& document);

    platform::DocumentController& m_documents;
    NVSLogController& m_logger;
    platform::UserDefaults& m_defaults;
    QHash<const platform::Document*, QMainWindow*> m_windows;
    bool m_quitting = false;
    RecentDocuments* m_recent = nullptr;
    ApplicationMenus* m_menus = nullptr;
    QList<platform::Document*> m_closedWhileQuitting;
};
