#pragma once

#include <QObject>
#include <QPointer>
#include <QVariantMap>
#include <functional>

class QCloseEvent;
class QMenu;
class QTimer;
class QUndoStack;
class QWidget;

namespace platform {

class Document;

/// The file side of a document window: Save and Save As through an injectable chooser, the
/// modified mark following the undo stack, saving in place two seconds after the last edit, and
/// the question asked before a window whose document was never saved closes.
class DocumentFileCommands : public QObject {
    Q_OBJECT
  public:
    /// Asks where to save without blocking; calls back with the path (never when cancelled).
    using SaveChooser = std::function<void(QWidget* parent, const QString& suggestedName,
                                           std::function<void(const QString& path)> chosen)>;
    /// Asks whether to save a document never saved before its window closes; calls back with
    /// QMessageBox::Save, Discard or Cancel.
    using CloseQuestion =
        std::function<void(QWidget* parent, std::function<void(int standardButton)> answered)>;

    /// `typeName` is the document type written; `extension` (without the dot) and `filter`
    /// describe its files in the save panel.
    DocumentFileCommands(Document& document, QUndoStack& undoStack, QWidget& window, QString typeName,
                         QString extension, QString filter);
    ~DocumentFileCommands() override;

    void setSaveChooser(SaveChooser chooser) { m_saveChooser = std::move(chooser); }
    void setCloseQuestion(CloseQuestion question) { m_closeQuestion = std::move(question); }

    /// Saves to the document's file, or asks for one first; `then` runs after a successful save.
    void save(std::function<void()> then = {});
    void saveAs(std::function<void()> then = {});
    /// For the window's close event: true when the window may close now (its document saved, or
    /// nothing to save). False when the close waits for the question (the window is closed again
    /// once answered) or a save failed; the event is then ignored.
    bool mayClose(QCloseEvent* event);
    /// Adds Save, Save As… and Revert to Saved (which calls `revert`) to a window's File menu.
    void addSaveActions(QMenu* menu, const std::function<void()>& revert);
    /// Adds the undo stack's Undo and Redo to a window's Edit menu, with the standard keys.
    void addUndoActions(QMenu* menu);
    /// The user default under which the window keeps its geometry and columns for this file.
    QString windowStateKey() const;
    /// Restores the window's geometry stored for the document's file and returns the rest of what
    /// was stored with it; nothing for a document without a file.
    QVariantMap restoreWindowState() const;
    /// Stores the window's geometry, with `more`, for the document's file (none without a file).
    void saveWindowState(QVariantMap more) const;

  Q_SIGNALS:
    /// A save failed; the text says why, for the window's message bar.
    void failed(const QString& message);

  private:
    bool saveInPlace(const QString& failureSuffix = QString());

    Document& m_document;
    QUndoStack& m_undoStack;
    QPointer<QWidget> m_window;
    QString m_typeName;
    QString m_extension;
    SaveChooser m_saveChooser;
    CloseQuestion m_closeQuestion;
    QTimer* m_autosave;
    bool m_discardConfirmed = false;
};

} // namespace platform
