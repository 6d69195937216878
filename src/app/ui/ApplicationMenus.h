#pragma once

#include <QObject>

class QMainWindow;
class QMenu;
class RecentDocuments;

/// The application's commands that every window offers, whatever its document: File ▸ Open Recent,
/// Edit ▸ Preferences, a Window menu that brings back the program's own window, and Help (the
/// knowledge base, Contact Support, About). The windows build their own menus; this adds to them.
class ApplicationMenus : public QObject {
    Q_OBJECT
  public:
    explicit ApplicationMenus(RecentDocuments& recent, QObject* parent = nullptr);

    /// Adds the commands to `window`'s menu bar, making the Edit, Window and Help menus it lacks.
    void install(QMainWindow* window);

  Q_SIGNALS:
    void preferencesRequested();
    void overviewRequested();
    void knowledgeBaseRequested();
    void contactSupportRequested();
    void aboutRequested();

  private:
    RecentDocuments& m_recent;
};
