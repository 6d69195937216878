#pragma once

#include "platform/ui/DocumentFileCommands.h"

#include <QMainWindow>
#include <functional>
#include <memory>

class CGSettingsPopover;
class FeedProbe;
class GraflinkDocument;
class PathsWindow;
class DocumentMessageBar;
class QTimer;
class QUndoStack;
class VariablesModel;
namespace Ui {
class GraflinkDocument;
}

/// One Graflink document's window: the variables table with live values, the connection and
/// publishing state, Update and Clear, the server-settings popover, the paths window, the filter
/// chooser, auto refresh and its period. Every edit of variables and settings is undoable; server
/// actions (Update, Clear, Connect, Publish) are not. Never waits: the document and its CG client
/// do their work off the main thread and the window follows their state.
class GraflinkDocumentWindowController : public QMainWindow {
    Q_OBJECT
  public:
    /// Asks for a JavaScript file without blocking and calls back with its path (never, when cancelled).
    /// Asks for a filter file, starting in `folder`; tests inject their own.
    using FilterChooser = std::function<void(QWidget* parent, const QString& folder,
                                             std::function<void(const QString& path)> chosen)>;

    explicit GraflinkDocumentWindowController(GraflinkDocument& document, QWidget* parent = nullptr);
    ~GraflinkDocumentWindowController() override;

    GraflinkDocument& document() const { return m_document; }
    QUndoStack* undoStack() const { return m_undoStack.get(); }
    VariablesModel* variablesModel() const { return m_model.get(); }
    CGSettingsPopover* CGSettingsPopoverWidget() const { return m_popover; }
    PathsWindow* pathsWindow() const { return m_pathsWindow; }
    FeedProbe* feedProbe() const { return m_probe.get(); }
    void setFilterChooser(FilterChooser chooser) { m_filterChooser = std::move(chooser); }
    /// Save, Save As, autosave and the close question (their choosers are injectable).
    platform::DocumentFileCommands& files() const { return *m_files; }

    // The window's actions
    void updateButtonPushed();
    void clearCGButtonPushed();
    void CGSettingsButtonPushed();
    void getPathsButtonPushed();
    void selectJavascriptFilter();
    /// `valueType` < 0: the new variable's default type.
    void makeNewVariable(const QString& path, int valueType = -1);
    void removeSelectedVariables();
    /// Reads the file again; the edits since the last save (and their undo steps) are dropped.
    void revertToSaved();

  Q_SIGNALS:
    /// The window has closed (the document's timer is stopped); the owner closes the document.
    void windowClosed();
    /// Commands of the application, offered in this window's menus too.
    void newDocumentRequested();
    void openRequested();
    void quitRequested();

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void buildMenus();
    void updateConnectionStatus();
    void updateTitle();
    void refreshFinished(bool processed);
    /// The status line's last refresh and stale state, and the Age column.
    void updateFreshness();
    void editFeedSignIn();
    static QString ageText(qint64 seconds);
    void showMessage(const QString& text);
    void checkBindings();

    GraflinkDocument& m_document;
    std::unique_ptr<Ui::GraflinkDocument> m_ui;
    std::unique_ptr<QUndoStack> m_undoStack;
    std::unique_ptr<VariablesModel> m_model;
    std::unique_ptr<FeedProbe> m_probe;
    QTimer* m_ageTimer = nullptr;
    CGSettingsPopover* m_popover = nullptr;
    PathsWindow* m_pathsWindow = nullptr;
    FilterChooser m_filterChooser;
    DocumentMessageBar* m_messages = nullptr;
    QTimer* m_bindingCheck = nullptr;
    platform::DocumentFileCommands* m_files = nullptr;
};
